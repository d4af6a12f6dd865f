// Runs a fuzz target without libFuzzer, as every test run does: each file named on the command
// line, and each file in each folder named, once, in name order. As libFuzzer does with
// -malloc_limit_mb, an allocation larger than kMaxAllocation aborts: no input may make the code
// allocate far beyond what it holds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr std::size_t kMaxAllocation = 64u << 20;

void* Allocate(std::size_t size)
{
  if (size > kMaxAllocation)
  {
    std::fprintf(stderr, "replay: an allocation of %zu bytes\n", size);
    std::abort();
  }
  if (void* memory = std::malloc(size ? size : 1))
    return memory;
  throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size)
{
  return Allocate(size);
}
void* operator new[](std::size_t size)
{
  return Allocate(size);
}
// The forms that return null share the limit and the heap: memory from one is freed by the
// replaced delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
  return size > kMaxAllocation ? Allocate(size) : std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
  return size > kMaxAllocation ? Allocate(size) : std::malloc(size ? size : 1);
}
void operator delete(void* memory) noexcept
{
  std::free(memory);
}
void operator delete[](void* memory) noexcept
{
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
  std::free(memory);
}

int main(int argc, char** argv)
{
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i)
  {
    if (fs::is_directory(argv[i]))
      std::copy(fs::directory_iterator(argv[i]), fs::directory_iterator(), std::back_inserter(inputs));
    else
      inputs.emplace_back(argv[i]);
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty())
  {
    std::fprintf(stderr, "replay: no inputs in the paths given\n");
    return 1;
  }
  for (const fs::path& path : inputs)
  {
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof())
    {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 1;
    }
    std::fprintf(stderr, "replay: %s\n", path.c_str());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::fprintf(stderr, "replay: %zu inputs, no fault\n", inputs.size());
  return 0;
}

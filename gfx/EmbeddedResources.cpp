#include "gfx/EmbeddedResources.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace plug::gfx {

namespace {

struct Registry
{
  std::mutex mutex;
  std::vector<std::span<const EmbeddedResource>> tables;
};

Registry& TheRegistry()
{
  static Registry registry;
  return registry;
}

std::string_view LastPathComponent(std::string_view path)
{
  const auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

void RegisterEmbeddedResources(std::span<const EmbeddedResource> table)
{
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto same = [table](std::span<const EmbeddedResource> known) {
    return known.data() == table.data() && known.size() == table.size();
  };
  if (std::ranges::none_of(registry.tables, same))
  {
    registry.tables.push_back(table);
  }
}

const EmbeddedResource* FindEmbeddedResource(std::string_view fileName)
{
  const std::string_view name = LastPathComponent(fileName);
  if (name.empty())
  {
    return nullptr;
  }
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  for (const auto table : registry.tables)
  {
    const auto found = std::ranges::find(table, name, &EmbeddedResource::name);
    if (found != table.end())
    {
      return &*found;
    }
  }
  return nullptr;
}

} // namespace plug::gfx

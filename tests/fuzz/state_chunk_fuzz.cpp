// A state chunk from a host, program (first byte odd) or bank: refused, or loaded into values the
// plug-in hands back as a chunk it takes again, and processes with.

#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  fuzz::Reader input(data, size);
  const int index = input.U8() & 1;
  std::vector<uint8_t> chunk = input.Rest();
  fuzz::Plugin plug;
  if (plug.Dispatch(effSetChunk, index, static_cast<VstIntPtr>(chunk.size()), chunk.data()) == 1)
  {
    void* own = nullptr;
    const VstIntPtr ownSize = plug.Dispatch(effGetChunk, index, 0, &own);
    fuzz::Expect(ownSize > 0, "no chunk after one was taken");
    std::vector<uint8_t> again(static_cast<uint8_t*>(own), static_cast<uint8_t*>(own) + ownSize);
    fuzz::Expect(plug.Dispatch(effSetChunk, index, ownSize, again.data()) == 1, "its own chunk refused");
  }
  plug.CheckParameters();
  plug.ProcessAndCheck(64);
  return 0;
}

// Text a host types for a parameter (first byte: the index, 4 being none), through effString2Parameter
// and the extension that turns text into a normalised value.

#include <algorithm>

#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  fuzz::Reader input(data, size);
  const int index = input.U8() % 5;
  const std::vector<uint8_t> bytes = input.Rest();
  char text[300] = {};
  std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof(text) - 1), text);
  fuzz::Plugin plug;
  fuzz::Expect(plug.Dispatch(effString2Parameter, index, 0, text) == (index < 4 ? 1 : 0), "wrong answer");
  plug.CheckParameters();
  const bool hadText = text[0] != '\0';
  const VstIntPtr answer = plug.Dispatch(effVendorSpecific, effString2Parameter, index, text);
  if (index < 4 && hadText)
  {
    fuzz::Expect(answer == 0xBEEF, "the extension did not answer");
    const double normalized = std::strtod(text, nullptr);
    fuzz::Expect(std::strlen(text) == 19 && normalized >= 0.0 && normalized <= 1.0, "not a value in 0..1");
  }
  plug.ProcessAndCheck(64);
  return 0;
}

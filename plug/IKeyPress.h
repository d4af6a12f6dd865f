#pragma once

namespace plug {

// A key event handed to the plug-in: virtual key code, the key's UTF-8 text and the modifiers.
struct IKeyPress
{
  int VK = 0;
  char utf8[5] = {};
  bool S = false; // shift
  bool C = false; // control / command
  bool A = false; // alt / option

  IKeyPress() = default;

  // The text is cut to four bytes.
  IKeyPress(const char* text, int virtualKey, bool shift = false, bool control = false, bool alt = false)
    : VK(virtualKey),
      S(shift),
      C(control),
      A(alt)
  {
    for (int i = 0; text && text[i] && i < 4; ++i)
      utf8[i] = text[i];
  }
};

} // namespace plug

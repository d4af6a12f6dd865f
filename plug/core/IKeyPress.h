#pragma once

namespace plug {

// Virtual key codes of IKeyPress::VK (the values of the common desktop convention); letters and
// digits are their upper-case ASCII codes.
enum EVirtualKey : int
{
  kVK_NONE = 0,
  kVK_BACK = 0x08,
  kVK_TAB = 0x09,
  kVK_RETURN = 0x0D,
  kVK_SHIFT = 0x10,
  kVK_CONTROL = 0x11,
  kVK_MENU = 0x12, // alt
  kVK_ESCAPE = 0x1B,
  kVK_SPACE = 0x20,
  kVK_PRIOR = 0x21, // page up
  kVK_NEXT = 0x22,  // page down
  kVK_END = 0x23,
  kVK_HOME = 0x24,
  kVK_LEFT = 0x25,
  kVK_UP = 0x26,
  kVK_RIGHT = 0x27,
  kVK_DOWN = 0x28,
  kVK_INSERT = 0x2D,
  kVK_DELETE = 0x2E,
  kVK_0 = 0x30,
  kVK_9 = 0x39,
  kVK_A = 0x41,
  kVK_C = 0x43,
  kVK_V = 0x56,
  kVK_X = 0x58,
  kVK_Z = 0x5A,
  kVK_NUMPAD0 = 0x60,
  kVK_NUMPAD9 = 0x69,
  kVK_MULTIPLY = 0x6A,
  kVK_ADD = 0x6B,
  kVK_SUBTRACT = 0x6D,
  kVK_DECIMAL = 0x6E,
  kVK_DIVIDE = 0x6F,
  kVK_F1 = 0x70,
  kVK_F12 = 0x7B,
  kVK_OEM_PLUS = 0xBB, // the key of "=" and "+"
  kVK_OEM_COMMA = 0xBC,
  kVK_OEM_MINUS = 0xBD,
  kVK_OEM_PERIOD = 0xBE
};

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

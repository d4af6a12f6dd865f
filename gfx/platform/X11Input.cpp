#include "gfx/platform/X11Input.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "plug/core/Utf8Text.h"

namespace plug::gfx {

EXButtonRole ButtonRole(unsigned int button)
{
  switch (button)
  {
    case Button1:
      return EXButtonRole::kLeft;
    case Button3:
      return EXButtonRole::kRight;
    case Button4:
    case Button5:
    case 6:
    case 7:
      return EXButtonRole::kWheel;
    default:
      return EXButtonRole::kIgnored;
  }
}

IMouseMod MouseModFromState(unsigned int state, unsigned int button)
{
  IMouseMod mod;
  mod.L = button == Button1 || (button == 0 && (state & Button1Mask));
  mod.R = button == Button3 || (button == 0 && (state & Button3Mask));
  mod.S = (state & ShiftMask) != 0;
  mod.C = (state & ControlMask) != 0;
  mod.A = (state & Mod1Mask) != 0;
  return mod;
}

float WheelDelta(unsigned int button)
{
  switch (button)
  {
    case Button4:
    case 7:
      return 1.f;
    case Button5:
    case 6:
      return -1.f;
    default:
      return 0.f;
  }
}

int ClickCounter::Press(unsigned int button, Time time, int x, int y)
{
  const bool close = std::abs(x - mX) <= kDoubleClickDistance && std::abs(y - mY) <= kDoubleClickDistance;
  // Server times are 32-bit milliseconds that wrap after 49 days; the difference taken in 32 bits
  // stays right across the wrap.
  const bool soon = static_cast<uint32_t>(time - mTime) <= kDoubleClickMs;
  mCount = (mCount > 0 && button == mButton && close && soon) ? mCount + 1 : 1;
  mButton = button;
  mTime = time;
  mX = x;
  mY = y;
  return mCount;
}

int VirtualKeyFromKeysym(KeySym keysym)
{
  if (keysym >= XK_a && keysym <= XK_z)
    return kVK_A + static_cast<int>(keysym - XK_a);
  if (keysym >= XK_A && keysym <= XK_Z)
    return kVK_A + static_cast<int>(keysym - XK_A);
  if (keysym >= XK_0 && keysym <= XK_9)
    return kVK_0 + static_cast<int>(keysym - XK_0);
  if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
    return kVK_NUMPAD0 + static_cast<int>(keysym - XK_KP_0);
  if (keysym >= XK_F1 && keysym <= XK_F12)
    return kVK_F1 + static_cast<int>(keysym - XK_F1);
  switch (keysym)
  {
    case XK_BackSpace:
      return kVK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
      return kVK_TAB;
    case XK_Return:
    case XK_KP_Enter:
      return kVK_RETURN;
    case XK_Escape:
      return kVK_ESCAPE;
    case XK_space:
    case XK_KP_Space:
      return kVK_SPACE;
    case XK_Page_Up:
    case XK_KP_Page_Up:
      return kVK_PRIOR;
    case XK_Page_Down:
    case XK_KP_Page_Down:
      return kVK_NEXT;
    case XK_End:
    case XK_KP_End:
      return kVK_END;
    case XK_Home:
    case XK_KP_Home:
      return kVK_HOME;
    case XK_Left:
    case XK_KP_Left:
      return kVK_LEFT;
    case XK_Up:
    case XK_KP_Up:
      return kVK_UP;
    case XK_Right:
    case XK_KP_Right:
      return kVK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
      return kVK_DOWN;
    case XK_Insert:
    case XK_KP_Insert:
      return kVK_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
      return kVK_DELETE;
    case XK_Shift_L:
    case XK_Shift_R:
      return kVK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return kVK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
      return kVK_MENU;
    case XK_KP_Multiply:
      return kVK_MULTIPLY;
    case XK_KP_Add:
      return kVK_ADD;
    case XK_KP_Subtract:
      return kVK_SUBTRACT;
    case XK_KP_Decimal:
      return kVK_DECIMAL;
    case XK_KP_Divide:
      return kVK_DIVIDE;
    case XK_plus:
    case XK_equal:
      return kVK_OEM_PLUS;
    case XK_minus:
    case XK_underscore:
      return kVK_OEM_MINUS;
    case XK_comma:
    case XK_less:
      return kVK_OEM_COMMA;
    case XK_period:
    case XK_greater:
      return kVK_OEM_PERIOD;
    default:
      return kVK_NONE;
  }
}

namespace {

// Copies at most four bytes of text, cut before a character that would not fit whole.
void CopyWholeCharacters(const char* text, char out[5])
{
  std::size_t n = std::min<std::size_t>(std::strlen(text), 4);
  while (n > 0 && n < std::strlen(text) && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
    --n;
  std::memcpy(out, text, n);
  out[n] = '\0';
}

bool IsControlText(const char* text)
{
  const auto first = static_cast<unsigned char>(text[0]);
  return first < 0x20 || first == 0x7F;
}

} // namespace

void KeysymToUTF8(KeySym keysym, char out[5])
{
  unsigned long cp = 0;
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
    cp = keysym; // Latin-1 keysyms are their code points
  else if ((keysym & 0xFF000000UL) == 0x01000000UL)
    cp = keysym & 0x00FFFFFFUL; // Unicode keysyms
  else if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
    cp = '0' + (keysym - XK_KP_0);
  else if (keysym == XK_KP_Decimal)
    cp = '.';
  else if (keysym == XK_KP_Add)
    cp = '+';
  else if (keysym == XK_KP_Subtract)
    cp = '-';
  else if (keysym == XK_KP_Multiply)
    cp = '*';
  else if (keysym == XK_KP_Divide)
    cp = '/';
  std::memset(out, 0, 5);
  EncodeUtf8(static_cast<char32_t>(cp), out);
}

IKeyPress KeyPressFromX(KeySym effective, KeySym unshifted, const char* text, unsigned int state)
{
  // Keypad keys count by what they type (a digit with Num Lock, a movement without); every other
  // key by the key itself, so Shift+1 is still the key 1.
  const bool keypad = IsKeypadKey(effective) != 0;
  int vk = VirtualKeyFromKeysym(keypad ? effective : unshifted);
  if (vk == kVK_NONE)
    vk = VirtualKeyFromKeysym(effective);

  char utf8[5] = {};
  if (text && text[0])
    CopyWholeCharacters(text, utf8);
  else
    KeysymToUTF8(effective, utf8);
  if (IsControlText(utf8))
    utf8[0] = '\0';
  return IKeyPress(utf8, vk, (state & ShiftMask) != 0, (state & ControlMask) != 0, (state & Mod1Mask) != 0);
}

int ScreenScaleFromResources(const char* resources, const char* gdkScale)
{
  if (gdkScale && *gdkScale)
  {
    char* end = nullptr;
    const long scale = std::strtol(gdkScale, &end, 10);
    if (*end == '\0' && scale >= 1 && scale <= 8)
      return static_cast<int>(scale);
  }
  static constexpr char kKey[] = "Xft.dpi:";
  for (const char* line = resources; line && *line;)
  {
    if (std::strncmp(line, kKey, sizeof(kKey) - 1) == 0)
    {
      // from_chars reads the C form whatever the host's locale (which may use a decimal comma).
      const char* value = line + sizeof(kKey) - 1;
      while (*value == ' ' || *value == '\t')
        ++value;
      double dpi = 0.0;
      std::from_chars(value, value + std::strcspn(value, "\n"), dpi);
      if (dpi > 0.0 && dpi < 96.0 * 16)
        return std::max(1, static_cast<int>(std::lround(dpi / 96.0)));
      return 1;
    }
    line = std::strchr(line, '\n');
    if (line)
      ++line;
  }
  return 1;
}

} // namespace plug::gfx

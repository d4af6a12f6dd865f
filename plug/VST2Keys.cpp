#include "plug/VST2Keys.h"

#include <array>
#include <utility>

#include "plug/core/Utf8Text.h"

namespace plug {

namespace {

int VirtualKeyFromVST2(VstIntPtr key)
{
  static constexpr std::array<std::pair<VstIntPtr, int>, 26> kKeys{{
      {VKEY_BACK, kVK_BACK},     {VKEY_TAB, kVK_TAB},           {VKEY_RETURN, kVK_RETURN},
      {VKEY_ENTER, kVK_RETURN},  {VKEY_ESCAPE, kVK_ESCAPE},     {VKEY_SPACE, kVK_SPACE},
      {VKEY_END, kVK_END},       {VKEY_HOME, kVK_HOME},         {VKEY_LEFT, kVK_LEFT},
      {VKEY_UP, kVK_UP},         {VKEY_RIGHT, kVK_RIGHT},       {VKEY_DOWN, kVK_DOWN},
      {VKEY_NEXT, kVK_NEXT},     {VKEY_PAGEUP, kVK_PRIOR},      {VKEY_PAGEDOWN, kVK_NEXT},
      {VKEY_INSERT, kVK_INSERT}, {VKEY_DELETE, kVK_DELETE},     {VKEY_MULTIPLY, kVK_MULTIPLY},
      {VKEY_ADD, kVK_ADD},       {VKEY_SUBTRACT, kVK_SUBTRACT}, {VKEY_DECIMAL, kVK_DECIMAL},
      {VKEY_DIVIDE, kVK_DIVIDE}, {VKEY_SHIFT, kVK_SHIFT},       {VKEY_CONTROL, kVK_CONTROL},
      {VKEY_ALT, kVK_MENU},      {VKEY_EQUALS, kVK_OEM_PLUS},
  }};
  if (key >= VKEY_NUMPAD0 && key <= VKEY_NUMPAD9)
    return kVK_NUMPAD0 + static_cast<int>(key - VKEY_NUMPAD0);
  if (key >= VKEY_F1 && key <= VKEY_F12)
    return kVK_F1 + static_cast<int>(key - VKEY_F1);
  for (const auto& [vst, vk] : kKeys)
    if (vst == key)
      return vk;
  return kVK_NONE;
}

// The code of a key known only by its character: letters and digits by their upper-case ASCII
// code, the control characters of the editing keys by theirs.
int VirtualKeyFromCharacter(char32_t c)
{
  if (c >= U'a' && c <= U'z')
    return kVK_A + static_cast<int>(c - U'a');
  if ((c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9'))
    return static_cast<int>(c);
  switch (c)
  {
    case U'\b':
      return kVK_BACK;
    case U'\t':
      return kVK_TAB;
    case U'\r':
    case U'\n':
      return kVK_RETURN;
    case 0x1B:
      return kVK_ESCAPE;
    case U' ':
      return kVK_SPACE;
    case 0x7F:
      return kVK_DELETE;
    default:
      return kVK_NONE;
  }
}

// The keypad's characters, for hosts that send the key without it.
char32_t KeypadCharacter(VstIntPtr key)
{
  if (key >= VKEY_NUMPAD0 && key <= VKEY_NUMPAD9)
    return U'0' + static_cast<char32_t>(key - VKEY_NUMPAD0);
  switch (key)
  {
    case VKEY_MULTIPLY:
      return U'*';
    case VKEY_ADD:
      return U'+';
    case VKEY_SUBTRACT:
      return U'-';
    case VKEY_DECIMAL:
      return U'.';
    case VKEY_DIVIDE:
      return U'/';
    case VKEY_EQUALS:
      return U'=';
    default:
      return 0;
  }
}

bool IsPrintable(char32_t c)
{
  return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c < 0xE000) && c < 0x110000;
}

} // namespace

IKeyPress KeyPressFromVST2(VstInt32 character, VstIntPtr virtualKey, float modifiers)
{
  char32_t c = character > 0 ? static_cast<char32_t>(character) : 0;
  int vk = VirtualKeyFromVST2(virtualKey);
  if (vk == kVK_NONE)
    vk = VirtualKeyFromCharacter(c);
  if (!c)
    c = KeypadCharacter(virtualKey);

  char text[5] = {};
  if (IsPrintable(c))
    EncodeUtf8(c, text);
  const int bits = modifiers > 0.f && modifiers < 256.f ? static_cast<int>(modifiers) : 0;
  return IKeyPress(text, vk, (bits & MODIFIER_SHIFT) != 0, (bits & (MODIFIER_COMMAND | MODIFIER_CONTROL)) != 0,
                   (bits & MODIFIER_ALTERNATE) != 0);
}

} // namespace plug

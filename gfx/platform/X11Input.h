#pragma once

// The pure translation of X11 input into the editor's mouse and key values: modifier flags, wheel
// notches, click counting and key codes. Nothing here talks to a display, so it is tested with
// made-up events.
//
// The mapping:
// - buttons: 1 is the left button (L), 3 the right button (R, the right click: nothing else counts
//   as one, since Super+click belongs to the window manager on most desktops); 2 (middle) and 8/9
//   (back/forward) are not used by the editor;
// - wheel: buttons 4 (up) and 5 (down) are one notch of +1 and -1; 6 (left) and 7 (right) are -1
//   and +1, so a horizontal swipe to the right raises a value like a turn up;
// - modifiers: Shift, Control and Alt (Mod1) are S, C and A;
// - presses counted as clicks: a press of the same button within kDoubleClickMs and
//   kDoubleClickDistance pixels of the previous one raises the count; an even count is a double
//   click, an odd one a plain press (so a double click arrives as a press, then a double click,
//   never as two presses).

#include <X11/X.h>

#include "gfx/IMouse.h"
#include "plug/core/IKeyPress.h"

namespace plug::gfx {

enum class EXButtonRole
{
  kLeft,
  kRight,
  kWheel,
  kIgnored
};

EXButtonRole ButtonRole(unsigned int button);

// The modifiers of a press or release of button (its own button counts as held), or of a motion
// when button is 0 (the held buttons come from the state).
IMouseMod MouseModFromState(unsigned int state, unsigned int button = 0);

// The wheel's delta for one notch of a wheel button, 0 for other buttons.
float WheelDelta(unsigned int button);

// Counts presses into clicks, as described at the top of this file. [main]
class ClickCounter
{
public:
  static constexpr Time kDoubleClickMs = 400;
  static constexpr int kDoubleClickDistance = 4;

  // The press's click count: 1 for a press on its own, 2 for the second of a double click, ...
  int Press(unsigned int button, Time time, int x, int y);
  void Reset() { mCount = 0; }

private:
  unsigned int mButton = 0;
  Time mTime = 0;
  int mX = 0;
  int mY = 0;
  int mCount = 0;
};

// A key event: effective is the keysym after the modifiers (keypad digits with Num Lock), unshifted
// the key's first keysym (the key the user pressed, for the code); text the key's UTF-8 text.
// Control characters are dropped from the text: such keys count by their code.
IKeyPress KeyPressFromX(KeySym effective, KeySym unshifted, const char* text, unsigned int state);

// The code of a keysym, kVK_NONE for keys without one.
int VirtualKeyFromKeysym(KeySym keysym);

// The UTF-8 text of a keysym when no input method gives one: Latin-1 and the Unicode keysyms.
// Empty for keysyms that stand for no character. At most 4 bytes and a terminator in out.
void KeysymToUTF8(KeySym keysym, char out[5]);

// The screen scale (backing pixels per point) from the X resources (the text of the root window's
// RESOURCE_MANAGER property, may be null) and the value of GDK_SCALE (may be null): a whole
// GDK_SCALE of 1 or more wins; else Xft.dpi / 96, rounded, at least 1; else 1.
int ScreenScaleFromResources(const char* resources, const char* gdkScale);

} // namespace plug::gfx

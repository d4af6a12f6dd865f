#pragma once

// Keys that a VST 2 host hands to the editor with effEditKeyDown and effEditKeyUp: the character in
// index, the host's virtual key (VstVirtualKey) in value, the modifier bits (VstModifierKey) in opt.

#include "plug/VST2Types.h"
#include "plug/core/IKeyPress.h"

namespace plug {

// The key as the editor's controls take it: the virtual key as its EVirtualKey (letters and digits
// given only as characters get theirs too), the character as UTF-8 text unless it is a control
// character, Shift as S, Alt as A, Control (either of the two bits hosts use for it) as C.
IKeyPress KeyPressFromVST2(VstInt32 character, VstIntPtr virtualKey, float modifiers);

} // namespace plug

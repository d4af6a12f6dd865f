#pragma once

// The editor's named colours and text styles, shared by the panel, the knobs, the preset strip,
// the buttons, the about box, the menus and the notices. Colours are (alpha, red, green, blue).

#include "gfx/IColor.h"
#include "gfx/IPopupStyle.h"
#include "gfx/IText.h"

namespace quillon {

inline constexpr plug::gfx::IColor COLOR_BG{255, 47, 54, 58};
inline constexpr plug::gfx::IColor COLOR_TOP_HDR{255, 27, 31, 33};
inline constexpr plug::gfx::IColor COLOR_BTM_HDR{255, 10, 13, 16};
inline constexpr plug::gfx::IColor COLOR_TOP_BG{255, 58, 66, 71};
inline constexpr plug::gfx::IColor COLOR_BOT_BG{255, 33, 38, 41};
inline constexpr plug::gfx::IColor COLOR_LIGH_FRAME{255, 118, 122, 124};
inline constexpr plug::gfx::IColor COLOR_BACK{255, 27, 31, 33};
inline constexpr plug::gfx::IColor COLOR_LIGHT_LINE{255, 46, 49, 49};
inline constexpr plug::gfx::IColor COLOR_DARK_LINE{255, 14, 16, 18};
inline constexpr plug::gfx::IColor COLOR_AGUA{255, 52, 152, 219};
inline constexpr plug::gfx::IColor COLOR_KNOB_LINE{255, 240, 240, 240};
inline constexpr plug::gfx::IColor COLOR_KNOB_GLINE{255, 130, 130, 130};
inline constexpr plug::gfx::IColor COLOR_KNOB_OUTC{255, 0, 0, 0};
inline constexpr plug::gfx::IColor COLOR_KNOB_HL{255, 140, 140, 140};
inline constexpr plug::gfx::IColor COLOR_KNOB_TOP{255, 70, 80, 85};
inline constexpr plug::gfx::IColor COLOR_KNOB_BOTTOM{255, 49, 56, 60};
inline constexpr plug::gfx::IColor COLOR_EDIT{255, 201, 207, 211};
inline constexpr plug::gfx::IColor COLOR_ABOUT{220, 14, 16, 18};
inline constexpr plug::gfx::IColor COLOR_HOT_URL{255, 30, 144, 224};
inline constexpr plug::gfx::IColor COLOR_SELECTED{90, 219, 241, 255};
// The text of the editor's notices (a file that did not load or save, a desktop tool missing).
inline constexpr plug::gfx::IColor COLOR_ALERT{255, 240, 170, 80};

// Font identifiers as registered by the layout, and the files they come from.
inline constexpr const char* kTextFontID = "Roboto-Regular";
inline constexpr const char* kTextFontFile = "Roboto-Regular.ttf";
inline constexpr const char* kIconFontID = "Quillon";
inline constexpr const char* kIconFontFile = "Quillon.ttf";
inline constexpr const char* kLogoFile = "bnlogo.svg";
inline constexpr const char* kTitleFile = "quillon.svg";

// Knob captions.
inline const plug::gfx::IText LABEL_TEXT{20.f, COLOR_EDIT, kTextFontID, plug::gfx::EAlign::kCenter,
                                         plug::gfx::EVAlign::kTop};
// Knob values and their text field.
inline const plug::gfx::IText VALUE_TEXT{
    16.f, COLOR_EDIT, kTextFontID, plug::gfx::EAlign::kCenter, plug::gfx::EVAlign::kBottom,
    0.f,  COLOR_BACK, COLOR_EDIT};
// Legends of the printed scales; the panel sets the alignment per legend.
inline const plug::gfx::IText RISC_TEXT{9.f, COLOR_EDIT, kTextFontID};
// The about box's lines and the caption of its button.
inline const plug::gfx::IText ABOUT_CPR_TEXT{15.f, COLOR_EDIT, kTextFontID};
// The about box's link.
inline const plug::gfx::IText ABOUT_URL_TEXT{15.f, COLOR_EDIT, kTextFontID, plug::gfx::EAlign::kNear};
// The preset strip's name and its rename field.
inline const plug::gfx::IText PRESET_NAME_TEXT{
    16.f, COLOR_EDIT, kTextFontID, plug::gfx::EAlign::kCenter, plug::gfx::EVAlign::kMiddle,
    0.f,  COLOR_BACK, COLOR_EDIT};
// The preset strip's arrow and menu glyphs (U+F003, U+F004, U+F005 of the icon font).
inline const plug::gfx::IText ICON_TEXT{16.f, COLOR_EDIT, kIconFontID};

// The editor's menus (the program list, the service menu): a dark panel framed like the raised
// panel, the knobs' font and text colour, the accent under the highlighted item. A menu that does
// not fit below the preset strip in 14-point type is laid out in smaller type, down to the size of
// the scales' legends.
inline const plug::gfx::IPopupStyle MENU_STYLE{
    .text = plug::gfx::IText(14.f, COLOR_EDIT, kTextFontID),
    .minTextSize = 9.f,
    .panel = COLOR_BACK,
    .border = COLOR_LIGH_FRAME,
    .disabledText = COLOR_KNOB_GLINE,
    .highlight = COLOR_AGUA,
    .highlightText = COLOR_KNOB_LINE,
    .separator = COLOR_KNOB_TOP,
    .shadow = plug::gfx::IColor(110, 0, 0, 0),
    .cornerRadius = 3.f,
};
// The editor's notices: the menus' panel with the text in the alert colour.
inline const plug::gfx::IPopupStyle NOTICE_STYLE{
    .text = plug::gfx::IText(14.f, COLOR_ALERT, kTextFontID),
    .minTextSize = 9.f,
    .panel = COLOR_BACK,
    .border = COLOR_LIGH_FRAME,
    .shadow = plug::gfx::IColor(110, 0, 0, 0),
};

} // namespace quillon

#pragma once

namespace plug::gfx {

// A colour: alpha, red, green, blue, each 0..255.
struct IColor
{
  int A = 255;
  int R = 0;
  int G = 0;
  int B = 0;

  constexpr IColor() = default;
  constexpr IColor(int a, int r, int g, int b)
    : A(a),
      R(r),
      G(g),
      B(b)
  {
  }
  constexpr bool operator==(const IColor&) const = default;

  // The same colour with its alpha multiplied by weight (0..1).
  constexpr IColor WithOpacity(float weight) const
  {
    return {static_cast<int>(static_cast<float>(A) * weight + 0.5f), R, G, B};
  }
};

inline constexpr IColor COLOR_TRANSPARENT{0, 0, 0, 0};
inline constexpr IColor COLOR_BLACK{255, 0, 0, 0};
inline constexpr IColor COLOR_WHITE{255, 255, 255, 255};
inline constexpr IColor COLOR_RED{255, 255, 0, 0};
inline constexpr IColor COLOR_GRAY{255, 127, 127, 127};
inline constexpr IColor COLOR_LIGHT_GRAY{255, 240, 240, 240};
inline constexpr IColor COLOR_DARK_GRAY{255, 70, 70, 70};
inline constexpr IColor COLOR_TRANSLUCENT{10, 0, 0, 0};

inline constexpr IColor DEFAULT_TEXT_FGCOLOR = COLOR_BLACK;
inline constexpr IColor DEFAULT_TEXTENTRY_BGCOLOR = COLOR_WHITE;
inline constexpr IColor DEFAULT_TEXTENTRY_FGCOLOR = COLOR_BLACK;

} // namespace plug::gfx

#pragma once

#include <string_view>

#include "dsp/dsp.h"

namespace quillon {

// The factory presets, slot 0 to 19, each with its four parameter values in their own units. The
// effect makes its presets from this table (slot 0, "Default", from the parameters' defaults,
// which are these values); the benchmark and the impulse-response plotter read it too. The tests
// keep a copy of their own, as an independent check.
struct TFactoryPreset
{
  const char* name;
  double decay; // s
  double width; // %
  double color; // -100 to 100
  double mix;   // %
};

inline constexpr TFactoryPreset kFactoryPresets[] = {
    {"Default", 3.2, 150.0, 0.0, 21.0},
    {"Next Room", 0.334591, 14.0, -45.212766, 23.12766},
    {"Small Hall", 1.4, 122.0, 0.0, 26.595745},
    {"Station", 2.0, 119.680851, -33.510638, 37.234043},
    {"Edge Of A Forest", 2.1, 164.0, 59.042553, 21.0},
    {"Medium Hall", 2.7, 130.510638, 0.0, 26.595745},
    {"Factory", 3.453041, 52.787234, -78.191489, 83.510638},
    {"Arena", 3.5, 200.0, -60.106383, 72.074468},
    {"Piano Hall", 3.8, 157.0, 62.765957, 23.404255},
    {"Stadium", 4.6, 176.0, -58.510638, 29.521277},
    {"Large Hall", 4.6, 152.510638, 0.0, 26.595745},
    {"Cathedral", 4.620877, 151.595745, -52.659574, 52.659574},
    {"Mellow", 6.3, 162.0, 47.659574, 42.553191},
    {"Silver Wind", 12.3, 176.06383, 95.0, 33.776596},
    {"Far Space", 10.2, 177.12766, -35.638298, 49.734043},
    {"Entrance In A Cave", 15.5, 22.340426, -35.638298, 33.244681},
    {"Long Tunnel", 20.0, 68.170213, -35.638298, 28.989362},
    {"Dark Ambience", 33.0, 200.0, -43.085106, 31.117021},
    {"Long Ambience", 50.0, 100.0, 0.0, 37.765957},
    {"Deep Underground", 50.0, 200.0, -88.829787, 72.074468},
};

// The preset called `name`, at compile time: an unknown name reads past the table's end and does
// not build.
consteval const TFactoryPreset& FactoryPreset(std::string_view name)
{
  int i = 0;
  while (name != kFactoryPresets[i].name)
    ++i;
  return kFactoryPresets[i];
}

// Sets the reverb's four parameters to the preset's values.
inline void ApplyFactoryPreset(const TFactoryPreset& preset, TReverb& reverb)
{
  reverb.SetParam(TReverb::kDecay, preset.decay);
  reverb.SetParam(TReverb::kWidth, preset.width);
  reverb.SetParam(TReverb::kColor, preset.color);
  reverb.SetParam(TReverb::kMix, preset.mix);
}

} // namespace quillon

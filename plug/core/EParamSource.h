#pragma once

namespace plug {

// Where a parameter change came from.
enum EParamSource
{
  kReset = 0,
  kHost = 1,
  kPresetRecall = 2,
  kUI = 3,
  kDelegate = 4,
  kNumParamSources
};

} // namespace plug

#pragma once

#include <string>
#include <utility>
#include <vector>

namespace plug {

// Channel direction; also the index of every per-direction pair.
enum class ERoute : int
{
  kInput = 0,
  kOutput = 1
};

constexpr int kNumRoutes = 2;

constexpr int RouteIndex(ERoute direction)
{
  return direction == ERoute::kOutput ? 1 : 0;
}

// Stands for "any number of channels" in a channel configuration ("*").
constexpr int kWildcardChannels = -64;

// One bus of a channel configuration.
struct IBusInfo
{
  ERoute mDirection = ERoute::kInput;
  int mNChans = 0; // kWildcardChannels for a wildcard
  std::string mLabel;

  IBusInfo(ERoute direction, int nChans, std::string label)
    : mDirection(direction),
      mNChans(nChans),
      mLabel(std::move(label))
  {
  }
};

// One channel configuration: the input buses and the output buses. Immutable once parsed.
class IOConfig
{
public:
  // Appends a bus; a null or empty label becomes "Input" or "Output" by direction.
  const IBusInfo& AddBusInfo(ERoute direction, int nChans, const char* label = nullptr);

  int NBuses(ERoute direction) const { return static_cast<int>(Buses(direction).size()); }

  // Null when busIdx is out of range.
  const IBusInfo* GetBusInfo(ERoute direction, int busIdx) const;

  // Sum of the buses' channel counts; a wildcard bus counts kWildcardChannels.
  int GetTotalNChannels(ERoute direction) const;

  bool ContainsWildcard(ERoute direction) const;

private:
  const std::vector<IBusInfo>& Buses(ERoute direction) const { return mBusInfo[RouteIndex(direction)]; }

  std::vector<IBusInfo> mBusInfo[kNumRoutes];
};

} // namespace plug

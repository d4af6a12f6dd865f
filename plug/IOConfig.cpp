#include "plug/IOConfig.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace plug {

const IBusInfo& IOConfig::AddBusInfo(ERoute direction, int nChans, const char* label)
{
  std::string name = (label && *label) ? label : (direction == ERoute::kInput ? "Input" : "Output");
  auto& buses = mBusInfo[RouteIndex(direction)];
  buses.emplace_back(direction, nChans, std::move(name));
  return buses.back();
}

const IBusInfo* IOConfig::GetBusInfo(ERoute direction, int busIdx) const
{
  const auto& buses = Buses(direction);
  if (busIdx < 0 || busIdx >= static_cast<int>(buses.size()))
    return nullptr;
  return &buses[static_cast<size_t>(busIdx)];
}

int IOConfig::GetTotalNChannels(ERoute direction) const
{
  int64_t total = 0;
  for (const auto& bus : Buses(direction))
    total += bus.mNChans;
  return static_cast<int>(std::clamp<int64_t>(total, INT_MIN, INT_MAX));
}

bool IOConfig::ContainsWildcard(ERoute direction) const
{
  const auto& buses = Buses(direction);
  return std::any_of(buses.begin(), buses.end(), [](const IBusInfo& bus) { return bus.mNChans == kWildcardChannels; });
}

} // namespace plug

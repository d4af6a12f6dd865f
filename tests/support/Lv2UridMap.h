#pragma once

// The host's URID map and unmap features, for the LV2 test hosts and benchmarks. One thread at a
// time: the hosts that use it call the plug-in or its UI from one thread only.

#include <lv2/urid/urid.h>

#include <cstdint>
#include <deque>
#include <string>

class Lv2UridMap
{
public:
  Lv2UridMap()
  {
    mMap = {this, &MapUri};
    mUnmap = {this, &UnmapUrid};
    mMapFeature = {LV2_URID__map, &mMap};
    mUnmapFeature = {LV2_URID__unmap, &mUnmap};
  }
  Lv2UridMap(const Lv2UridMap&) = delete;
  Lv2UridMap& operator=(const Lv2UridMap&) = delete;

  // 0 for a null URI, as the map feature's callers expect.
  LV2_URID Map(const char* uri)
  {
    if (!uri)
      return 0;
    for (std::size_t i = 0; i < mUris.size(); ++i)
      if (mUris[i] == uri)
        return static_cast<LV2_URID>(i + 1);
    mUris.emplace_back(uri); // a deque: the texts handed out by Unmap stay where they are
    return static_cast<LV2_URID>(mUris.size());
  }
  const char* Unmap(LV2_URID urid) const
  {
    return urid >= 1 && urid <= mUris.size() ? mUris[urid - 1].c_str() : nullptr;
  }

  LV2_URID_Map* MapInterface() { return &mMap; }
  const LV2_Feature* MapFeature() const { return &mMapFeature; }
  const LV2_Feature* UnmapFeature() const { return &mUnmapFeature; }

private:
  static LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri)
  {
    return static_cast<Lv2UridMap*>(handle)->Map(uri);
  }
  static const char* UnmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid)
  {
    return static_cast<Lv2UridMap*>(handle)->Unmap(urid);
  }

  std::deque<std::string> mUris;
  LV2_URID_Map mMap{};
  LV2_URID_Unmap mUnmap{};
  LV2_Feature mMapFeature{};
  LV2_Feature mUnmapFeature{};
};

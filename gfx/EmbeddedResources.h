#pragma once

// Resources compiled into the plug-in (fonts, pictures), registered once at start-up by the code
// the build generates, and found by file name before anything on disk.

#include <span>
#include <string_view>

namespace plug::gfx {

struct EmbeddedResource
{
  std::string_view name; // the file name, e.g. "Roboto-Regular.ttf"
  std::span<const unsigned char> data;
};

// [any] Adds resources to the registry; the spans must stay valid for the process's lifetime. A
// name registered before keeps its first data.
void RegisterEmbeddedResources(std::span<const EmbeddedResource> resources);

// [any] The resource registered under exactly this file name, or null.
const EmbeddedResource* FindEmbeddedResource(std::string_view fileName);

} // namespace plug::gfx

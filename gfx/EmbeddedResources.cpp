#include "gfx/EmbeddedResources.h"

#include <deque>
#include <mutex>

namespace plug::gfx {

namespace {

struct Registry
{
  std::mutex mutex;
  std::deque<EmbeddedResource> resources; // a deque: pointers handed out stay valid as it grows
};

Registry& GetRegistry()
{
  static Registry registry;
  return registry;
}

const EmbeddedResource* FindLocked(const Registry& registry, std::string_view fileName)
{
  for (const EmbeddedResource& r : registry.resources)
    if (r.name == fileName)
      return &r;
  return nullptr;
}

} // namespace

void RegisterEmbeddedResources(std::span<const EmbeddedResource> resources)
{
  Registry& registry = GetRegistry();
  std::lock_guard lock(registry.mutex);
  for (const EmbeddedResource& r : resources)
    if (!FindLocked(registry, r.name))
      registry.resources.push_back(r);
}

const EmbeddedResource* FindEmbeddedResource(std::string_view fileName)
{
  Registry& registry = GetRegistry();
  std::lock_guard lock(registry.mutex);
  return FindLocked(registry, fileName);
}

} // namespace plug::gfx

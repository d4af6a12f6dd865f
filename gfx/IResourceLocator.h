#pragma once

// Where fonts, pictures and bitmaps come from. A name is looked up, first match wins:
//   1. among the resources embedded in the plug-in (EmbeddedResources.h), by its last path
//      component, then by the whole name, when its extension is the wanted type;
//   2. in the shared folder <music folder>/<sub-path>/Resources/<base name>.<type>, when a
//      sub-path is set, the extension is the wanted type and the file exists;
//   3. as a plain path to an existing file.
// The music folder is $XDG_MUSIC_DIR, else the XDG_MUSIC_DIR line of user-dirs.dirs (in
// $XDG_CONFIG_HOME, else ~/.config), else ~/Music.

#include <string>
#include <vector>

namespace plug::gfx {

struct EmbeddedResource;

struct IResourceLocation
{
  const EmbeddedResource* embedded = nullptr; // set when the resource is embedded
  std::string path;                           // else the file's path

  bool Found() const { return embedded != nullptr || !path.empty(); }
};

// [any] False (and an empty result) for a null or empty name or when nothing matches. The type is
// an extension without its dot ("ttf", "svg", "png"), compared ignoring letter case.
bool LocateResource(const char* name, const char* type, const char* sharedResourcesSubPath, IResourceLocation& result);

// [any] The bytes of a located resource; false when a file cannot be read.
bool ReadResource(const IResourceLocation& location, std::vector<unsigned char>& bytes);

// [any] The user's music folder, without a trailing "/".
std::string MusicFolder();

// [any] The extension of name (the text after its last "." in the last path component), or "".
std::string ResourceExtension(const char* name);

} // namespace plug::gfx

#pragma once

#include <span>
#include <string_view>

namespace plug::gfx {

// Files built into the plug-in (fonts, pictures). The build turns each file into a byte array and
// lists them in a table of static storage duration; the editor registers that table once, and the
// resource lookup asks here first, before any folder on disk.
struct EmbeddedResource
{
  std::string_view name; // the file's name without folders, e.g. "Roboto-Regular.ttf"
  std::span<const unsigned char> data;
};

// [any] Makes the table's resources findable. The table must outlive every lookup (static storage
// duration); registering the same table again changes nothing. When two tables hold the same name,
// the one registered first wins.
void RegisterEmbeddedResources(std::span<const EmbeddedResource> table);

// [any] The registered resource whose name equals the last path component of fileName
// ("fonts/Quillon.ttf" finds "Quillon.ttf"; letter case counts), or nullptr.
const EmbeddedResource* FindEmbeddedResource(std::string_view fileName);

} // namespace plug::gfx

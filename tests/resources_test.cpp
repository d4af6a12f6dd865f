#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/EmbeddedResources.h"
#include "resources/QuillonMiniResources.h"

namespace {

using plug::gfx::EmbeddedResource;
using plug::gfx::FindEmbeddedResource;
using plug::gfx::RegisterEmbeddedResources;

std::vector<unsigned char> FileBytes(const std::string& path)
{
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedResources, TheProductsFilesAreFoundByFileNameWithTheirBytes)
{
  RegisterEmbeddedResources(QuillonMiniResources());
  RegisterEmbeddedResources(QuillonMiniResources()); // every editor opening registers again
  EXPECT_EQ(QuillonMiniResources().size(), 4u);

  const std::pair<const char*, std::string> files[] = {
      {"Roboto-Regular.ttf", QM_ROBOTO_FONT},
      {"Quillon.ttf", QM_ICON_FONT},
      {"quillon.svg", QM_PICTURE_PATHS_DIR "/quillon.svg"}, // as the paths the build made of it
      {"bnlogo.svg", QM_PICTURE_PATHS_DIR "/bnlogo.svg"},
  };
  for (const auto& [name, path] : files)
  {
    const EmbeddedResource* resource = FindEmbeddedResource(name);
    ASSERT_NE(resource, nullptr) << name;
    EXPECT_EQ(resource->name, name);
    const std::vector<unsigned char> bytes = FileBytes(path);
    ASSERT_GT(bytes.size(), 1000u) << path;
    EXPECT_TRUE(std::ranges::equal(resource->data, bytes))
        << name << ": " << resource->data.size() << " bytes built in, " << bytes.size() << " in " << path;
  }

  EXPECT_EQ(FindEmbeddedResource("/usr/share/QuillonMini/Resources/quillon.svg"), FindEmbeddedResource("quillon.svg"));
  for (const char* unknown : {"Missing.ttf", "quillon", "Quillon.TTF", "", "fonts/", "Roboto-Regular.ttf/"})
  {
    EXPECT_EQ(FindEmbeddedResource(unknown), nullptr) << unknown;
  }
}

TEST(EmbeddedResources, ALaterTableAddsNamesButDoesNotShadowEarlierOnes)
{
  RegisterEmbeddedResources(QuillonMiniResources());
  static constexpr unsigned char kBytes[] = {1, 2, 3};
  static constexpr EmbeddedResource kTable[] = {{"extra.png", kBytes}, {"quillon.svg", kBytes}};
  RegisterEmbeddedResources(kTable);

  ASSERT_NE(FindEmbeddedResource("extra.png"), nullptr);
  EXPECT_EQ(FindEmbeddedResource("extra.png")->data.data(), kBytes);
  EXPECT_EQ(FindEmbeddedResource("quillon.svg"), &QuillonMiniResources()[2]);
}

} // namespace

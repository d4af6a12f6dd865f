// quillon-lv2-ttl BUNDLE_DIR DSP_BINARY UI_BINARY: writes the Turtle of the LV2 bundle (manifest.ttl,
// QuillonMini.ttl, presets.ttl) into BUNDLE_DIR, from the effect's own tables: it makes the effect
// over the LV2 binding, as the DSP binary does, and describes what it finds. Run by the build.

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "effect/QuillonMini.h"
#include "plug/LV2Turtle.h"

int main(int argc, char** argv)
{
  if (argc != 4)
  {
    std::fprintf(stderr, "usage: quillon-lv2-ttl BUNDLE_DIR DSP_BINARY UI_BINARY\n");
    return 2;
  }
  const std::string dir = argv[1];
  const quillon::TQuillonMini plugin(plug::LV2InstanceInfo{48000.0, nullptr});

  std::set<std::string> presetURIs;
  for (int i = 0; i < plugin.NPresets(); ++i)
  {
    if (!presetURIs.insert(plug::lv2::PresetURI(plugin.GetConfigURI(), plugin.GetPresetName(i))).second)
    {
      std::fprintf(stderr, "quillon-lv2-ttl: two programs share the preset URI of \"%s\"\n",
                   plugin.GetPresetName(i).c_str());
      return 1;
    }
  }

  for (const plug::lv2::TurtleFile& file : plug::lv2::MakeBundleTurtle(plugin, plugin.Ports(), {argv[2], argv[3]}))
  {
    const std::string path = dir + "/" + file.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << file.text;
    out.close();
    if (!out)
    {
      std::fprintf(stderr, "quillon-lv2-ttl: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

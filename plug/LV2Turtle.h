#pragma once

// The Turtle of an LV2 bundle, written from the plug-in's own tables (its configuration, its
// parameters with names, ranges, defaults, units and shapes, its programs), so that nothing in the
// bundle can drift from the binaries: manifest.ttl (the plug-in, its editor and its presets),
// the plug-in's .ttl (ports, features, extensions, the editor) and presets.ttl (each program as a
// pset:Preset of its port values). Numbers are written as the single-precision values the ports
// carry, with nine significant digits: each reads back as the same float.

#include <string>
#include <vector>

#include "plug/LV2Protocol.h"

namespace plug {
class IPluginAPIBase;
}

namespace plug::lv2 {

// One file of a bundle.
struct TurtleFile
{
  std::string name; // within the bundle
  std::string text;
};

struct BundleBinaries
{
  std::string dsp; // the DSP binary's file name, e.g. "QuillonMini_dsp.so"
  std::string ui;  // the editor's, empty without an editor
};

// The files of the bundle of plugin, whose ports are ports. [main]
std::vector<TurtleFile> MakeBundleTurtle(const IPluginAPIBase& plugin, const PortLayout& ports,
                                         const BundleBinaries& binaries);

// A parameter's port symbol: its name in lower case, letters and digits kept, anything else as
// "_" (Decay: "decay").
std::string PortSymbol(const char* name);
// A program's preset URI: the plug-in's URI, "#preset-", and the name in lower case with every run
// of other characters as one "-" ("Large Hall": "#preset-large-hall").
std::string PresetURI(const std::string& pluginURI, const std::string& programName);
// A float as Turtle reads it back exactly: nine significant digits, always with a decimal point or
// an exponent.
std::string TurtleNumber(float value);

} // namespace plug::lv2

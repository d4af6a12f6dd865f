#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A parameter setting from the command line: -p NAME=VALUE (a plain value the
// plug-in converts) or -n NAME=VALUE (a normalised value in 0..1).
struct ParamAssignment
{
  std::string name;
  std::string value;
  bool normalised = false;
  double normalisedValue = 0.0; // parsed, for normalised ones
};

// What quillon-render was asked to do.
struct RenderOptions
{
  std::string input;   // empty: the built-in demo
  std::string output;  // empty: derived from the input
  std::string plugin;  // empty: the QuillonMini.so built beside the renderer
  std::string program; // index or name; empty: the plug-in's own
  std::string fxp, fxb;
  std::vector<ParamAssignment> params; // in command-line order
  double fixedTail = -1.0;             // < 0: until the output falls below -90 dBFS
  double maxTail = 60.0;
  double noiseSeconds = -1.0; // >= 0: only write that much noise to the output
  int block = 512;
  int demoRate = 48000;
  bool doublePrecision = false;
  bool list = false;
  bool quiet = false;
  bool help = false;

  // False with a one-line reason for anything it cannot use; checks what
  // can be checked without the plug-in.
  static bool Parse(int argc, const char* const* argv, RenderOptions& out, std::string& error);
  static void PrintUsage(FILE* to);
};

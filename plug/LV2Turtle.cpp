#include "plug/LV2Turtle.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "plug/Config.h"
#include "plug/IPluginAPIBase.h"

namespace plug::lv2 {

namespace {

constexpr const char* kPrefixes[][2] = {
    {"atom", "http://lv2plug.in/ns/ext/atom#"},
    {"bufsz", "http://lv2plug.in/ns/ext/buf-size#"},
    {"doap", "http://usefulinc.com/ns/doap#"},
    {"foaf", "http://xmlns.com/foaf/0.1/"},
    {"lv2", "http://lv2plug.in/ns/lv2core#"},
    {"opts", "http://lv2plug.in/ns/ext/options#"},
    {"pprops", "http://lv2plug.in/ns/ext/port-props#"},
    {"owl", "http://www.w3.org/2002/07/owl#"},
    {"pset", "http://lv2plug.in/ns/ext/presets#"},
    {"rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#"},
    {"rdfs", "http://www.w3.org/2000/01/rdf-schema#"},
    {"rsz", "http://lv2plug.in/ns/ext/resize-port#"},
    {"state", "http://lv2plug.in/ns/ext/state#"},
    {"ui", "http://lv2plug.in/ns/extensions/ui#"},
    {"units", "http://lv2plug.in/ns/extensions/units#"},
    {"urid", "http://lv2plug.in/ns/ext/urid#"},
    {"work", "http://lv2plug.in/ns/ext/worker#"},
    {"xsd", "http://www.w3.org/2001/XMLSchema#"},
};

std::string Prefixes()
{
  std::string text;
  for (const auto& prefix : kPrefixes)
    text += std::string("@prefix ") + prefix[0] + ": <" + prefix[1] + "> .\n";
  return text + "\n";
}

std::string Quoted(const std::string& text)
{
  std::string quoted = "\"";
  for (const char c : text)
  {
    if (c == '"' || c == '\\')
      quoted += '\\';
    if (c == '\n')
      quoted += "\\n";
    else
      quoted += c;
  }
  return quoted + "\"";
}

std::string IRI(const std::string& uri)
{
  return "<" + uri + ">";
}

// The units a host's generic controls know, for the parameter units that have one.
const char* UnitOf(IParam::EParamUnit unit)
{
  switch (unit)
  {
    case IParam::kUnitPercentage:
      return "units:pc";
    case IParam::kUnitSeconds:
      return "units:s";
    case IParam::kUnitMilliseconds:
      return "units:ms";
    case IParam::kUnitDB:
      return "units:db";
    case IParam::kUnitFrequency:
      return "units:hz";
    case IParam::kUnitSemitones:
      return "units:semitone12TET";
    case IParam::kUnitCents:
      return "units:cent";
    case IParam::kUnitMIDINote:
      return "units:midiNote";
    case IParam::kUnitDegrees:
      return "units:degree";
    case IParam::kUnitMeters:
      return "units:m";
    case IParam::kUnitOctaves:
      return "units:oct";
    default:
      return nullptr;
  }
}

std::string ChannelName(bool input, int channel, int count)
{
  const char* direction = input ? "In" : "Out";
  if (count == 2)
    return std::string(direction) + (channel == 0 ? " L" : " R");
  return std::string(direction) + " " + std::to_string(channel + 1);
}

std::string ChannelSymbol(bool input, int channel, int count)
{
  const std::string direction = input ? "in" : "out";
  if (count == 2)
    return direction + (channel == 0 ? "_l" : "_r");
  return direction + "_" + std::to_string(channel + 1);
}

std::string AudioPort(bool input, uint32_t index, int channel, int count)
{
  std::ostringstream port;
  port << "[\n\t\ta lv2:" << (input ? "InputPort" : "OutputPort") << " , lv2:AudioPort ;\n"
       << "\t\tlv2:index " << index << " ;\n"
       << "\t\tlv2:symbol " << Quoted(ChannelSymbol(input, channel, count)) << " ;\n"
       << "\t\tlv2:name " << Quoted(ChannelName(input, channel, count)) << "\n\t]";
  return port.str();
}

std::string ControlPort(const IParam& param, uint32_t index)
{
  std::ostringstream port;
  port << "[\n\t\ta lv2:InputPort , lv2:ControlPort ;\n"
       << "\t\tlv2:index " << index << " ;\n"
       << "\t\tlv2:symbol " << Quoted(PortSymbol(param.GetNameForHost())) << " ;\n"
       << "\t\tlv2:name " << Quoted(param.GetNameForHost()) << " ;\n"
       << "\t\tlv2:default " << TurtleNumber(static_cast<float>(param.GetDefault())) << " ;\n"
       << "\t\tlv2:minimum " << TurtleNumber(static_cast<float>(param.GetMin())) << " ;\n"
       << "\t\tlv2:maximum " << TurtleNumber(static_cast<float>(param.GetMax()));
  if (const char* unit = UnitOf(param.Unit()))
    port << " ;\n\t\tunits:unit " << unit;
  if (param.GetShape().GetDisplayType() == IParam::kDisplayLog)
    port << " ;\n\t\tlv2:portProperty pprops:logarithmic";
  port << "\n\t]";
  return port.str();
}

std::string MessagePort(bool input, uint32_t index, int bufferSize)
{
  std::ostringstream port;
  port << "[\n\t\ta lv2:" << (input ? "InputPort" : "OutputPort") << " , atom:AtomPort ;\n"
       << "\t\tatom:bufferType atom:Sequence ;\n"
       << "\t\tlv2:designation lv2:control ;\n"
       << "\t\tlv2:portProperty lv2:connectionOptional ;\n"
       << "\t\tlv2:index " << index << " ;\n"
       << "\t\tlv2:symbol " << Quoted(input ? "control" : "notify") << " ;\n"
       << "\t\tlv2:name " << Quoted(input ? "Control" : "Notify") << " ;\n"
       << "\t\trsz:minimumSize " << bufferSize << "\n\t]";
  return port.str();
}

// The parameter values a program stores, in index order; empty when the program holds fewer.
std::vector<double> ProgramValues(const IPresetEntry& preset, int nParams)
{
  std::vector<double> values(static_cast<size_t>(nParams));
  int pos = 0;
  for (double& value : values)
    pos = preset.mChunk.GetValueAt(value, pos);
  return pos < 0 ? std::vector<double>() : values;
}

std::string Manifest(const IPluginAPIBase& plugin, const BundleBinaries& binaries, const std::string& pluginFile)
{
  const std::string& uri = plugin.GetConfigURI();
  std::string text = Prefixes();
  text += IRI(uri) + "\n\ta lv2:Plugin ;\n\tlv2:binary " + IRI(binaries.dsp) + " ;\n\trdfs:seeAlso " + IRI(pluginFile) +
      " .\n\n";
  if (!binaries.ui.empty())
    text += IRI(uri + kUIFragment) + "\n\ta ui:X11UI ;\n\tui:binary " + IRI(binaries.ui) + " ;\n\trdfs:seeAlso " +
        IRI(pluginFile) + " .\n\n";
  for (int i = 0; i < plugin.NPresets(); ++i)
    text += IRI(PresetURI(uri, plugin.GetPresetName(i))) + "\n\ta pset:Preset ;\n\tlv2:appliesTo " + IRI(uri) +
        " ;\n\trdfs:seeAlso <presets.ttl> .\n\n";
  return text;
}

std::string PluginDescription(const IPluginAPIBase& plugin, const PortLayout& ports, const BundleBinaries& binaries)
{
  const std::string& uri = plugin.GetConfigURI();
  const int32_t version = plugin.GetPluginVersion(false);
  const int bufferSize = MessageBufferSize(plugin.NParams(), plugin.NPresets());
  std::ostringstream text;
  text << Prefixes() << IRI(uri) << "\n\ta lv2:Plugin , lv2:ReverbPlugin , doap:Project ;\n"
       << "\tdoap:name " << Quoted(plugin.GetPluginName()) << " ;\n"
       << "\tdoap:maintainer [\n\t\tfoaf:name " << Quoted(plugin.GetMfrName()) << "\n\t] ;\n"
       << "\tlv2:minorVersion " << VersionMinor(version) << " ;\n"
       << "\tlv2:microVersion " << VersionBugFix(version) << " ;\n"
       << "\tlv2:optionalFeature lv2:hardRTCapable , urid:map , work:schedule , opts:options ;\n"
       << "\tlv2:extensionData state:interface , work:interface ;\n"
       << "\topts:supportedOption bufsz:maxBlockLength ;\n";
  if (!binaries.ui.empty())
    text << "\tui:ui " << IRI(uri + kUIFragment) << " ;\n";
  text << "\tlv2:port ";
  std::vector<std::string> list;
  for (int c = 0; c < ports.nInputs; ++c)
    list.push_back(AudioPort(true, ports.AudioIn(c), c, ports.nInputs));
  for (int c = 0; c < ports.nOutputs; ++c)
    list.push_back(AudioPort(false, ports.AudioOut(c), c, ports.nOutputs));
  for (int i = 0; i < ports.nParams; ++i)
    list.push_back(ControlPort(*plugin.GetParam(i), ports.Control(i)));
  list.push_back(MessagePort(true, ports.MessagesIn(), bufferSize));
  list.push_back(MessagePort(false, ports.MessagesOut(), bufferSize));
  for (size_t i = 0; i < list.size(); ++i)
    text << list[i] << (i + 1 < list.size() ? " , " : " .\n\n");

  if (!binaries.ui.empty())
  {
    text << IRI(uri + kUIFragment) << "\n\ta ui:X11UI ;\n"
         << "\tlv2:requiredFeature urid:map ;\n"
         << "\tlv2:optionalFeature ui:parent , ui:resize , ui:touch , ui:idleInterface , opts:options ;\n"
         << "\tlv2:extensionData ui:idleInterface , ui:showInterface ;\n"
         << "\topts:supportedOption ui:scaleFactor ;\n"
         << "\tui:portNotification [\n\t\tui:plugin " << IRI(uri) << " ;\n\t\tlv2:symbol \"notify\" ;\n"
         << "\t\tui:protocol atom:eventTransfer\n\t]";
    for (int i = 0; i < ports.nParams; ++i)
      text << " , [\n\t\tui:plugin " << IRI(uri) << " ;\n\t\tlv2:symbol "
           << Quoted(PortSymbol(plugin.GetParam(i)->GetNameForHost())) << " ;\n\t\tui:protocol ui:floatProtocol\n\t]";
    text << " .\n";
  }
  return text.str();
}

std::string Presets(const IPluginAPIBase& plugin)
{
  const std::string& uri = plugin.GetConfigURI();
  std::string text = Prefixes();
  text += IRI(uri + kProgramKeyFragment) +
      "\n\ta rdf:Property , owl:DatatypeProperty ;\n\trdfs:label \"program\" ;\n"
      "\trdfs:comment \"The index of the program a preset selects.\" ;\n\trdfs:range xsd:int .\n\n";
  for (int i = 0; i < plugin.NPresets(); ++i)
  {
    const std::optional<IPresetEntry> preset = plugin.GetPreset(i);
    if (!preset)
      continue;
    const std::vector<double> values = ProgramValues(*preset, plugin.NParams());
    text += IRI(PresetURI(uri, preset->mName)) + "\n\ta pset:Preset ;\n\tlv2:appliesTo " + IRI(uri) +
        " ;\n\trdfs:label " + Quoted(preset->mName) + " ;\n\tstate:state [\n\t\t" + IRI(uri + kProgramKeyFragment) +
        " \"" + std::to_string(i) + "\"^^xsd:int\n\t]";
    if (!values.empty())
    {
      text += " ;\n\tlv2:port ";
      for (int p = 0; p < plugin.NParams(); ++p)
      {
        text += "[\n\t\tlv2:symbol " + Quoted(PortSymbol(plugin.GetParam(p)->GetNameForHost())) +
            " ;\n\t\tpset:value " + TurtleNumber(static_cast<float>(values[static_cast<size_t>(p)])) + "\n\t]";
        text += p + 1 < plugin.NParams() ? " , " : "";
      }
    }
    text += " .\n\n";
  }
  return text;
}

} // namespace

std::string PortSymbol(const char* name)
{
  // A symbol may not start with a digit.
  const bool digitFirst = !name || !*name || std::isdigit(static_cast<unsigned char>(*name));
  std::string symbol = digitFirst ? "p" : "";
  for (const char* c = name; c && *c; ++c)
  {
    const auto u = static_cast<unsigned char>(*c);
    symbol += std::isalnum(u) && u < 0x80 ? static_cast<char>(std::tolower(u)) : '_';
  }
  return symbol;
}

std::string PresetURI(const std::string& pluginURI, const std::string& programName)
{
  std::string slug;
  bool gap = false;
  for (const char c : programName)
  {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) && u < 0x80)
    {
      if (gap && !slug.empty())
        slug += '-';
      slug += static_cast<char>(std::tolower(u));
      gap = false;
    }
    else
      gap = true;
  }
  return pluginURI + "#preset-" + slug;
}

std::string TurtleNumber(float value)
{
  char text[32];
  std::snprintf(text, sizeof(text), "%.9g", static_cast<double>(value));
  std::string number = text;
  if (number.find_first_of(".e") == std::string::npos)
    number += ".0";
  return number;
}

std::vector<TurtleFile> MakeBundleTurtle(const IPluginAPIBase& plugin, const PortLayout& ports,
                                         const BundleBinaries& binaries)
{
  const std::string pluginFile = std::string(plugin.GetPluginName()) + ".ttl";
  return {{"manifest.ttl", Manifest(plugin, binaries, pluginFile)},
          {pluginFile, PluginDescription(plugin, ports, binaries)},
          {"presets.ttl", Presets(plugin)}};
}

} // namespace plug::lv2

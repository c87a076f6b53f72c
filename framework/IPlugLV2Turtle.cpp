#include "IPlugLV2Turtle.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace
{

const char* const kPrefixes = "@prefix atom:   <http://lv2plug.in/ns/ext/atom#> .\n"
                              "@prefix doap:   <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf:   <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2:    <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix opts:   <http://lv2plug.in/ns/ext/options#> .\n"
                              "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
                              "@prefix pset:   <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdf:    <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                              "@prefix rdfs:   <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix state:  <http://lv2plug.in/ns/ext/state#> .\n"
                              "@prefix time:   <http://lv2plug.in/ns/ext/time#> .\n"
                              "@prefix ui:     <http://lv2plug.in/ns/extensions/ui#> .\n"
                              "@prefix units:  <http://lv2plug.in/ns/extensions/units#> .\n"
                              "@prefix urid:   <http://lv2plug.in/ns/ext/urid#> .\n"
                              "@prefix work:   <http://lv2plug.in/ns/ext/worker#> .\n"
                              "\n";

// A Turtle string literal.
std::string Quoted(const char* text)
{
  std::string out = "\"";
  for (const char* c = text; *c; ++c)
  {
    if (*c == '"' || *c == '\\') out += '\\';
    if (*c == '\n')
      out += "\\n";
    else
      out += *c;
  }
  return out + "\"";
}

// A number as Turtle reads it back exactly: integers bare, others as
// decimals with enough digits.
std::string Number(double v)
{
  char buf[64];
  if (v == std::floor(v) && std::fabs(v) < 1e15)
    std::snprintf(buf, sizeof(buf), "%.0f", v);
  else
    std::snprintf(buf, sizeof(buf), "%.17g", v);
  std::string s = buf;
  // A bare "1e-05" is a double in Turtle, "0.5" a decimal: both fine.
  return s;
}

std::string PresetUri(const char* uri, int slot)
{
  char buf[32];
  std::snprintf(buf, sizeof(buf), "#preset-%02d", slot + 1);
  return std::string(uri) + buf;
}

const char* UnitFor(const char* label)
{
  const std::string l = label ? label : "";
  if (l == "%") return "units:pc";
  if (l == "dB") return "units:db";
  if (l == "ms") return "units:ms";
  if (l == "s") return "units:s";
  if (l == "Hz") return "units:hz";
  return nullptr;
}

void WriteControlPort(std::ostream& out, IPlugLV2* plug, int i)
{
  const IParam* p = plug->GetParam(i);
  out << "  [\n    a lv2:InputPort , lv2:ControlPort ;\n"
      << "    lv2:index " << i << " ;\n"
      << "    lv2:symbol " << Quoted(plug->ParamSymbol(i)) << " ;\n"
      << "    lv2:name " << Quoted(p->GetNameForHost()) << " ;\n"
      << "    lv2:default " << Number(p->Value()) << " ;\n"
      << "    lv2:minimum " << Number(p->GetMin()) << " ;\n"
      << "    lv2:maximum " << Number(p->GetMax());
  switch (p->Type())
  {
    case IParam::kTypeBool: out << " ;\n    lv2:portProperty lv2:toggled"; break;
    case IParam::kTypeInt: out << " ;\n    lv2:portProperty lv2:integer"; break;
    case IParam::kTypeEnum: out << " ;\n    lv2:portProperty lv2:integer , lv2:enumeration"; break;
    default: break;
  }
  if (const char* unit = UnitFor(p->GetLabelForHost()))
    out << " ;\n    units:unit " << unit;
  else if (p->GetLabelForHost() && *p->GetLabelForHost())
    out << " ;\n    units:unit [ a units:Unit ; units:symbol " << Quoted(p->GetLabelForHost())
        << " ; units:render " << Quoted((std::string("%f ") + p->GetLabelForHost()).c_str()) << " ]";
  if (p->NDisplayTexts() > 0)
  {
    bool first = true;
    for (int v = (int)p->GetMin(); v <= (int)p->GetMax(); ++v)
    {
      const char* text = p->TextForValue(v);
      if (!text || !*text) continue;
      out << (first ? " ;\n    lv2:scalePoint " : " ,\n      ") << "[ rdfs:label " << Quoted(text)
          << " ; rdf:value " << v << " ]";
      first = false;
    }
  }
  out << " ;\n  ]";
}

// "in_l", "in_r" for a pair; "in_1" ... otherwise.
std::string AudioSymbol(const char* stem, int i, int n)
{
  if (n == 2) return std::string(stem) + (i == 0 ? "_l" : "_r");
  return std::string(stem) + "_" + std::to_string(i + 1);
}

std::string AudioName(const char* stem, int i, int n)
{
  if (n == 2) return std::string(stem) + (i == 0 ? " L" : " R");
  return std::string(stem) + " " + std::to_string(i + 1);
}

bool WriteFile(const std::string& path, const std::string& text, std::string* error)
{
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
  f.close();
  if (!f)
  {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

bool WriteLV2Bundle(IPlugLV2* plug, const IPlugLV2BundleInfo& info, const std::string& dir,
                    std::string* error)
{
  const int nParams = plug->NParams(), nIn = plug->NInChannels(), nOut = plug->NOutChannels();
  const int version = plug->GetVersion(false);

  // ---- the plug-in
  std::ostringstream ttl;
  ttl << kPrefixes;
  ttl << "<" << info.mUri << ">\n"
      << "  a lv2:Plugin , lv2:" << info.mClass << " ;\n"
      << "  doap:name " << Quoted(plug->GetEffectName()) << " ;\n"
      << "  doap:maintainer [ foaf:name " << Quoted(plug->GetMfrName()) << " ] ;\n";
  if (info.mLicense) ttl << "  doap:license <" << info.mLicense << "> ;\n";
  if (info.mUiUri) ttl << "  ui:ui <" << info.mUiUri << "> ;\n";
  ttl << "  lv2:minorVersion " << ((version >> 8) & 0xff) << " ;\n"
      << "  lv2:microVersion " << (version & 0xff) << " ;\n"
      << "  lv2:optionalFeature lv2:hardRTCapable , urid:map , work:schedule , opts:options ;\n"
      << "  lv2:extensionData state:interface , work:interface ;\n"
      << "  lv2:port\n";
  for (int i = 0; i < nParams; ++i)
  {
    WriteControlPort(ttl, plug, i);
    ttl << " ,\n";
  }
  int index = nParams;
  for (int i = 0; i < nIn; ++i, ++index)
    ttl << "  [\n    a lv2:InputPort , lv2:AudioPort ;\n    lv2:index " << index << " ;\n    lv2:symbol "
        << Quoted(AudioSymbol("in", i, nIn).c_str()) << " ;\n    lv2:name "
        << Quoted(AudioName("In", i, nIn).c_str()) << " ;\n  ] ,\n";
  for (int i = 0; i < nOut; ++i, ++index)
    ttl << "  [\n    a lv2:OutputPort , lv2:AudioPort ;\n    lv2:index " << index << " ;\n    lv2:symbol "
        << Quoted(AudioSymbol("out", i, nOut).c_str()) << " ;\n    lv2:name "
        << Quoted(AudioName("Out", i, nOut).c_str()) << " ;\n  ] ,\n";
  ttl << "  [\n    a lv2:InputPort , atom:AtomPort ;\n    lv2:index " << plug->TimePortIndex() << " ;\n"
      << "    lv2:symbol \"time_in\" ;\n    lv2:name \"Transport\" ;\n"
      << "    atom:bufferType atom:Sequence ;\n    atom:supports time:Position ;\n"
      << "    lv2:portProperty lv2:connectionOptional ;\n  ] ,\n"
      << "  [\n    a lv2:InputPort , lv2:ControlPort ;\n    lv2:index " << plug->FreewheelPortIndex()
      << " ;\n"
      << "    lv2:symbol \"freewheel\" ;\n    lv2:name \"Freewheel\" ;\n"
      << "    lv2:designation lv2:freeWheeling ;\n"
      << "    lv2:default 0 ;\n    lv2:minimum 0 ;\n    lv2:maximum 1 ;\n"
      << "    lv2:portProperty lv2:toggled , lv2:connectionOptional , pprops:notOnGUI ;\n  ] .\n";
  if (info.mUiUri)
    ttl << "\n<" << info.mUiUri << ">\n  a ui:X11UI ;\n"
        << "  lv2:optionalFeature ui:parent , ui:idleInterface , ui:resize , ui:touch ;\n"
        << "  lv2:extensionData ui:idleInterface .\n";

  // ---- the presets: the initialised slots, values read by selecting each
  std::ostringstream presets, manifestPresets;
  presets << kPrefixes;
  for (int slot = 0; slot < plug->NPresets(); ++slot)
  {
    if (!plug->IsPresetInitialized(slot) || !plug->SelectPreset(slot)) continue;
    const std::string uri = PresetUri(info.mUri, slot);
    presets << "<" << uri << ">\n  a pset:Preset ;\n  lv2:appliesTo <" << info.mUri << "> ;\n"
            << "  rdfs:label " << Quoted(plug->GetPresetName(slot)) << " ;\n  lv2:port";
    for (int i = 0; i < nParams; ++i)
      presets << (i ? " ,\n    " : "\n    ") << "[ lv2:symbol " << Quoted(plug->ParamSymbol(i))
              << " ; pset:value " << Number(plug->GetParam(i)->Value()) << " ]";
    presets << " .\n\n";
    manifestPresets << "<" << uri << ">\n  a pset:Preset ;\n  lv2:appliesTo <" << info.mUri << "> ;\n"
                    << "  rdfs:seeAlso <presets.ttl> .\n\n";
  }

  std::ostringstream manifest;
  manifest << kPrefixes << "<" << info.mUri << ">\n  a lv2:Plugin ;\n  lv2:binary <" << info.mBinary
           << "> ;\n"
           << "  rdfs:seeAlso <" << info.mTtl << "> .\n\n";
  if (info.mUiUri)
    manifest << "<" << info.mUiUri << ">\n  a ui:X11UI ;\n  ui:binary <" << info.mUiBinary << "> ;\n"
             << "  rdfs:seeAlso <" << info.mTtl << "> .\n\n";
  manifest << manifestPresets.str();

  return WriteFile(dir + "/manifest.ttl", manifest.str(), error) &&
         WriteFile(dir + "/" + info.mTtl, ttl.str(), error) &&
         WriteFile(dir + "/presets.ttl", presets.str(), error);
}

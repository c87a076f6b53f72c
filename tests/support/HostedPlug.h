// The reference-host fixture: one plug-in instance held as a DAW holds it,
// its module loaded through the reference host (tools/vsthost) or its entry
// point linked into the test program. The suites' harnesses build on it.
#pragma once

#include "VstHost.h"

#include <string>

namespace qtest
{

class HostedPlug
{
public:
  // Nothing loaded yet: Load and Open come later.
  HostedPlug() = default;
  // Loads the module at path (a failure fails the test) and, unless open is
  // false, opens the instance.
  explicit HostedPlug(const std::string& path, bool open = true, double sampleRate = 44100.,
                      int blockSize = 512);
  // The same for a plug-in linked into the program: entry is its
  // VSTPluginMain, name says what it is in error texts.
  HostedPlug(quorvex::VstHost::EntryProc entry, const std::string& name, bool open = true,
             double sampleRate = 44100., int blockSize = 512);
  virtual ~HostedPlug() = default;
  HostedPlug(const HostedPlug&) = delete;
  HostedPlug& operator=(const HostedPlug&) = delete;

  AEffect* Fx() const { return host.Effect(); }
  // An exported function of the loaded module, null when missing; valid
  // while the module stays loaded.
  template <class F> F Function(const char* name) const { return reinterpret_cast<F>(host.Symbol(name)); }

  // One replacing block of silence: enough to run work queued for the
  // audio thread.
  void ProcessSilence(int frames = 64);

  quorvex::VstHost host;
};

}  // namespace qtest

// Events as a host or a plug-in hands them over (effProcessEvents,
// audioMasterProcessEvents): MIDI and SysEx records filled as the
// interface asks, and a list with room for more than VstEvents' two.
// Header only: the stub plug-ins use it too.
#pragma once

#include "VstApi.h"

#include <cstring>

namespace qtest
{

// A VstEvents with room for 8 entries.
struct EventList
{
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[8];
};

inline VstMidiEvent MidiEvent(VstInt32 delta, unsigned char status, unsigned char d1, unsigned char d2)
{
  VstMidiEvent ev;
  std::memset(&ev, 0, sizeof(ev));
  ev.type = kVstMidiType;
  ev.byteSize = sizeof(ev);
  ev.deltaFrames = delta;
  ev.midiData[0] = (char)status;
  ev.midiData[1] = (char)d1;
  ev.midiData[2] = (char)d2;
  return ev;
}

// The dump stays the caller's and must outlive the event.
inline VstMidiSysexEvent SysExEvent(VstInt32 delta, char* dump, VstInt32 size)
{
  VstMidiSysexEvent ev;
  std::memset(&ev, 0, sizeof(ev));
  ev.type = kVstSysExType;
  ev.byteSize = sizeof(ev);
  ev.deltaFrames = delta;
  ev.dumpBytes = size;
  ev.sysexDump = dump;
  return ev;
}

}  // namespace qtest

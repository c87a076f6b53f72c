// IPlugBase: preset slots, parameter serialisation and the program and bank
// chunks exchanged with the host.
#include "IPlugBase.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// ================================================================ parameter values

bool IPlugBase::SaveParams(StateChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk) return false;
  for (int i = 0; i < NParams(); ++i)
    if (chunk->AppendValue(GetParam(i)->Value()) < 0) return false;
  return NParams() == 0 || chunk->Size() > 0;
}

int IPlugBase::LoadParams(const StateChunk* chunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  int pos = startPos;
  if (chunk && pos >= 0)
  {
    for (int i = 0; i < NParams(); ++i)
    {
      double v = 0.0;
      pos = chunk->ReadValue(&v, pos);
      // The parameter at a cut gets 0 bounded to its range.
      GetParam(i)->SetValue(v);
      if (pos < 0) break;
    }
  }
  NotifyAllParamsChanged();
  return pos;
}

// ================================================================ preset slots

const char* IPlugBase::GetPresetName(int idx) const
{
  const PresetSlot* slot = mPresets.Get(idx);
  return slot ? slot->mName : "";
}

bool IPlugBase::IsPresetInitialized(int idx) const
{
  const PresetSlot* slot = mPresets.Get(idx);
  return slot && slot->mInitialized;
}

static PresetSlot* FirstFreeSlot(const WDL_PtrList<PresetSlot>& presets)
{
  for (int i = 0; i < presets.GetSize(); ++i)
    if (!presets.Get(i)->mInitialized) return presets.Get(i);
  return nullptr;
}

void IPlugBase::AddFactoryPreset(const char* name, ...)
{
  PresetSlot* slot = FirstFreeSlot(mPresets);
  if (!slot) return;
  slot->mInitialized = true;
  CopyFixedText(slot->mName, name, MAX_PRESET_NAME_LEN);
  slot->mChunk.Clear();

  va_list args;
  va_start(args, name);
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam::EParamType type = GetParam(i)->Type();
    double v;
    if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
      v = (double)va_arg(args, int);
    else
      v = va_arg(args, double);
    slot->mChunk.AppendValue(v);
  }
  va_end(args);
}

void IPlugBase::AddPresetsFromCurrent(const char* name, int count)
{
  for (int i = 0; i < count; ++i)
  {
    PresetSlot* slot = FirstFreeSlot(mPresets);
    if (!slot) return;
    slot->mInitialized = true;
    CopyFixedText(slot->mName, name ? name : "Default", MAX_PRESET_NAME_LEN);
    slot->mChunk.Clear();
    SaveParams(&slot->mChunk);
  }
}

void IPlugBase::EnsureDefaultPreset()
{
  if (NPresets()) return;
  PresetSlot* slot = new PresetSlot;
  std::snprintf(slot->mName, MAX_PRESET_NAME_LEN, "- %d -", 1);
  if (mPresets.Add(slot) < 0)
  {
    delete slot;
    return;
  }
  AddPresetsFromCurrent(nullptr, 1);
}

void IPlugBase::NextUserPresetName(char* name) const
{
  int n = 1;
  for (int i = 0; i < NPresets(); ++i)
    if (std::strstr(mPresets.Get(i)->mName, "user preset")) ++n;
  std::snprintf(name, MAX_PRESET_NAME_LEN, "%s %d", "user preset", n);
}

bool IPlugBase::SelectPreset(int idx)
{
  WDL_MutexLock lock(&mMutex);
  PresetSlot* slot = mPresets.Get(idx);
  if (!slot) return false;

  bool ok;
  if (slot->mInitialized)
  {
    const int pos = LoadParams(&slot->mChunk, 0);
    ok = pos > 0 || (pos == 0 && NParams() == 0);
  }
  else
  {
    slot->mInitialized = true;
    NextUserPresetName(slot->mName);
    slot->mChunk.Clear();
    ok = SaveParams(&slot->mChunk);
  }
  if (ok)
  {
    mCurrentPresetIdx = idx;
    PushParamsToEditor();
  }
  return ok;
}

void IPlugBase::StoreCurrentPreset(const char* name)
{
  WDL_MutexLock lock(&mMutex);
  PresetSlot* slot = mPresets.Get(mCurrentPresetIdx);
  if (!slot) return;
  slot->mChunk.Clear();
  SaveParams(&slot->mChunk);
  if (name && name[0]) CopyFixedText(slot->mName, name, MAX_PRESET_NAME_LEN);
}

// ================================================================ bank of presets

bool IPlugBase::SavePresets(StateChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk) return false;
  for (int i = 0; i < NPresets(); ++i)
  {
    const PresetSlot* slot = mPresets.Get(i);
    if (chunk->AppendText(slot->mName) < 0 || chunk->AppendBool(slot->mInitialized) < 0) return false;
    if (slot->mInitialized && (chunk->AppendChunk(slot->mChunk) < 0 || chunk->Size() == 0)) return false;
  }
  return true;
}

int IPlugBase::LoadPresets(const StateChunk* chunk, int startPos)
{
  WDL_MutexLock lock(&mMutex);
  int pos = startPos;
  if (chunk && NPresets() && pos >= 0)
  {
    // One buffer for the whole bank: a zero-length name keeps the previous
    // slot's name.
    WDL_String name;
    for (int i = 0; i < NPresets() && pos >= 0; ++i)
    {
      PresetSlot* slot = mPresets.Get(i);
      pos = chunk->ReadText(&name, pos);
      CopyFixedText(slot->mName, name.Get(), MAX_PRESET_NAME_LEN);
      if (pos < 0) break;
      bool init = slot->mInitialized;
      pos = chunk->ReadBool(&init, pos);
      if (pos < 0) break;
      slot->mInitialized = init;
      if (init)
      {
        // Also after a cut: the slot keeps what could be read, so that it
        // always holds a full set of values and can be selected again.
        pos = LoadParams(chunk, pos);
        slot->mChunk.Clear();
        SaveParams(&slot->mChunk);
      }
    }
  }
  SelectPreset(mCurrentPresetIdx);
  return pos;
}

// ================================================================ host exchange

bool IPlugBase::SerializeProgram(StateChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  WriteChunkHeader(chunk);
  return SaveState(chunk) && chunk->Size() > 0;
}

bool IPlugBase::SerializeBank(StateChunk* chunk)
{
  WDL_MutexLock lock(&mMutex);
  WriteChunkHeader(chunk);
  StoreCurrentPreset();
  return SavePresets(chunk) && chunk->Size() > 0;
}

int IPlugBase::UnserializeState(const StateChunk* chunk, bool isBank)
{
  WDL_MutexLock lock(&mMutex);
  int pos = 0;
  const int version = ReadChunkHeader(chunk, &pos);
  if (isBank && version > 0xFFFF)
  {
    pos = LoadPresets(chunk, pos);
  }
  else
  {
    pos = LoadState(chunk, pos);
    StoreCurrentPreset();
  }
  if (pos >= 0) PushParamsToEditor();
  return pos;
}

// IPlugBase: preset slots, parameter serialisation and the program and bank
// chunks exchanged with the host.
#include "IPlugBase.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

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
  bool kept = true;
  for (int i = 0; i < NParams(); ++i)
  {
    const IParam::EParamType type = GetParam(i)->Type();
    double v;
    if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
      v = (double)va_arg(args, int);
    else
      v = va_arg(args, double);
    kept = slot->mChunk.AppendValue(v) >= 0 && kept;
  }
  va_end(args);
  // A preset cut short would set the missing values to 0 when chosen: the
  // instance under construction fails instead.
  if (!kept) throw std::bad_alloc();
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
    if (!SaveParams(&slot->mChunk)) throw std::bad_alloc();
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

// A bank is read whole into scratch state and applied only when every slot
// was read, with nothing left over and every value finite: a load either
// replaces the whole bank or changes nothing.
int IPlugBase::LoadPresets(const StateChunk* chunk, int startPos, bool selectCurrent)
{
  WDL_MutexLock lock(&mMutex);
  const int nPresets = NPresets(), nParams = NParams();
  if (!chunk || startPos < 0 || nPresets == 0) return -1;

  WDL_TypedBuf<char> names;
  WDL_TypedBuf<uint8_t> inits;
  WDL_TypedBuf<double> values;
  if (!names.Resize(nPresets * MAX_PRESET_NAME_LEN) || !inits.Resize(nPresets) ||
      (nParams && !values.Resize(nPresets * nParams)))
    return -1;

  // One name buffer for the whole bank: a zero-length name keeps the
  // previous slot's.
  WDL_String name;
  int pos = startPos;
  for (int i = 0; i < nPresets; ++i)
  {
    pos = chunk->ReadText(&name, pos);
    if (pos < 0 || pos >= chunk->Size()) return -1;
    const uint8_t init = chunk->GetBytes()[pos++];
    if (init > 1) return -1;
    for (int k = 0; init && k < nParams; ++k)
    {
      double v = 0.0;
      pos = chunk->ReadValue(&v, pos);
      if (pos < 0 || !std::isfinite(v)) return -1;
      values.Get()[i * nParams + k] = v;
    }
    CopyFixedText(names.Get() + i * MAX_PRESET_NAME_LEN, name.Get(), MAX_PRESET_NAME_LEN);
    inits.Get()[i] = init;
  }
  if (pos != chunk->Size()) return -1;

  // Every slot that takes values gets room for them first, its contents
  // unchanged, so that writing them below cannot fail part-way.
  const int need = 8 * nParams;
  for (int i = 0; i < nPresets; ++i)
  {
    StateChunk& c = mPresets.Get(i)->mChunk;
    const int had = c.Size();
    if (!inits.Get()[i] || had >= need) continue;
    if (!c.Resize(need)) return -1;
    c.Resize(had);
  }

  for (int i = 0; i < nPresets; ++i)
  {
    PresetSlot* slot = mPresets.Get(i);
    CopyFixedText(slot->mName, names.Get() + i * MAX_PRESET_NAME_LEN, MAX_PRESET_NAME_LEN);
    slot->mInitialized = inits.Get()[i] != 0;
    // An uninitialised slot keeps whatever values it held.
    if (!slot->mInitialized) continue;
    slot->mChunk.Clear();
    for (int k = 0; k < nParams; ++k)
      slot->mChunk.AppendValue(GetParam(k)->Bounded(values.Get()[i * nParams + k]));
  }
  if (selectCurrent) SelectPreset(mCurrentPresetIdx);
  return pos;
}

bool IPlugBase::RestoreBank(const StateChunk* chunk, int currentPreset)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk || currentPreset < -1 || currentPreset >= NPresets()) return false;
  int pos = 0;
  if (ReadChunkHeader(chunk, &pos) != kChunkVersion || pos == 0) return false;
  if (LoadPresets(chunk, pos, false) < 0) return false;
  if (currentPreset >= 0) mCurrentPresetIdx = currentPreset;
  return true;
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

// Loads are all or nothing: whatever is refused leaves every parameter,
// slot, name and the current program as they were.
int IPlugBase::UnserializeState(const StateChunk* chunk, bool isBank)
{
  WDL_MutexLock lock(&mMutex);
  if (!chunk) return -1;
  int pos = 0;
  const int version = ReadChunkHeader(chunk, &pos);
  if (pos != 0 && version != kChunkVersion) return -1;  // magic with an unknown or missing version

  if (isBank && pos != 0)
  {
    pos = LoadPresets(chunk, pos);
    if (pos >= 0) PushParamsToEditor();
    return pos;
  }

  // One state: exactly one finite double per parameter after the header,
  // or with no header at all (old or foreign state), nothing else.
  if ((long long)chunk->Size() - pos != 8LL * NParams()) return -1;
  for (int p = pos; p < chunk->Size(); p += 8)
  {
    double v = 0.0;
    chunk->ReadValue(&v, p);
    if (!std::isfinite(v)) return -1;
  }
  pos = LoadState(chunk, pos);
  StoreCurrentPreset();
  if (pos >= 0) PushParamsToEditor();
  return pos;
}

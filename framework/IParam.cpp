#include "IParam.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void CopyFixedText(char* dst, const char* src, int dstSize)
{
  if (!dst || dstSize <= 0) return;
  int n = 0;
  if (src)
    while (n < dstSize - 1 && src[n]) ++n;
  if (n) std::memcpy(dst, src, (size_t)n);
  dst[n] = 0;
}

IParam::IParam()
  : mType(kTypeNone), mValue(0.0), mMin(0.0), mMax(1.0), mStep(1.0), mShape(1.0), mDisplayPrecision(0),
    mNegateDisplay(false), mDisplayTexts(4096)
{
  mName[0] = 0;
  mLabel[0] = 0;
}

void IParam::DefineDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                          const char* label)
{
  if (mType == kTypeNone) mType = kTypeDouble;
  CopyFixedText(mName, name, MAX_PARAM_NAME_LEN);
  CopyFixedText(mLabel, label, MAX_PARAM_LABEL_LEN);
  mValue = defaultVal;
  mMin = minVal;
  mMax = maxVal > minVal + step ? maxVal : minVal + step;
  mStep = step;

  mDisplayPrecision = 0;
  double s = step;
  for (int i = 1; i <= 6; ++i)
  {
    if (std::floor(s) == s) break;
    mDisplayPrecision = i;
    s *= 10.0;
  }
}

void IParam::DefineInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label)
{
  if (mType == kTypeNone) mType = kTypeInt;
  DefineDouble(name, (double)defaultVal, (double)minVal, (double)maxVal, 1.0, label);
}

void IParam::DefineEnum(const char* name, int defaultVal, int nEnums, const char* label)
{
  if (mType == kTypeNone) mType = kTypeEnum;
  DefineInt(name, defaultVal, 0, nEnums - 1, label);
}

double IParam::Bounded(double value) const
{
  // NaN fails the comparisons below and lands on min.
  if (!(value >= mMin)) return mMin;
  return value < mMax ? value : mMax;
}

void IParam::SetValue(double value) { mValue = Bounded(value); }

void IParam::SetUnitValue(double normalized)
{
  // A host may send values outside 0..1, or garbage; keep the value in range.
  if (!(normalized > 0.0)) normalized = 0.0;
  if (normalized > 1.0) normalized = 1.0;

  double v = std::pow(normalized, mShape) * (mMax - mMin) + mMin;
  if (mType != kTypeDouble && mStep > 0.0) v = mStep * std::floor(v / mStep + 0.5);
  SetValue(v);
}

double IParam::GetUnitValue(double value) const
{
  const double range = mMax - mMin;
  // A degenerate range (only reachable with step 0) maps everything to 0.
  if (!(range > 0.0)) return 0.0;
  const double c = (value < mMin || value != value) ? 0.0 : ((value < mMax ? value : mMax) - mMin);
  const double n = std::pow(c / range, 1.0 / mShape);
  return n;
}

void IParam::FormatDisplay(bool normalized, char* out, double value) const
{
  if (!out) return;
  if (normalized) value = std::pow(value, mShape) * (mMax - mMin) + mMin;

  // Truncation toward zero, guarded: casting a NaN or huge double to int is
  // undefined.
  if (value > -2147483648.0 && value < 2147483648.0)
  {
    const char* text = TextForValue((int)value);
    if (text[0])
    {
      CopyFixedText(out, text, MAX_PARAM_DISPLAY_TEXT);
      return;
    }
  }

  const double v = mNegateDisplay ? -value : value;
  if (v == 0.0 || v != v)
  {
    std::strcpy(out, "0");
  }
  else if (mDisplayPrecision > 0)
  {
    std::snprintf(out, MAX_PARAM_DISPLAY_TEXT, "%.*f", mDisplayPrecision, v);
  }
  else if (v > -2147483648.0 && v < 2147483648.0)
  {
    std::snprintf(out, MAX_PARAM_DISPLAY_TEXT, "%d", (int)v);
  }
  else
  {
    std::snprintf(out, MAX_PARAM_DISPLAY_TEXT, "%.0f", std::trunc(v));
  }
}

double IParam::ValueFromText(const char* text) const
{
  if (!text) return 0.0;
  int v;
  if (NDisplayTexts() && ValueForText(text, &v)) return (double)v;
  const double d = std::atof(text);
  return mNegateDisplay ? -d : d;
}

bool IParam::AddTextForValue(int value, const char* text)
{
  DisplayText dt;
  std::memset(&dt, 0, sizeof(dt));
  dt.mValue = value;
  CopyFixedText(dt.mText, text, MAX_PARAM_DISPLAY_LEN);
  return mDisplayTexts.Add(dt) != nullptr;
}

const char* IParam::TextForValue(int value) const
{
  const DisplayText* dt = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i)
    if (dt[i].mValue == value) return dt[i].mText;
  return "";
}

bool IParam::ValueForText(const char* text, int* value) const
{
  if (!text) return false;
  const DisplayText* dt = mDisplayTexts.Get();
  const int n = mDisplayTexts.GetSize();
  for (int i = 0; i < n; ++i)
  {
    if (!std::strcmp(dt[i].mText, text))
    {
      if (value) *value = dt[i].mValue;
      return true;
    }
  }
  return false;
}

bool IParam::IsTwoState() const
{
  return mType == kTypeBool || ((mType == kTypeInt || mType == kTypeEnum) && std::fabs(mMax - mMin) < 1.5);
}

// IParam: one automatable parameter, its range, display texts and the
// conversions between its own units and the host's normalised 0..1.
//
// No lock of its own: IPlugBase holds the instance lock around every access.
#pragma once

#include "heapbuf.h"

#define MAX_PARAM_NAME_LEN 32
#define MAX_PARAM_LABEL_LEN 32
#define MAX_PARAM_DISPLAY_LEN 32
// Longest text FormatDisplay writes, terminator included.
#define MAX_PARAM_DISPLAY_TEXT 128

class IParam
{
public:
  enum EParamType
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4
  };

  struct DisplayText
  {
    int mValue;
    char mText[MAX_PARAM_DISPLAY_LEN];
  };

  IParam();

  void DefineDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                    const char* label = "");
  void DefineInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "");
  void DefineEnum(const char* name, int defaultVal, int nEnums, const char* label = "");

  void SetValue(double value);
  // The value SetValue would store for value.
  double Bounded(double value) const;
  void SetUnitValue(double normalized);
  double Value() const { return mValue; }
  double GetUnitValue() const { return GetUnitValue(mValue); }
  double GetUnitValue(double value) const;

  // Writes at most MAX_PARAM_DISPLAY_TEXT bytes (terminator included).
  void FormatDisplay(bool normalized, char* out, double value) const;
  void GetDisplayForHost(char* out) const { FormatDisplay(false, out, mValue); }
  double ValueFromText(const char* text) const;

  bool AddTextForValue(int value, const char* text);
  const char* TextForValue(int value) const;
  bool ValueForText(const char* text, int* value) const;
  int NDisplayTexts() const { return mDisplayTexts.GetSize(); }

  EParamType Type() const { return mType; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  int GetPrecision() const { return mDisplayPrecision; }
  const char* GetNameForHost() const { return mName; }
  const char* GetLabelForHost() const { return mLabel; }
  // Two-state parameters get a switch rather than a knob in some hosts.
  bool IsTwoState() const;

private:
  EParamType mType;
  double mValue;
  double mMin;
  double mMax;
  double mStep;
  double mShape;
  int mDisplayPrecision;
  char mName[MAX_PARAM_NAME_LEN];
  char mLabel[MAX_PARAM_LABEL_LEN];
  bool mNegateDisplay;
  WDL_TypedBuf<DisplayText> mDisplayTexts;
};

// Copies src into a fixed field of dstSize bytes, truncating and always
// terminating; a null src gives the empty string.
void CopyFixedText(char* dst, const char* src, int dstSize);

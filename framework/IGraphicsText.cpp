// Text drawing and committed entry-box text.
//
// Text rendering is not wired up yet: DrawStyledText draws nothing until the
// font cache exists. ApplyTextEntry is complete.
#include "IGraphics.h"

#include "IControl.h"
#include "IParam.h"
#include "IPlugBase.h"

LICE_CachedFont* IGraphics::FindOrCreateFont(IText* txt)
{
  (void)txt;
  return nullptr;  // no font backend yet
}

bool IGraphics::DrawStyledText(IText* txt, const char* str, IRECT* r)
{
  (void)r;
  if (!str || !*str) return true;
  return txt && FindOrCreateFont(txt) != nullptr;  // stub: nothing is drawn yet
}

void IGraphics::ApplyTextEntry(IControl* control, IParam* param, const char* text)
{
  if (!control || !param || !text) return;
  // A display text picks its value; anything else is read as a number.
  const double normalized = param->GetUnitValue(param->ValueFromText(text));
  const int idx = control->ParamIdx();
  if (idx >= 0 && mPlug)
  {
    mPlug->BeginParamGesture(idx);
    control->ApplyUserValue(normalized);
    mPlug->EndParamGesture(idx);
  }
  else
  {
    control->ApplyUserValue(normalized);
  }
}

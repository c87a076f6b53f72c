// The LV2 UI binary's exported entry point: the editor on an instance of
// its own.
#include "Quorvex2.h"

#define LV2UICLASS Quorvex2
#define LV2UIURI QUORVEX_LV2_URI "#ui"
#include "IPlugLV2UIEntry.h"

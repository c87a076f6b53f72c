// The LV2 plug-in's exported entry point.
#include "Quorvex2.h"

#define LV2CLASS Quorvex2
#define LV2URI QUORVEX_LV2_URI
#include "IPlugLV2Entry.h"

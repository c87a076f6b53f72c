// The plug-in's exported entry points.
#include "Quorvex2.h"

#define VSTCLASS Quorvex2
#include "IPlugVSTEntry.h"

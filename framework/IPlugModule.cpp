#include "IPlugModule.h"

void* gHInstance = nullptr;

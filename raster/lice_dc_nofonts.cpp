// Text backend of builds without system fonts (QUORVEX_HEADLESS, for engine
// test runs on other architectures): no face resolves, so no font can be
// made, metrics keep their defaults and text draws nothing.
#include "lice_dc_impl.h"

namespace lice_dc
{

void* ResolveFace(const char*, const char*, bool, bool) { return nullptr; }

BackendFont* OpenFont(void*, int, bool, int) { return nullptr; }

void CloseFont(BackendFont*) {}

BackendFont* DefaultFont() { return nullptr; }

void GetMetrics(BackendFont*, TEXTMETRIC*) {}

LineRules Rules(BackendFont*) { return LineRules{ 0, 0, 0, true }; }

int LineWidth(BackendFont*, const char*, int) { return 0; }

void DrawLine(BackendFont*, const Target&, int, int, const char*, int, COLORREF) {}

}  // namespace lice_dc

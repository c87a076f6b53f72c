// The effect's editor: its size, images, link addresses, and the one place
// that names the window layer it runs in.
#pragma once

class IGraphics;
class IPlugBase;

enum EQuorvexImage
{
  kImageBackground = 100,
  kImageRateKnob = 101,
  kImageSmallKnob = 102,
  kImageSliderHandle = 103,
  kImageRadio = 104
};

enum
{
  kEditorWidth = 545,
  kEditorHeight = 210
};

// The maker's page for this plug-in, and its home page as the fallback.
extern const char* const kQuorvexPluginURL;
extern const char* const kQuorvexHomeURL;

// [UI thread] An editor of this build's window system for plug, with the
// images found the way this build ships them; fps 0 is the default rate.
IGraphics* MakeQuorvexGraphics(IPlugBase* plug, int width, int height, int fps);

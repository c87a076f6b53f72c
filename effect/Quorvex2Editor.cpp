// Quorvex 2 editor: window layer, images and layout.
//
// Contents:
//   - window layer and images
//   - layout: background, value text style, the seven controls
#include "Quorvex2Editor.h"

#include "IGraphicsHeadless.h"
#if defined(_WIN32)
#include "IGraphicsWindows.h"
#elif defined(__APPLE__) && !QUORVEX_NO_APPKIT
#include "IGraphicsMac.h"
#endif
#include "Quorvex2.h"
#include "QuorvexControls.h"

#if !defined(_WIN32) && !defined(__APPLE__)
#if !QUORVEX_HEADLESS
#include "IGraphicsLinux.h"
#endif
#include "Quorvex2Images.h"
#include "lice_png.h"
#endif
#if defined(__APPLE__)
#include "lice_png.h"
#include "wdlstring.h"
#endif

#include <memory>

const char* const kQuorvexPluginURL = "https://www.vantu.audio/plugins/quorvex-2";
const char* const kQuorvexHomeURL = "https://www.vantu.audio/";

// ================================================================ window layer and images

namespace
{

// The window layer of this build: swapping layers is this one line.
#if defined(_WIN32)
using QuorvexPlatformGraphics = IGraphicsWindows;
#elif defined(__APPLE__) && !QUORVEX_NO_APPKIT
using QuorvexPlatformGraphics = IGraphicsMac;
#elif defined(__APPLE__) || QUORVEX_HEADLESS
// The Darwin stand-in build (no AppKit) and builds without a window system.
using QuorvexPlatformGraphics = IGraphicsHeadless;
#else
using QuorvexPlatformGraphics = IGraphicsLinux;
#endif

#if defined(_WIN32) || (defined(__APPLE__) && !QUORVEX_NO_APPKIT)
// Images come from the module's resources or the bundle, through the layer.
using QuorvexGraphics = QuorvexPlatformGraphics;
#elif defined(__APPLE__)
// Images come from the bundle named by mBundleIdent; without AppKit the
// headless layer stands in for the Cocoa one and is taught here.
class QuorvexGraphics : public QuorvexPlatformGraphics
{
public:
  using QuorvexPlatformGraphics::QuorvexPlatformGraphics;

  // [UI thread, no lock held]
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override
  {
    (void)id;
    return LICE_ReadPngFromBundle(mBundleIdent.Get(), name);
  }

  WDL_String mBundleIdent;
};
#else
// Linux has neither resources nor bundles: the images are compiled in.
class QuorvexGraphics : public QuorvexPlatformGraphics
{
public:
  using QuorvexPlatformGraphics::QuorvexPlatformGraphics;

  // [UI thread, no lock held]
  LICE_IBitmap* LoadPlatformBitmap(int id, const char* name) override
  {
    (void)name;
    const QuorvexEmbeddedFile* f = QuorvexFindEmbeddedFile(id);
    return f ? LICE_ReadPngMemory(f->data, (int)f->size) : nullptr;
  }
};
#endif

#if defined(__APPLE__)
#define QUORVEX_IMG(file) "../img/" file
#else
#define QUORVEX_IMG(file) "img/" file
#endif

}  // namespace

IGraphics* MakeQuorvexGraphics(IPlugBase* plug, int width, int height, int fps)
{
  QuorvexGraphics* g = new QuorvexGraphics(plug, width, height, fps);
#if defined(__APPLE__)
  // Before any image loads: the bundle is how the editor finds them.
#if QUORVEX_NO_APPKIT
  g->mBundleIdent.Set(QUORVEX_BUNDLE_IDENT);
#else
  g->SetBundleID(QUORVEX_BUNDLE_IDENT);
#endif
#endif
  return g;
}

// ================================================================ layout

void Quorvex2::BuildEditor()
{
  // Freed when building it throws; the plug-in owns it once attached.
  std::unique_ptr<IGraphics> editor(MakeQuorvexGraphics(this, kEditorWidth, kEditorHeight, 0));
  IGraphics* g = editor.get();
  g->AddBackground(kImageBackground, QUORVEX_IMG("bg.png"));

  IText text;
  text.SetFontName("Arial");
#if defined(__APPLE__)
  text.mTextSize = 14;
  text.mRenderQuality = IText::kQualityNonAntiAliased;
#else
  text.mTextSize = 16;
  text.mRenderQuality = IText::kQualityDefault;
#endif
  text.mTextColor = IColor(230, 255, 255, 255);
  text.mFontStyle = IText::kStyleNormal;
  // Each control centres its own copy before drawing.
  text.mAlignment = IText::kAlignNear;
  text.mAngle = 0;
  text.mFontObject = nullptr;

  IBitmap rate = g->LoadBitmapResource(kImageRateKnob, QUORVEX_IMG("knob.png"), 25);
  g->AddControl(
      new IKnobMulti(this, kDelayRate, 88, 118, &rate, &text, 15, 4.0, 0, IKnobControl::DirVertical));

  IBitmap radio = g->LoadBitmapResource(kImageRadio, QUORVEX_IMG("radio.png"), 5);
  g->AddControl(new IRadioButtons(this, kPingPong, 140, 75, &radio, true, 0, 0, 0, 0));

  IBitmap small = g->LoadBitmapResource(kImageSmallKnob, QUORVEX_IMG("knob2.png"), 2);
  g->AddControl(new IKnobRotVal(this, kPanWidth, 279, 130, &small, &text, 13, 300, 4.0, 0,
                                IKnobControl::DirVertical, 1.0f));
  g->AddControl(new IKnobRotVal(this, kFeedback, 379, 130, &small, &text, 13, 300, 4.0, 0,
                                IKnobControl::DirVertical, 1.0f));

  const IColor bar(255, 66, 110, 170);
  IBitmap handle = g->LoadBitmapResource(kImageSliderHandle, QUORVEX_IMG("slider.png"), 1);
  IRECT dry(434, 82, 472, 183);
  g->AddControl(new ISlider(this, kDryMix, &dry, &handle, &text, 84, false, bar, 10, 1));
  // The cache hands back the same image.
  handle = g->LoadBitmapResource(kImageSliderHandle, QUORVEX_IMG("slider.png"), 1);
  IRECT wet(478, 82, 516, 183);
  g->AddControl(new ISlider(this, kWetMix, &wet, &handle, &text, 84, false, bar, 10, 1));

  g->AddControl(new IURLControl(this, IRECT(175, 6, 367, 53), kQuorvexPluginURL, kQuorvexHomeURL, nullptr));

  AttachEditor(editor.release());
}

/* Stand-in declarations of the Core Text calls this tree makes, for compile
 * checks without Apple's SDK (tools/scripts/build-macos-standin.sh).
 * Constants and behaviour are checked only by a build on a Mac. */
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __CTFont* CTFontRef;
typedef const struct __CTLine* CTLineRef;
typedef uint32_t CTFontUIFontType;

enum
{
  kCTFontUIFontLabel = 10
};

extern const CFStringRef kCTFontAttributeName;
extern const CFStringRef kCTForegroundColorFromContextAttributeName;

CTFontRef CTFontCreateWithName(CFStringRef name, CGFloat size, const CGAffineTransform* matrix);
CTFontRef CTFontCreateUIFontForLanguage(CTFontUIFontType uiType, CGFloat size, CFStringRef language);
CFStringRef CTFontCopyPostScriptName(CTFontRef font);
CGFloat CTFontGetAscent(CTFontRef font);
CGFloat CTFontGetDescent(CTFontRef font);
CGFloat CTFontGetLeading(CTFontRef font);

CTLineRef CTLineCreateWithAttributedString(CFAttributedStringRef attrString);
double CTLineGetTypographicBounds(CTLineRef line, CGFloat* ascent, CGFloat* descent, CGFloat* leading);
void CTLineDraw(CTLineRef line, CGContextRef context);

#ifdef __cplusplus
}
#endif

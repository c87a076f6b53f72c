/* Stand-in declarations of the CoreGraphics calls this tree makes, for
 * compile checks without Apple's SDK (tools/scripts/build-macos-standin.sh).
 * Constants and behaviour are checked only by a build on a Mac. */
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double CGFloat;

typedef struct CGPoint
{
  CGFloat x, y;
} CGPoint;

typedef struct CGSize
{
  CGFloat width, height;
} CGSize;

typedef struct CGRect
{
  CGPoint origin;
  CGSize size;
} CGRect;

typedef struct CGAffineTransform
{
  CGFloat a, b, c, d, tx, ty;
} CGAffineTransform;

typedef struct CGContext* CGContextRef;
typedef struct CGColorSpace* CGColorSpaceRef;
typedef uint32_t CGBitmapInfo;
typedef uint32_t CGDirectDisplayID;

enum
{
  kCGImageAlphaNoneSkipFirst = 6
};
enum
{
  kCGBitmapByteOrder32Big = 4 << 12
};

static inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
  CGRect r;
  r.origin.x = x;
  r.origin.y = y;
  r.size.width = width;
  r.size.height = height;
  return r;
}

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, uint32_t bitmapInfo);
void CGContextRelease(CGContextRef c);

CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void);
void CGColorSpaceRelease(CGColorSpaceRef space);
CGDirectDisplayID CGMainDisplayID(void);
CGColorSpaceRef CGDisplayCopyColorSpace(CGDirectDisplayID display);

void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
void CGContextClipToRect(CGContextRef c, CGRect rect);
void CGContextSetShouldAntialias(CGContextRef c, bool shouldAntialias);
void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t);
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y);

#ifdef __cplusplus
}
#endif

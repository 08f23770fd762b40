// The graphics library that decodes and draws the background picture (GDI+
// flat interface on Windows): start-up, shutdown, a picture decoded from bytes
// held in memory, and drawing it while a window paints, directly or through a
// bitmap it was drawn into once.
#pragma once
#include <cstdint>
#include <memory>

#include "platform/dialogs.h"

namespace platform {

class Picture {
 public:
  virtual ~Picture() = default;
  virtual std::uint32_t Height() const = 0;
  virtual std::uint32_t Width() const = 0;
};

// A picture already drawn at one size into a bitmap of the display's format
// (a memory bitmap on Windows), kept to copy parts of it to the window.
class DrawnPicture {
 public:
  virtual ~DrawnPicture() = default;
};

// The dots per inch at which Windows draws unscaled: 100 % display scale.
constexpr int kDefaultDpi = 96;

class PaintContext {
 public:
  virtual ~PaintContext() = default;
  // The window's client area in pixels, and the dots per inch of the display
  // it is on. A context that knows neither reports 0 x 0 at 96 dpi.
  virtual int ClientWidth() const { return 0; }
  virtual int ClientHeight() const { return 0; }
  virtual int Dpi() const { return kDefaultDpi; }
  // The part of the client area this paint covers (BeginPaint's rectangle);
  // the whole client area unless told otherwise.
  virtual Rect PaintRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }
  // Leaves `area` out of what this paint draws (ExcludeClipRect): where a
  // child control lies, which paints itself.
  virtual void ExcludeFromPaint(const Rect& area) = 0;
  // Draws the picture with its top-left corner at (x, y), width x height.
  virtual void DrawPicture(const Picture& picture, int x, int y, int width, int height) = 0;
  // Draws the picture, width x height, into a new bitmap of that size;
  // nullptr when the bitmap cannot be made.
  virtual std::unique_ptr<DrawnPicture> DrawIntoBitmap(const Picture& picture, int width,
                                                       int height) = 0;
  // Copies `area` of a bitmap whose top-left corner lies at the client
  // area's, to the same place in the window.
  virtual void CopyFromBitmap(const DrawnPicture& bitmap, const Rect& area) = 0;
};

class Graphics {
 public:
  virtual ~Graphics() = default;
  // GdiplusStartup / GdiplusShutdown. The token is opaque.
  virtual std::uintptr_t Startup() = 0;
  virtual void Shutdown(std::uintptr_t token) = 0;
  // Copies the bytes into a fixed memory block, opens a stream on it that does
  // not free it, and decodes an image from the stream (without embedded colour
  // management). nullptr when the image object cannot be made or the bytes do
  // not decode. The block stays allocated for the rest of the run.
  virtual Picture* CreatePicture(const std::uint8_t* bytes, std::uint32_t size) = 0;
};

}  // namespace platform

// The graphics library that decodes and draws the background picture (GDI+
// flat interface on Windows): start-up, shutdown, a picture decoded from bytes
// held in memory, and drawing it while a window paints.
#pragma once
#include <cstdint>
#include <memory>

namespace platform {

class Picture {
 public:
  virtual ~Picture() = default;
  virtual std::uint32_t Height() const = 0;
  virtual std::uint32_t Width() const = 0;
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
  // Draws the picture with its top-left corner at (x, y), width x height.
  virtual void DrawPicture(const Picture& picture, int x, int y, int width, int height) = 0;
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

// The graphics library of the simulated machine: knows a PNG's size from its
// header without decoding it, and records what the program draws (directly
// or into a bitmap) and what it copies from a bitmap.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graphics.h"

namespace sim {

// Width and height from the IHDR chunk of a PNG; false when the bytes are not
// a PNG with a complete IHDR of nonzero size.
bool ReadPngSize(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t* width,
                 std::uint32_t* height);

// The window a paint context paints: its client area in pixels and the
// dots per inch of its display.
struct PaintSurface {
  int clientWidth = 0;
  int clientHeight = 0;
  int dpi = platform::kDefaultDpi;
};

struct DrawCall {
  const platform::Picture* picture = nullptr;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// A paint context that draws nothing and knows nothing of its window: the
// platform's defaults, 0 x 0 at 96 dpi. For a desktop without graphics.
class NullPaintContext : public platform::PaintContext {
 public:
  void ExcludeFromPaint(const platform::Rect&) override {}
  void DrawPicture(const platform::Picture&, int, int, int, int) override {}
  std::unique_ptr<platform::DrawnPicture> DrawIntoBitmap(const platform::Picture&, int,
                                                         int) override {
    return nullptr;
  }
  void CopyFromBitmap(const platform::DrawnPicture&, const platform::Rect&) override {}
};

class HeadlessGraphics : public platform::Graphics {
 public:
  std::uintptr_t Startup() override;
  void Shutdown(std::uintptr_t token) override;
  // nullptr when the library is not started or the bytes are not a PNG.
  platform::Picture* CreatePicture(const std::uint8_t* bytes, std::uint32_t size) override;

  // A paint context whose draws are recorded here (the desktop's OnPaint),
  // covering `paint` or, when null, the whole client area.
  std::unique_ptr<platform::PaintContext> NewPaintContext(const platform::Rect* paint = nullptr);

  // Paint contexts made from now on report this surface (0 x 0 at 96 dpi
  // until set).
  void SetPaintSurface(const PaintSurface& surface);

  // The next Startup fails (returns token 0 and leaves the library stopped).
  void FailStartup(bool fail);
  int Startups() const;
  int Shutdowns() const;
  bool Started() const;
  // Pictures drawn, directly or into a bitmap, and the last of them.
  int DrawCount() const;
  DrawCall LastDraw() const;
  // Copies from a bitmap to a window, and the area of the last one.
  int CopyCount() const;
  platform::Rect LastCopy() const;
  // Bitmaps drawn into and not yet released when the library was shut down.
  int BitmapsAtShutdown() const;
  // What the last paint context made left out of its paint.
  std::vector<platform::Rect> LastPaintExclusions() const;

 private:
  friend class HeadlessPaintContext;
  void RecordDraw(const DrawCall& call);
  void RecordCopy(const platform::Rect& area);
  void RecordExclusion(const platform::Rect& area);

  mutable std::mutex mutex_;
  PaintSurface surface_;
  bool failStartup_ = false;
  bool started_ = false;
  int startups_ = 0;
  int shutdowns_ = 0;
  int draws_ = 0;
  DrawCall last_;
  int copies_ = 0;
  platform::Rect lastCopy_;
  std::vector<platform::Rect> exclusions_;
  std::shared_ptr<std::atomic<int>> bitmapsAlive_ = std::make_shared<std::atomic<int>>(0);
  int bitmapsAtShutdown_ = -1;
  std::vector<std::unique_ptr<platform::Picture>> pictures_;  // kept for the run
};

}  // namespace sim

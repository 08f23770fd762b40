// The graphics library of the simulated machine: knows a PNG's size from its
// header without decoding it, and records what the program draws.
#pragma once
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

class HeadlessGraphics : public platform::Graphics {
 public:
  std::uintptr_t Startup() override;
  void Shutdown(std::uintptr_t token) override;
  // nullptr when the library is not started or the bytes are not a PNG.
  platform::Picture* CreatePicture(const std::uint8_t* bytes, std::uint32_t size) override;

  // A paint context whose draws are recorded here (the desktop's OnPaint).
  std::unique_ptr<platform::PaintContext> NewPaintContext();

  // Paint contexts made from now on report this surface (0 x 0 at 96 dpi
  // until set).
  void SetPaintSurface(const PaintSurface& surface);

  // The next Startup fails (returns token 0 and leaves the library stopped).
  void FailStartup(bool fail);
  int Startups() const;
  int Shutdowns() const;
  bool Started() const;
  int DrawCount() const;
  DrawCall LastDraw() const;

 private:
  friend class HeadlessPaintContext;
  void RecordDraw(const DrawCall& call);

  mutable std::mutex mutex_;
  PaintSurface surface_;
  bool failStartup_ = false;
  bool started_ = false;
  int startups_ = 0;
  int shutdowns_ = 0;
  int draws_ = 0;
  DrawCall last_;
  std::vector<std::unique_ptr<platform::Picture>> pictures_;  // kept for the run
};

}  // namespace sim

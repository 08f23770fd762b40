// Headless graphics: PNG size from the header, the surface a paint context
// reports, recorded draws and copies.
#include "sim/desktop/headless_graphics.h"

#include <utility>

namespace sim {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kIhdrLength = 13;
// Signature, chunk length and type, the IHDR data and its CRC.
constexpr std::uint32_t kMinPngSize = 8 + 8 + kIhdrLength + 4;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

class HeadlessPicture : public platform::Picture {
 public:
  HeadlessPicture(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {}
  std::uint32_t Height() const override { return height_; }
  std::uint32_t Width() const override { return width_; }

 private:
  std::uint32_t width_;
  std::uint32_t height_;
};

// Counts itself among the bitmaps alive while it lives.
class HeadlessBitmap : public platform::DrawnPicture {
 public:
  explicit HeadlessBitmap(std::shared_ptr<std::atomic<int>> alive) : alive_(std::move(alive)) {
    ++*alive_;
  }
  ~HeadlessBitmap() override { --*alive_; }
  HeadlessBitmap(const HeadlessBitmap&) = delete;
  HeadlessBitmap& operator=(const HeadlessBitmap&) = delete;

 private:
  std::shared_ptr<std::atomic<int>> alive_;
};

}  // namespace

class HeadlessPaintContext : public platform::PaintContext {
 public:
  HeadlessPaintContext(HeadlessGraphics* graphics, const PaintSurface& surface,
                       const platform::Rect& paint)
      : graphics_(graphics), surface_(surface), paint_(paint) {}
  int ClientWidth() const override { return surface_.clientWidth; }
  int ClientHeight() const override { return surface_.clientHeight; }
  int Dpi() const override { return surface_.dpi; }
  platform::Rect PaintRect() const override { return paint_; }
  void ExcludeFromPaint(const platform::Rect& area) override { graphics_->RecordExclusion(area); }
  void DrawPicture(const platform::Picture& picture, int x, int y, int width,
                   int height) override {
    graphics_->RecordDraw({&picture, x, y, width, height});
  }
  std::unique_ptr<platform::DrawnPicture> DrawIntoBitmap(const platform::Picture& picture,
                                                         int width, int height) override {
    graphics_->RecordDraw({&picture, 0, 0, width, height});
    return std::make_unique<HeadlessBitmap>(graphics_->bitmapsAlive_);
  }
  void CopyFromBitmap(const platform::DrawnPicture& /*bitmap*/,
                      const platform::Rect& area) override {
    graphics_->RecordCopy(area);
  }

 private:
  HeadlessGraphics* graphics_;
  PaintSurface surface_;
  platform::Rect paint_;
};

bool ReadPngSize(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t* width,
                 std::uint32_t* height) {
  if (bytes == nullptr || size < kMinPngSize) return false;
  for (std::uint32_t i = 0; i < 8; ++i) {
    if (bytes[i] != kPngSignature[i]) return false;
  }
  if (BigEndian32(bytes + 8) != kIhdrLength) return false;
  if (bytes[12] != 'I' || bytes[13] != 'H' || bytes[14] != 'D' || bytes[15] != 'R') return false;
  const std::uint32_t w = BigEndian32(bytes + 16);
  const std::uint32_t h = BigEndian32(bytes + 20);
  if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return false;
  *width = w;
  *height = h;
  return true;
}

std::uintptr_t HeadlessGraphics::Startup() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++startups_;
  if (failStartup_) return 0;
  started_ = true;
  return static_cast<std::uintptr_t>(startups_);
}

void HeadlessGraphics::Shutdown(std::uintptr_t /*token*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++shutdowns_;
  started_ = false;
  bitmapsAtShutdown_ = bitmapsAlive_->load();
}

platform::Picture* HeadlessGraphics::CreatePicture(const std::uint8_t* bytes,
                                                   std::uint32_t size) {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_ || !ReadPngSize(bytes, size, &width, &height)) return nullptr;
  pictures_.push_back(std::make_unique<HeadlessPicture>(width, height));
  return pictures_.back().get();
}

std::unique_ptr<platform::PaintContext> HeadlessGraphics::NewPaintContext(
    const platform::Rect* paint) {
  std::lock_guard<std::mutex> lock(mutex_);
  const platform::Rect whole = {0, 0, surface_.clientWidth, surface_.clientHeight};
  exclusions_.clear();
  return std::make_unique<HeadlessPaintContext>(this, surface_, paint != nullptr ? *paint : whole);
}

void HeadlessGraphics::SetPaintSurface(const PaintSurface& surface) {
  std::lock_guard<std::mutex> lock(mutex_);
  surface_ = surface;
}

void HeadlessGraphics::FailStartup(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  failStartup_ = fail;
}

int HeadlessGraphics::Startups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return startups_;
}

int HeadlessGraphics::Shutdowns() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shutdowns_;
}

bool HeadlessGraphics::Started() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_;
}

int HeadlessGraphics::DrawCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return draws_;
}

DrawCall HeadlessGraphics::LastDraw() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}

int HeadlessGraphics::BitmapsAtShutdown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bitmapsAtShutdown_;
}

int HeadlessGraphics::CopyCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return copies_;
}

platform::Rect HeadlessGraphics::LastCopy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastCopy_;
}

std::vector<platform::Rect> HeadlessGraphics::LastPaintExclusions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return exclusions_;
}

void HeadlessGraphics::RecordExclusion(const platform::Rect& area) {
  std::lock_guard<std::mutex> lock(mutex_);
  exclusions_.push_back(area);
}

void HeadlessGraphics::RecordCopy(const platform::Rect& area) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++copies_;
  lastCopy_ = area;
}

void HeadlessGraphics::RecordDraw(const DrawCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++draws_;
  last_ = call;
}

}  // namespace sim

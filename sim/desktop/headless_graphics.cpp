// Headless graphics: PNG size from the header, the surface a paint context
// reports, recorded draws.
#include "sim/desktop/headless_graphics.h"

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

}  // namespace

class HeadlessPaintContext : public platform::PaintContext {
 public:
  HeadlessPaintContext(HeadlessGraphics* graphics, const PaintSurface& surface)
      : graphics_(graphics), surface_(surface) {}
  int ClientWidth() const override { return surface_.clientWidth; }
  int ClientHeight() const override { return surface_.clientHeight; }
  int Dpi() const override { return surface_.dpi; }
  void DrawPicture(const platform::Picture& picture, int x, int y, int width,
                   int height) override {
    graphics_->RecordDraw({&picture, x, y, width, height});
  }

 private:
  HeadlessGraphics* graphics_;
  PaintSurface surface_;
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

std::unique_ptr<platform::PaintContext> HeadlessGraphics::NewPaintContext() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::make_unique<HeadlessPaintContext>(this, surface_);
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

void HeadlessGraphics::RecordDraw(const DrawCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++draws_;
  last_ = call;
}

}  // namespace sim

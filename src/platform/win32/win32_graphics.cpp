// GDI+ through its flat interface: start-up and shutdown, a picture decoded
// from a copy of the bytes in a fixed memory block, drawing while painting
// (at its own size, or resampled on a scaled display) directly or into a
// memory bitmap, and copying from such a bitmap.
#include "platform/win32/win32_internal.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "platform/win32/win32_dialogs.h"

namespace win32 {
using platform::Graphics;
using platform::PaintContext;
using platform::Picture;
namespace {

namespace gdip = Gdiplus::DllExports;

class GdiPicture : public Picture {
 public:
  explicit GdiPicture(Gdiplus::GpImage* image) : image_(image) {}
  // The image is never disposed of: it may outlive the library's shutdown.
  std::uint32_t Height() const override {
    UINT height = 0;
    gdip::GdipGetImageHeight(image_, &height);
    return height;
  }
  std::uint32_t Width() const override {
    UINT width = 0;
    gdip::GdipGetImageWidth(image_, &width);
    return width;
  }
  Gdiplus::GpImage* Image() const { return image_; }

 private:
  Gdiplus::GpImage* image_;
};

// The window's dots per inch: GetDpiForWindow where the system has it
// (Windows 10 1607 and later, which follow each monitor's scale), otherwise
// the system's dots per inch from the device context.
int WindowDpi(HWND hwnd, HDC dc) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr) return static_cast<int>(getDpiForWindow(hwnd));
  return GetDeviceCaps(dc, LOGPIXELSX);
}

// GDI+ drawing on one device context (the window's, or a memory bitmap's).
class GdiDrawing {
 public:
  explicit GdiDrawing(HDC dc) { gdip::GdipCreateFromHDC(dc, &graphics_); }
  ~GdiDrawing() {
    if (graphics_ != nullptr) gdip::GdipDeleteGraphics(graphics_);
  }
  GdiDrawing(const GdiDrawing&) = delete;
  GdiDrawing& operator=(const GdiDrawing&) = delete;

  void Draw(const Picture& picture, int x, int y, int width, int height) {
    const auto* gdiPicture = dynamic_cast<const GdiPicture*>(&picture);
    if (gdiPicture == nullptr || graphics_ == nullptr) return;
    const bool ownSize = width == static_cast<int>(picture.Width()) &&
                         height == static_cast<int>(picture.Height());
    if (ownSize) {
      gdip::GdipDrawImageRectI(graphics_, gdiPicture->Image(), x, y, width, height);
    } else {
      DrawStretched(gdiPicture, x, y, width, height);
    }
  }

 private:
  // Bicubic resampling, with the picture's edge pixels mirrored outwards so
  // that the filter does not blend the window's border with transparency.
  void DrawStretched(const GdiPicture* picture, int x, int y, int width, int height) {
    gdip::GdipSetInterpolationMode(graphics_, Gdiplus::InterpolationModeHighQualityBicubic);
    gdip::GdipSetPixelOffsetMode(graphics_, Gdiplus::PixelOffsetModeHighQuality);
    Gdiplus::GpImageAttributes* attributes = nullptr;
    gdip::GdipCreateImageAttributes(&attributes);
    if (attributes != nullptr) {
      gdip::GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
    }
    gdip::GdipDrawImageRectRectI(graphics_, picture->Image(), x, y, width, height, 0, 0,
                                 static_cast<INT>(picture->Width()),
                                 static_cast<INT>(picture->Height()), Gdiplus::UnitPixel,
                                 attributes, nullptr, nullptr);
    if (attributes != nullptr) gdip::GdipDisposeImageAttributes(attributes);
  }

  Gdiplus::GpGraphics* graphics_ = nullptr;
};

// A bitmap of the window's format, selected into a memory device context of
// its own for as long as it lives.
class GdiBitmap : public platform::DrawnPicture {
 public:
  GdiBitmap(HDC windowDc, int width, int height)
      : dc_(CreateCompatibleDC(windowDc)), bitmap_(CreateCompatibleBitmap(windowDc, width, height)) {
    if (dc_ != nullptr && bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~GdiBitmap() override {
    if (old_ != nullptr) SelectObject(dc_, old_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;

  bool Valid() const { return old_ != nullptr; }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_ = nullptr;
};

class GdiPaintContext : public PaintContext {
 public:
  GdiPaintContext(HWND hwnd, HDC dc, const RECT& paint)
      : dc_(dc), paint_(paint), dpi_(WindowDpi(hwnd, dc)) {
    GetClientRect(hwnd, &client_);
  }

  int ClientWidth() const override { return client_.right - client_.left; }
  int ClientHeight() const override { return client_.bottom - client_.top; }
  int Dpi() const override { return dpi_; }
  platform::Rect PaintRect() const override {
    return {paint_.left, paint_.top, paint_.right, paint_.bottom};
  }

  void ExcludeFromPaint(const platform::Rect& area) override {
    ExcludeClipRect(dc_, area.left, area.top, area.right, area.bottom);
  }

  void DrawPicture(const Picture& picture, int x, int y, int width, int height) override {
    GdiDrawing(dc_).Draw(picture, x, y, width, height);
  }

  // Under the picture's transparent pixels lies the dialog's own face colour,
  // as when it is drawn over the erased window.
  std::unique_ptr<platform::DrawnPicture> DrawIntoBitmap(const Picture& picture, int width,
                                                         int height) override {
    auto bitmap = std::make_unique<GdiBitmap>(dc_, width, height);
    if (!bitmap->Valid()) return nullptr;
    const RECT all = {0, 0, width, height};
    FillRect(bitmap->Dc(), &all, GetSysColorBrush(COLOR_3DFACE));
    GdiDrawing(bitmap->Dc()).Draw(picture, 0, 0, width, height);
    return bitmap;
  }

  void CopyFromBitmap(const platform::DrawnPicture& bitmap, const platform::Rect& area) override {
    const auto* gdiBitmap = dynamic_cast<const GdiBitmap*>(&bitmap);
    if (gdiBitmap == nullptr) return;
    BitBlt(dc_, area.left, area.top, area.right - area.left, area.bottom - area.top,
           gdiBitmap->Dc(), area.left, area.top, SRCCOPY);
  }

 private:
  HDC dc_;
  RECT paint_;
  RECT client_ = {};
  int dpi_;
};

class GdiGraphics : public Graphics {
 public:
  std::uintptr_t Startup() override {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    return token;
  }

  void Shutdown(std::uintptr_t token) override { Gdiplus::GdiplusShutdown(token); }

  Picture* CreatePicture(const std::uint8_t* bytes, std::uint32_t size) override {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);  // stays allocated for the run
    if (block == nullptr) return nullptr;
    std::memcpy(GlobalLock(block), bytes, size);
    IStream* stream = nullptr;
    Gdiplus::GpImage* image = nullptr;
    if (CreateStreamOnHGlobal(block, FALSE, &stream) == S_OK) {
      gdip::GdipLoadImageFromStream(stream, &image);
      stream->Release();
    }
    GlobalUnlock(block);
    if (image == nullptr) return nullptr;
    pictures_.push_back(std::make_unique<GdiPicture>(image));
    return pictures_.back().get();
  }

 private:
  std::vector<std::unique_ptr<GdiPicture>> pictures_;
};

}  // namespace

std::unique_ptr<PaintContext> MakePaintContext(HWND hwnd, HDC dc, const RECT& paint) {
  return std::make_unique<GdiPaintContext>(hwnd, dc, paint);
}

std::unique_ptr<Graphics> MakeGraphics() { return std::make_unique<GdiGraphics>(); }

}  // namespace win32

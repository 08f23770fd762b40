// The background picture's choice for the window's size and scale, and the
// bitmap it is drawn into once and copied from on every paint.
#include "ui/background.h"

#include <algorithm>
#include <utility>

namespace {

bool Covers(const platform::Picture& picture, int width, int height) {
  return static_cast<long long>(picture.Width()) >= width &&
         static_cast<long long>(picture.Height()) >= height;
}

platform::Rect Intersection(const platform::Rect& a, const platform::Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

}  // namespace

BackgroundPlacement ChooseBackground(const std::vector<const platform::Picture*>& pictures,
                                     int clientWidth, int clientHeight, int dpi) {
  const platform::Picture* base = pictures.empty() ? nullptr : pictures.front();
  if (base == nullptr) return {};
  const bool scaled = dpi != platform::kDefaultDpi && clientWidth > 0 && clientHeight > 0;
  if (!scaled) {
    return {base, static_cast<int>(base->Width()), static_cast<int>(base->Height())};
  }
  const platform::Picture* smallestCovering = nullptr;
  const platform::Picture* largest = nullptr;
  for (const platform::Picture* picture : pictures) {
    if (picture == nullptr) continue;
    if (largest == nullptr || picture->Width() > largest->Width()) largest = picture;
    if (Covers(*picture, clientWidth, clientHeight) &&
        (smallestCovering == nullptr || picture->Width() < smallestCovering->Width())) {
      smallestCovering = picture;
    }
  }
  return {smallestCovering != nullptr ? smallestCovering : largest, clientWidth, clientHeight};
}

void CBackground::SetPictures(std::vector<const platform::Picture*> pictures) {
  m_pictures = std::move(pictures);
  Release();
}

void CBackground::Paint(platform::PaintContext& dc, const ControlPlaces& controls) {
  const Surface surface{dc.ClientWidth(), dc.ClientHeight(), dc.Dpi()};
  if (!m_bDrawn || !(surface == m_surface)) Draw(dc, surface, controls);
  for (const platform::Rect& control : m_rcControls) dc.ExcludeFromPaint(control);
  const BackgroundPlacement& placed = m_placement;
  if (placed.picture == nullptr) return;
  if (m_pBitmap == nullptr) {
    // No memory for the bitmap: the picture is drawn as it is, every time.
    dc.DrawPicture(*placed.picture, 0, 0, placed.width, placed.height);
    return;
  }
  const platform::Rect area = Intersection(dc.PaintRect(), {0, 0, placed.width, placed.height});
  if (area.right > area.left && area.bottom > area.top) dc.CopyFromBitmap(*m_pBitmap, area);
}

void CBackground::Draw(platform::PaintContext& dc, const Surface& surface,
                       const ControlPlaces& controls) {
  m_pBitmap.reset();
  m_rcControls = controls();
  m_placement = ChooseBackground(m_pictures, surface.width, surface.height, surface.dpi);
  if (m_placement.picture != nullptr) {
    m_pBitmap = dc.DrawIntoBitmap(*m_placement.picture, m_placement.width, m_placement.height);
  }
  m_surface = surface;
  m_bDrawn = true;
}

void CBackground::Release() {
  m_pBitmap.reset();
  m_bDrawn = false;
}

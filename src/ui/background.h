// The main window's background: the picture drawn for 96 dpi (resource 297)
// and the same art drawn at two and three times its size for scaled
// displays; which of them is drawn, and how large, for the window's client
// area and scale; and the bitmap it is drawn into once, from which every
// paint copies only the part it covers.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics.h"

struct BackgroundPlacement {
  const platform::Picture* picture = nullptr;  // none: nothing is drawn
  int width = 0;  // drawn from the client area's top-left corner
  int height = 0;
};

// `pictures`: the 96-dpi picture, then the larger ones (nullptr if unusable).
// At 96 dpi, or with no client area known, the first at its own size; on a
// scaled display the client area is covered by the smallest picture that is
// large enough (only scaled down, so it stays sharp), or else by the largest.
BackgroundPlacement ChooseBackground(const std::vector<const platform::Picture*>& pictures,
                                     int clientWidth, int clientHeight, int dpi);

class CBackground {
 public:
  void SetPictures(std::vector<const platform::Picture*> pictures);
  // The places of the window's shown controls, which paint themselves.
  using ControlPlaces = std::function<std::vector<platform::Rect>()>;
  // Draws the chosen picture into a bitmap, and takes the controls' places,
  // when there are none yet for the window's client size and scale (the
  // dialog manager moves the controls with the scale); then copies the part
  // this paint covers, leaving out the controls.
  void Paint(platform::PaintContext& dc, const ControlPlaces& controls);
  // The window is destroyed: its bitmap goes with it.
  void Release();

 private:
  struct Surface {
    int width = 0;
    int height = 0;
    int dpi = 0;
    bool operator==(const Surface& other) const {
      return width == other.width && height == other.height && dpi == other.dpi;
    }
  };
  void Draw(platform::PaintContext& dc, const Surface& surface, const ControlPlaces& controls);

  std::vector<const platform::Picture*> m_pictures;
  bool m_bDrawn = false;
  Surface m_surface;
  BackgroundPlacement m_placement;
  std::unique_ptr<platform::DrawnPicture> m_pBitmap;
  std::vector<platform::Rect> m_rcControls;
};

// Where the main dialog's controls go, for the DPI of the monitor it is on: the pixel layout of
// the licence page at 100 % display scale, every number scaled alike at other scales, and a
// window that is shortened to fit its screen by shortening the licence text box alone.
#pragma once

#include <array>

#include "bootstrap/view/control_ids.h"  // the resource ids only

namespace qv::bootstrap {

struct PagePixels {
  int width = 0;
  int height = 0;
};

// The outer window of the licence page (420 x 410 at 96 DPI) or of the progress page (420 x 180),
// scaled, and no larger than the work area (a size of 0 there means no limit).
PagePixels LicencePageWindow(unsigned dpi, PagePixels workArea);
PagePixels ProgressPageWindow(unsigned dpi, PagePixels workArea);

struct ControlPlacement {
  int id = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct PageMetrics {
  unsigned dpi = 96;
  PagePixels client;           // the window's client area as laid out
  int leftPictureWidth = 0;    // of the header pictures as shown at this scale
  int rightPictureWidth = 0;
  int shortenedBy = 0;         // how much the window lost to fit its work area, in pixels
};

// Every control of the main dialog in the order it is placed; a control placed below another
// starts from that one's bottom. The licence text box is shorter by `shortenedBy` (to at least a
// few lines), so the buttons still sit at the bottom of a shortened window.
constexpr int kMainDialogControls = 14;
using MainDialogPlacements = std::array<ControlPlacement, kMainDialogControls>;
MainDialogPlacements PlaceMainDialogControls(const PageMetrics& metrics);

// The main dialog's controls in the order of their windows, which is the order the keyboard's
// Tab key visits them and the order in which a screen reader takes a text to be the label of the
// control after it: the licence hint names the licence text, the status line names the bar.
const std::array<int, kMainDialogControls>& MainDialogControlOrder();

}  // namespace qv::bootstrap

// The main dialog's layout arithmetic.
#include "bootstrap/core/page_layout.h"

#include <algorithm>

#include "common/core/display_scale.h"

namespace qv::bootstrap {

namespace {

constexpr int kPageWidth = 420;
constexpr int kLicencePageHeight = 410;
constexpr int kProgressPageHeight = 180;
constexpr int kLicenceTextHeight = 150;
constexpr int kShortestLicenceText = 48;  // three lines of the page's text

int Within(int wanted, int limit) { return limit > 0 ? std::min(wanted, limit) : wanted; }

}  // namespace

PagePixels LicencePageWindow(unsigned dpi, PagePixels workArea) {
  return {Within(ScaleForDpi(kPageWidth, dpi), workArea.width),
          Within(ScaleForDpi(kLicencePageHeight, dpi), workArea.height)};
}

PagePixels ProgressPageWindow(unsigned dpi, PagePixels workArea) {
  return {Within(ScaleForDpi(kPageWidth, dpi), workArea.width),
          Within(ScaleForDpi(kProgressPageHeight, dpi), workArea.height)};
}

MainDialogPlacements PlaceMainDialogControls(const PageMetrics& m) {
  auto s = [&](int pixels) { return ScaleForDpi(pixels, m.dpi); };
  const int W = m.client.width, H = m.client.height;
  const int margin = s(20), inner = W - s(40), buttonWidth = s(100), buttonHeight = s(25);
  const int licenceText = std::max(s(kLicenceTextHeight) - std::max(m.shortenedBy, 0),
                                   std::min(s(kShortestLicenceText), s(kLicenceTextHeight)));
  MainDialogPlacements placed{};
  int count = 0, bottom = 0;
  auto place = [&](int id, int x, int y, int width, int height) {
    placed[static_cast<size_t>(count++)] = {id, x, y, width, height};
    bottom = y + height;
  };
  place(kIdHeaderStrip, 0, 0, W, s(45));
  place(kIdLeftPicture, margin, s(5), m.leftPictureWidth, s(40));
  place(kIdRightPicture, W - margin - m.rightPictureWidth, s(5), m.rightPictureWidth, s(40));
  place(kIdQuestion, margin, s(50), inner, s(40));
  place(kIdStatus, margin, s(60), inner, s(20));
  place(kIdLicenceHeading, margin, bottom + s(10), inner, s(20));
  place(kIdLicenceHint, margin, bottom + s(1), inner, s(20));
  place(kIdLicenceText, margin, bottom + s(5), inner, licenceText);
  place(kIdAccept, margin, bottom + s(5), inner, s(20));
  place(kIdDecline, margin, bottom + s(1), inner, s(20));
  place(kIdYes, margin, H - s(40), buttonWidth, buttonHeight);
  place(kIdNo, W - s(120), H - s(40), buttonWidth, buttonHeight);
  place(kIdCancel, W - s(120), H - s(40), buttonWidth, buttonHeight);
  place(kIdProgress, margin, s(82), inner, s(15));
  return placed;
}

const std::array<int, kMainDialogControls>& MainDialogControlOrder() {
  static constexpr std::array<int, kMainDialogControls> order = {
      kIdHeaderStrip, kIdLeftPicture, kIdRightPicture, kIdQuestion, kIdLicenceHeading, kIdLicenceHint, kIdLicenceText,
      kIdAccept,      kIdDecline,     kIdYes,          kIdNo,       kIdStatus,         kIdProgress,    kIdCancel,
  };
  return order;
}

}  // namespace qv::bootstrap

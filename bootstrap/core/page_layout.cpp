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
  // A licence box shortened to fit the screen moves what is below it up by as much.
  const int licenceText = std::max(s(kLicenceTextHeight) - std::max(m.shortenedBy, 0),
                                   std::min(s(kShortestLicenceText), s(kLicenceTextHeight)));
  const int raised = s(kLicenceTextHeight) - licenceText;
  MainDialogPlacements placed{};
  int count = 0, bottom = 0;
  // A control below another starts from that one's bottom; the chain is added up at 96 DPI and
  // each position then scaled once, so every control sits where its 100 % place scales to.
  auto place = [&](int id, int x, int y, int width, int height, int lift = 0) {
    placed[static_cast<size_t>(count++)] = {id, x, s(y) - lift, width, height};
  };
  auto below = [&](int id, int gap, int height, int lift = 0) {
    bottom += gap;
    place(id, margin, bottom, inner, id == kIdLicenceText ? licenceText : s(height), lift);
    bottom += height;
  };
  place(kIdHeaderStrip, 0, 0, W, s(45));
  place(kIdLeftPicture, margin, 5, m.leftPictureWidth, s(40));
  place(kIdRightPicture, W - margin - m.rightPictureWidth, 5, m.rightPictureWidth, s(40));
  place(kIdQuestion, margin, 50, inner, s(40));
  bottom = 60;
  below(kIdStatus, 0, 20);
  below(kIdLicenceHeading, 10, 20);
  below(kIdLicenceHint, 1, 20);
  below(kIdLicenceText, 5, kLicenceTextHeight);
  below(kIdAccept, 5, 20, raised);
  below(kIdDecline, 1, 20, raised);
  placed[static_cast<size_t>(count++)] = {kIdYes, margin, H - s(40), buttonWidth, buttonHeight};
  placed[static_cast<size_t>(count++)] = {kIdNo, W - s(120), H - s(40), buttonWidth, buttonHeight};
  placed[static_cast<size_t>(count++)] = {kIdCancel, W - s(120), H - s(40), buttonWidth, buttonHeight};
  place(kIdProgress, margin, 82, inner, s(15));
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

// The main dialog's layout: the pixel layout at 100 %, the same layout at every other scale,
// a window shortened to its screen, and the order in which the keyboard visits the controls.
#include "bootstrap/core/page_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

#include "common/core/display_scale.h"

namespace {

using qv::bootstrap::ControlPlacement;
using qv::bootstrap::PageMetrics;
using qv::bootstrap::PagePixels;

std::map<int, ControlPlacement> ById(const qv::bootstrap::MainDialogPlacements& placed) {
  std::map<int, ControlPlacement> byId;
  for (const ControlPlacement& p : placed) byId[p.id] = p;
  return byId;
}

// A window frame of the given thickness at 96 DPI, scaled like the window.
PageMetrics Metrics(unsigned dpi, PagePixels window, int frameWidth, int frameHeight, int shortenedBy = 0) {
  PageMetrics m;
  m.dpi = dpi;
  m.client = {window.width - frameWidth, window.height - frameHeight};
  m.leftPictureWidth = 100 * static_cast<int>(dpi) / 96;
  m.rightPictureWidth = 63 * static_cast<int>(dpi) / 96;
  m.shortenedBy = shortenedBy;
  return m;
}

TEST(MainDialogLayout, AtTheBaseScaleIsThePixelLayoutOfTheLicencePage) {
  const PagePixels window = qv::bootstrap::LicencePageWindow(96, {1024, 738});
  EXPECT_EQ(window.width, 420);
  EXPECT_EQ(window.height, 410);
  const auto p = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(96, window, 6, 29)));
  ASSERT_EQ(p.size(), 14u);  // every control placed once
  const int W = 414, H = 381;
  using Box = std::array<int, 4>;  // x, y, width, height
  auto box = [&](int id) { return Box{p.at(id).x, p.at(id).y, p.at(id).width, p.at(id).height}; };
  EXPECT_EQ(box(1011), (Box{0, 0, W, 45}));
  EXPECT_EQ(box(1012), (Box{20, 5, 100, 40}));
  EXPECT_EQ(box(1013), (Box{W - 20 - 63, 5, 63, 40}));
  EXPECT_EQ(box(1001), (Box{20, 50, W - 40, 40}));
  EXPECT_EQ(box(1005), (Box{20, 60, W - 40, 20}));
  EXPECT_EQ(box(1007), (Box{20, 90, W - 40, 20}));  // below the status line
  EXPECT_EQ(box(1008), (Box{20, 111, W - 40, 20}));
  EXPECT_EQ(box(1015), (Box{20, 136, W - 40, 150}));
  EXPECT_EQ(box(1009), (Box{20, 291, W - 40, 20}));
  EXPECT_EQ(box(1010), (Box{20, 312, W - 40, 20}));
  EXPECT_EQ(box(1002), (Box{20, H - 40, 100, 25}));
  EXPECT_EQ(box(1003), (Box{W - 120, H - 40, 100, 25}));
  EXPECT_EQ(box(1006), (Box{W - 120, H - 40, 100, 25}));
  EXPECT_EQ(box(1004), (Box{20, 82, W - 40, 15}));
  EXPECT_EQ(qv::bootstrap::ProgressPageWindow(96, {}).height, 180);
}

TEST(MainDialogLayout, EveryOtherScaleLaysTheSamePageOutLargerWithNothingOverlappingOrOutside) {
  const auto base = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(96, {420, 410}, 6, 29)));
  for (unsigned dpi : {120u, 144u, 168u, 192u, 288u}) {
    SCOPED_TRACE(dpi);
    const double scale = dpi / 96.0;
    const PagePixels window = qv::bootstrap::LicencePageWindow(dpi, {0, 0});
    EXPECT_EQ(window.width, static_cast<int>(420 * scale + 0.5));
    EXPECT_EQ(window.height, static_cast<int>(410 * scale + 0.5));
    const int frameWidth = static_cast<int>(6 * scale), frameHeight = static_cast<int>(29 * scale);
    const PageMetrics metrics = Metrics(dpi, window, frameWidth, frameHeight);
    const auto placed = qv::bootstrap::PlaceMainDialogControls(metrics);
    const auto p = ById(placed);
    for (const auto& [id, at] : p) {
      SCOPED_TRACE(id);
      const ControlPlacement& was = base.at(id);
      // Every position from the top or left is its 100 % place scaled once (no rounding gathered
      // down the page); those from the right and bottom edges keep their scaled distance to them.
      if (id != 1013 && id != 1003 && id != 1006) EXPECT_EQ(at.x, qv::ScaleForDpi(was.x, dpi));
      if (id != 1002 && id != 1003 && id != 1006) EXPECT_EQ(at.y, qv::ScaleForDpi(was.y, dpi));
      if (id != 1012 && id != 1013) EXPECT_EQ(at.height, qv::ScaleForDpi(was.height, dpi));
      EXPECT_GE(at.x, 0);
      EXPECT_LE(at.x + at.width, metrics.client.width);
      EXPECT_LE(at.y + at.height, metrics.client.height);
    }
    // What the licence page shows, from the top down, never overlaps.
    const int shown[] = {1011, 1001, 1008, 1015, 1009, 1010};
    for (size_t i = 1; i < std::size(shown); ++i) {
      EXPECT_LE(p.at(shown[i - 1]).y + p.at(shown[i - 1]).height, p.at(shown[i]).y) << shown[i];
    }
    EXPECT_LT(p.at(1010).y + p.at(1010).height, p.at(1002).y);
    EXPECT_LT(p.at(1012).x + p.at(1012).width, p.at(1013).x);
    EXPECT_LT(p.at(1002).x + p.at(1002).width, p.at(1003).x);
    // The progress page's bar and its Cancel button fit its shorter window.
    const PagePixels progress = qv::bootstrap::ProgressPageWindow(dpi, {0, 0});
    const auto q = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(dpi, progress, frameWidth, frameHeight)));
    EXPECT_LT(q.at(1004).y + q.at(1004).height, q.at(1006).y);
  }
}

TEST(MainDialogLayout, AWindowTallerThanItsScreenIsShortenedInTheLicenceTextAlone) {
  const PagePixels full = qv::bootstrap::LicencePageWindow(192, {0, 0});
  const PagePixels fitted = qv::bootstrap::LicencePageWindow(192, {1280, 700});
  EXPECT_EQ(fitted.width, full.width);
  EXPECT_EQ(fitted.height, 700);
  const auto tall = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(192, full, 12, 58)));
  const auto p = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(192, fitted, 12, 58, full.height - 700)));
  EXPECT_EQ(p.at(1015).height, tall.at(1015).height - (full.height - 700));
  EXPECT_EQ(p.at(1015).y, tall.at(1015).y);
  EXPECT_EQ(p.at(1009).y, tall.at(1009).y - (full.height - 700));
  EXPECT_LT(p.at(1010).y + p.at(1010).height, p.at(1002).y);
  EXPECT_EQ(p.at(1002).y, 700 - 58 - 80);
  // A screen far too small keeps a licence box of a few lines rather than none.
  const PagePixels tiny = qv::bootstrap::LicencePageWindow(96, {800, 200});
  const auto q = ById(qv::bootstrap::PlaceMainDialogControls(Metrics(96, tiny, 6, 29, 410 - 200)));
  EXPECT_EQ(q.at(1015).height, 48);
}

TEST(MainDialogLayout, TheKeyboardVisitsTheLicenceThenTheAnswersAndEachLabelPrecedesItsControl) {
  const auto& order = qv::bootstrap::MainDialogControlOrder();
  std::vector<int> sorted(order.begin(), order.end());
  std::sort(sorted.begin(), sorted.end());
  const std::vector<int> every = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1015};
  EXPECT_EQ(sorted, every);  // each control once
  const std::vector<int> tabStops = {1015, 1009, 1010, 1002, 1003, 1006};
  std::vector<int> visited;
  for (int id : order) {
    if (std::find(tabStops.begin(), tabStops.end(), id) != tabStops.end()) visited.push_back(id);
  }
  EXPECT_EQ(visited, tabStops);
  auto before = [&](int label, int control) {
    auto at = std::find(order.begin(), order.end(), control);
    return at != order.begin() && *(at - 1) == label;
  };
  EXPECT_TRUE(before(1008, 1015));
  EXPECT_TRUE(before(1005, 1004));
  // The header band comes before its pictures, as the template has it, so they paint over it.
  EXPECT_LT(std::find(order.begin(), order.end(), 1011), std::find(order.begin(), order.end(), 1012));
}

}  // namespace

// Display-scale arithmetic: lengths, fitted font heights and smooth picture reductions.
#include "common/core/display_scale.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

TEST(ScaleForDpi, KeepsTheBaseLayoutAndRoundsOtherScalesToTheNearestPixel) {
  for (int pixels : {0, 1, 12, 45, 410}) EXPECT_EQ(qv::ScaleForDpi(pixels, 96), pixels);
  EXPECT_EQ(qv::ScaleForDpi(12, 0), 12);  // an unknown DPI is the base one
  EXPECT_EQ(qv::ScaleForDpi(410, 192), 820);
  EXPECT_EQ(qv::ScaleForDpi(45, 120), 56);   // 56.25
  EXPECT_EQ(qv::ScaleForDpi(5, 144), 8);     // 7.5 rounds up
  EXPECT_EQ(qv::ScaleForDpi(-5, 144), -8);   // and a negative half away from zero
}

TEST(LargestFittingHeight, TakesTheNominalSizeWhenItFitsElseTheLargestSmallerOne) {
  int asked = 0;
  EXPECT_EQ(qv::LargestFittingHeight(18, 10, [&](int h) { ++asked; return h <= 30; }), 18);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(qv::LargestFittingHeight(18, 10, [](int h) { return h * 13 <= 200; }), 15);
  EXPECT_EQ(qv::LargestFittingHeight(18, 10, [](int) { return false; }), 10);
  EXPECT_EQ(qv::LargestFittingHeight(8, 10, [](int) { return true; }), 10);
}

uint32_t Grey(int level) { return 0xFF000000u | static_cast<uint32_t>(level) * 0x010101u; }
int Level(uint32_t pixel) { return static_cast<int>(pixel & 0xFF); }

TEST(ResamplePixels, AveragesTheAreaEachTargetPixelCovers) {
  // A 4 x 2 picture halved: each target pixel is the mean of a 2 x 2 block.
  const std::vector<uint32_t> source = {Grey(0), Grey(100), Grey(200), Grey(200),
                                        Grey(40), Grey(60), Grey(200), Grey(200)};
  const std::vector<uint32_t> half = qv::ResamplePixels(source, 4, 2, 2, 1);
  ASSERT_EQ(half.size(), 2u);
  EXPECT_EQ(Level(half[0]), 50);
  EXPECT_EQ(Level(half[1]), 200);
  EXPECT_EQ(half[0] >> 24, 0xFFu);  // the alpha channel is averaged like the others

  // Three source pixels to two: the middle one is shared half and half.
  const std::vector<uint32_t> third = qv::ResamplePixels({Grey(0), Grey(90), Grey(180)}, 3, 1, 2, 1);
  ASSERT_EQ(third.size(), 2u);
  EXPECT_EQ(Level(third[0]), 30);   // (0 * 1 + 90 * 0.5) / 1.5
  EXPECT_EQ(Level(third[1]), 150);  // (90 * 0.5 + 180 * 1) / 1.5
}

TEST(ResamplePixels, ReducingLargeArtKeepsUniformAreasExactAndEdgesOnPixelBoundariesSharp) {
  // 200 % art to 150 %: a picture dark on its left half and white on its right.
  const int width = 200, height = 70;
  std::vector<uint32_t> art(width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) art[y * width + x] = x < 100 ? Grey(18) : Grey(255);
  }
  const std::vector<uint32_t> shown = qv::ResamplePixels(art, width, height, 150, 53);
  ASSERT_EQ(shown.size(), 150u * 53u);
  for (int y = 0; y < 53; ++y) {
    EXPECT_EQ(Level(shown[y * 150 + 74]), 18);
    EXPECT_EQ(Level(shown[y * 150 + 75]), 255);
  }
  // The picture's mean brightness is kept.
  auto mean = [](const std::vector<uint32_t>& pixels) {
    return std::accumulate(pixels.begin(), pixels.end(), 0.0,
                           [](double sum, uint32_t p) { return sum + Level(p); }) / pixels.size();
  };
  EXPECT_NEAR(mean(shown), mean(art), 0.5);
}

TEST(ResamplePixels, RefusesSizesThatDoNotDescribeThePicture) {
  const std::vector<uint32_t> four(4, Grey(7));
  EXPECT_TRUE(qv::ResamplePixels(four, 3, 2, 1, 1).empty());  // fewer pixels than 3 x 2
  EXPECT_TRUE(qv::ResamplePixels(four, 2, 2, 0, 1).empty());
  // Enlarging is allowed (beyond the largest art) and keeps a flat picture flat.
  const std::vector<uint32_t> large = qv::ResamplePixels(four, 2, 2, 5, 3);
  ASSERT_EQ(large.size(), 15u);
  for (uint32_t pixel : large) EXPECT_EQ(pixel, Grey(7));
}

}  // namespace

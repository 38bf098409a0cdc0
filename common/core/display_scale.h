// Display-scale arithmetic of the dialogs: pixel numbers laid out for 96 DPI scaled to the DPI
// of the monitor a window is on, the largest font size that still fits a control, and pictures
// resampled smoothly (by area) from art drawn for a larger scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv {

// The DPI that the dialogs' pixel numbers are given for (100 % display scale).
constexpr unsigned kBaseDpi = 96;
// The art drawn at twice the base size serves every scale above 100 %.
constexpr unsigned kLargeArtDpi = 2 * kBaseDpi;

// A length laid out for 96 DPI at `dpi`, rounded to the nearest pixel (halves away from zero);
// a DPI of 0 (unknown) counts as 96.
constexpr int ScaleForDpi(int pixels, unsigned dpi) {
  if (dpi == 0) dpi = kBaseDpi;
  const long long scaled = static_cast<long long>(pixels) * dpi;
  const long long half = kBaseDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kBaseDpi : -((-scaled + half) / kBaseDpi));
}

// The largest height from `nominal` down to `smallest` for which `fits(height)` holds; `smallest`
// when none does (the text is then shown as small as allowed rather than not at all).
template <typename Fits>
int LargestFittingHeight(int nominal, int smallest, Fits fits) {
  for (int height = nominal; height > smallest; --height) {
    if (fits(height)) return height;
  }
  return smallest;
}

// Resamples a picture of 32-bit pixels (rows top to bottom, 0xAARRGGBB or any four 8-bit
// channels) to `toWidth` x `toHeight`: each target pixel is the average of the source area it
// covers, weighted by how much of each source pixel falls inside it, so a reduction stays sharp
// and smooth at once. Empty when a size is not positive or `source` is smaller than width x height.
inline std::vector<uint32_t> ResamplePixels(const std::vector<uint32_t>& source, int width, int height,
                                            int toWidth, int toHeight) {
  if (width <= 0 || height <= 0 || toWidth <= 0 || toHeight <= 0 ||
      source.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return {};
  }
  // One axis at a time, on the four channels as numbers: `count` lines of `from` samples each
  // (samples `along` apart, lines `across` apart) become lines of `to` samples.
  auto resample = [](const std::vector<float>& in, int from, int to, int count, std::ptrdiff_t along,
                     std::ptrdiff_t across, std::ptrdiff_t outAlong, std::ptrdiff_t outAcross) {
    std::vector<float> out(static_cast<std::size_t>(to) * static_cast<std::size_t>(count) * 4);
    const double step = static_cast<double>(from) / to;
    for (int line = 0; line < count; ++line) {
      for (int t = 0; t < to; ++t) {
        const double begin = t * step, end = begin + step;
        double sum[4] = {0, 0, 0, 0};
        for (int s = static_cast<int>(begin); s < from && s < end; ++s) {
          const double covered = ((s + 1 < end ? s + 1 : end) - (s > begin ? s : begin)) / step;
          for (int c = 0; c < 4; ++c) sum[c] += covered * in[static_cast<std::size_t>(line * across + s * along + c)];
        }
        for (int c = 0; c < 4; ++c) {
          out[static_cast<std::size_t>(line * outAcross + t * outAlong + c)] = static_cast<float>(sum[c]);
        }
      }
    }
    return out;
  };
  std::vector<float> channels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  for (std::size_t i = 0; i < channels.size(); ++i) channels[i] = static_cast<float>((source[i / 4] >> (8 * (i % 4))) & 0xFF);
  // Rows first (each row `width` samples), then columns of the narrower picture.
  const std::vector<float> rows = resample(channels, width, toWidth, height, 4, 4 * width, 4, 4 * toWidth);
  const std::vector<float> both = resample(rows, height, toHeight, toWidth, 4 * toWidth, 4, 4 * toWidth, 4);
  std::vector<uint32_t> target(static_cast<std::size_t>(toWidth) * static_cast<std::size_t>(toHeight));
  for (std::size_t i = 0; i < both.size(); ++i) {
    const float value = both[i] + 0.5f;
    const uint32_t level = value >= 255 ? 255u : value <= 0 ? 0u : static_cast<uint32_t>(value);
    target[i / 4] |= level << (8 * (i % 4));
  }
  return target;
}

}  // namespace qv

// DPI, work area and pictures of the dialogs, over the system's calls; the calls that only newer
// Windows has are looked up in user32, which every GUI program has loaded.
#include "common/win/ui/display.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/core/display_scale.h"

namespace qv::ui {

namespace {

template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

unsigned SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : kBaseDpi;
}

// A 32-bit top-down picture format of the given size.
BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  return format;
}

struct BitmapPixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // rows top to bottom
};

BitmapPixels ReadPixels(HBITMAP bitmap) {
  BitmapPixels read;
  BITMAP info{};
  if (!::GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return read;
  BITMAPINFO format = TopDown32(info.bmWidth, info.bmHeight);
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
  HDC screen = ::GetDC(nullptr);
  const int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &format, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (rows != info.bmHeight) return read;
  read = {info.bmWidth, info.bmHeight, std::move(pixels)};
  return read;
}

// A top-down 32-bit bitmap of opaque pixels (a static control of Common Controls 6 draws a
// 32-bit bitmap through its alpha channel).
HBITMAP MakeBitmap(int width, int height, std::vector<uint32_t> pixels) {
  for (uint32_t& pixel : pixels) pixel |= 0xFF000000u;
  BITMAPINFO format = TopDown32(width, height);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
  return bitmap;
}

}  // namespace

unsigned DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
  return dpi ? dpi : SystemDpi();
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return monitor.rcWork;
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

void LayOutDpiChangesOurselves(HWND dialog) {
  using Function = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
  static const auto setBehavior = User32Function<Function>("SetDialogDpiChangeBehavior");
  if (setBehavior) setBehavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

CPerMonitorDpiScope::CPerMonitorDpiScope() {
  using Function = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static const auto setContext = User32Function<Function>("SetThreadDpiAwarenessContext");
  if (setContext) m_previous = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

CPerMonitorDpiScope::~CPerMonitorDpiScope() {
  using Function = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static const auto setContext = User32Function<Function>("SetThreadDpiAwarenessContext");
  if (setContext && m_previous) setContext(m_previous);
}

HBITMAP LoadPictureForDpi(HINSTANCE module, unsigned baseId, unsigned largeId, unsigned dpi) {
  UniqueGdiObject base(::LoadBitmapW(module, MAKEINTRESOURCEW(baseId)));
  if (dpi == 0 || dpi == kBaseDpi || !base) return static_cast<HBITMAP>(base.release());
  BITMAP size{};
  if (!::GetObjectW(base.get(), sizeof(size), &size)) return nullptr;
  UniqueGdiObject large(::LoadBitmapW(module, MAKEINTRESOURCEW(largeId)));
  BitmapPixels art = large ? ReadPixels(static_cast<HBITMAP>(large.get())) : BitmapPixels{};
  if (art.pixels.empty()) art = ReadPixels(static_cast<HBITMAP>(base.get()));  // no large art: the small one
  const int width = ScaleForDpi(size.bmWidth, dpi), height = ScaleForDpi(size.bmHeight, dpi);
  std::vector<uint32_t> shown = ResamplePixels(art.pixels, art.width, art.height, width, height);
  if (shown.empty()) return nullptr;
  return MakeBitmap(width, height, std::move(shown));
}

void SetPicture(HWND control, UniqueGdiObject& holder, HBITMAP picture) {
  HGDIOBJ previous = reinterpret_cast<HGDIOBJ>(
      ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
  if (previous && previous != holder.get() && previous != picture) ::DeleteObject(previous);
  holder.reset(picture);
}

}  // namespace qv::ui

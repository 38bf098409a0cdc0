// What a dialog needs of the display it is shown on: the DPI of its monitor, the monitor's work
// area, per-monitor DPI for a library's dialogs whatever the hosting program declared, and the
// header pictures drawn for that DPI from art made for 100 % and 200 %.
#pragma once

#include <windows.h>

#include "common/win/handles.h"

namespace qv::ui {

// The DPI of the monitor the window is on (Windows 10 1607 and later), else the system's DPI.
unsigned DpiOf(HWND window);

// The work area of the monitor the window is on.
RECT WorkAreaOf(HWND window);

// Keeps the dialog manager from scaling a dialog by itself when it moves to a monitor of
// another DPI (Windows 10 1703 and later), for a dialog that lays itself out for each DPI.
void LayOutDpiChangesOurselves(HWND dialog);

// While it lives, windows this thread creates are per-monitor DPI aware (Windows 10 1607 and
// later; elsewhere the process's awareness holds).
class CPerMonitorDpiScope {
 public:
  CPerMonitorDpiScope();
  ~CPerMonitorDpiScope();
  CPerMonitorDpiScope(const CPerMonitorDpiScope&) = delete;
  CPerMonitorDpiScope& operator=(const CPerMonitorDpiScope&) = delete;

 private:
  DPI_AWARENESS_CONTEXT m_previous = nullptr;
};

// A picture for `dpi`: the 100 % bitmap `baseId` as it is at 96 DPI, else the 200 % bitmap
// `largeId` resampled by area to the 100 % size times the scale (exact at 192 DPI). Null when a
// bitmap cannot be loaded.
HBITMAP LoadPictureForDpi(HINSTANCE module, unsigned baseId, unsigned largeId, unsigned dpi);

// Shows `picture` in a static control and keeps it in `holder` while it is shown; a bitmap the
// control gives back (one it was showing, or a copy it made) is deleted.
void SetPicture(HWND control, UniqueGdiObject& holder, HBITMAP picture);

}  // namespace qv::ui

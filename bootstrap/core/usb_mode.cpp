// The USB mode table and the mode-change decisions.
#include "bootstrap/core/usb_mode.h"

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {
namespace {

#define QV_MODE_EXPORT_NAME(suffix) L"ChangeMode2" #suffix,
constexpr const wchar_t* kModeExports[] = {QV_USB_MODES(QV_MODE_EXPORT_NAME)};
#undef QV_MODE_EXPORT_NAME
constexpr int kModeCount = sizeof kModeExports / sizeof kModeExports[0];
static_assert(kModeCount == kModeTet + 1, "one export for each mode");

}  // namespace

ModeChangeChoice ChooseModeChange(int selectedMode) {
  if (selectedMode >= 0 && selectedMode < kModeCount) {
    return {selectedMode, kModeExports[selectedMode], false};
  }
  return {kFallbackMode, kModeExports[kFallbackMode], true};
}

std::wstring FormatModeChangeTrace(const ModeChangeChoice& choice, const std::wstring& driveText) {
  std::wstring line = L"[ModeChange()] ";
  if (choice.isDefault) line += L"default: ";
  line += choice.exportName;
  line += L"..(Drive : ";
  line += driveText.substr(0, 1);
  line += L")...............\r\n";
  return line;
}

int SelectedModeFromPhone(bool queryAnswered, uint8_t firstByte) {
  return queryAnswered ? firstByte : kFallbackMode;
}

bool IsModeChangeDone(bool switched, bool admin) { return switched || !admin; }

SameDriveResult CompareOtherPhoneDrive(const std::wstring& otherDrive,
                                       const std::wstring& phoneDrive) {
  if (otherDrive.empty()) return {false, true};
  const bool same =
      !phoneDrive.empty() && ToUpperAscii(otherDrive[0]) == ToUpperAscii(phoneDrive[0]);
  return {same, false};
}

bool IsSameProgramImage(const std::wstring& imagePath, const std::wstring& ownName) {
  const size_t slash = imagePath.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? imagePath : imagePath.substr(slash + 1);
  return !ownName.empty() && EqualsNoCase(name, ownName);
}

}  // namespace qv::bootstrap

// The phone's USB modes as it reports them and as the exit switches them (0 Modem ... 5 TET),
// which mode-switch export serves each, and the small decisions around the mode change: the
// mode to use when the phone gives none, the result that counts as success, and whether another
// running instance serves the same phone.
#pragma once

#include <cstdint>
#include <string>

#include "modeswitch/phone_data_items.h"

namespace qv::bootstrap {

// The one list of the modes, in the phone's numbering from 0: the suffix of the mode-switch
// export that switches to each ("ChangeMode2" + suffix).
#define QV_USB_MODES(X) X(Modem) X(MTP) X(UMS) X(ASK) X(CGO) X(TET)

constexpr int kModeModem = 0;
constexpr int kModeMtp = 1;
constexpr int kModeUms = 2;
constexpr int kModeAsk = 3;
constexpr int kModeCgo = 4;
constexpr int kModeTet = 5;
constexpr int kFallbackMode = kModeAsk;       // phone not asked or no answer; unknown values
constexpr int kFactoryLineMode = kModeModem;  // a PC of the factory line
constexpr uint8_t kItemSelectedMode = QVE_ITEM_SELECTED_MODE;  // phone data item: the user's selected mode

// The answer buffer of the selected-mode query starts with this byte: a phone that accepts the
// query but returns no byte thus leaves the fallback mode.
constexpr uint8_t kSelectedModeBufferFill = kFallbackMode;

// Which export switches the phone for a selected mode.
struct ModeChangeChoice {
  int mode;                   // 0..5: the export of that mode; any other value was mapped to ASK
  const wchar_t* exportName;  // "ChangeMode2Modem" ... "ChangeMode2TET"
  bool isDefault;             // the selected mode was not one of 0..5
};

ModeChangeChoice ChooseModeChange(int selectedMode);

// "[ModeChange()] <default: >ChangeMode2XXX..(Drive : E)...............\r\n"; the drive part
// is the first character of the drive text, or nothing when it is empty.
std::wstring FormatModeChangeTrace(const ModeChangeChoice& choice, const std::wstring& driveText);

// The mode to remember after asking the phone: its first answer byte, or the fallback when the
// query failed.
int SelectedModeFromPhone(bool queryAnswered, uint8_t firstByte);

// The mode change counts as done when the phone switched, and also when the user is no
// administrator (that run has already shown its notification, and nothing else is to be said).
bool IsModeChangeDone(bool switched, bool admin);

struct SameDriveResult {
  bool same;             // both instances serve the same drive letter (either case)
  bool otherNoResponse;  // the other instance gave no drive
};

// Compares the first characters of the other instance's drive and of ours. An unanswered query
// never counts as the same drive, not even when our own drive text is empty too.
SameDriveResult CompareOtherPhoneDrive(const std::wstring& otherDrive,
                                       const std::wstring& phoneDrive);

// How long one instance waits for another instance's window to take its question or its answer;
// a window that does not take it in time counts as an instance that does not respond.
constexpr unsigned kOtherInstanceWaitMs = 3000;

// Whether a process whose image is |imagePath| (a full path, as the system reports it, or a
// configured program path) runs the program whose file name is |ownName|: the file-name part of
// the path is |ownName| without regard to ASCII case, as a whole (no part of a longer name).
// Folders do not count, since instances run from the phone's drive, from the copy on the PC and
// from another phone's drive. An empty name on either side matches nothing.
bool IsSameProgramImage(const std::wstring& imagePath, const std::wstring& ownName);

}  // namespace qv::bootstrap

// Command-line UI driver for end-to-end tests: run under Wine in the same prefix (wineserver) as
// the program under test, it finds that program's windows and reads or drives them. Each result
// is one JSON object per line on stdout. Exit code 0: done; 1: not found or failed; 2: usage.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "tools/ui_driver/accessible.h"
#include "tools/ui_driver/json_line.h"
#include "tools/ui_driver/keyboard.h"
#include "tools/ui_driver/window_query.h"

namespace {

using qv::ui::CJsonObject;
using qv::ui::CWindowFilter;
using qv::ui::WindowKind;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr DWORD kPollMs = 50;
constexpr DWORD kWatchPollMs = 5;

const char kUsageText[] =
    "usage: ui_driver <command> [args] [options]\n"
    "  windows                      all top-level windows\n"
    "  wait <title> [--visible]     until such a window exists (is visible)\n"
    "  wait-gone <title>            until no such window exists (with --visible: none is visible)\n"
    "  state <title> <id>           one control of the dialog\n"
    "  watch <title> <id> [--texts ID]   a progress bar's highest and last position until its dialog\n"
    "                               is gone; with --texts, also each text control ID showed\n"
    "  dialog <title>               the dialog and all its controls\n"
    "  click <title> <id> [--force] [--send]   BM_CLICK (posted; --send waits for it)\n"
    "  key <title> <key> [--post]   a key as typed: tab, shift+tab, space, return, escape, alt+<letter>,\n"
    "                               up, down, left, right, home, end; real input to the dialog made\n"
    "                               the foreground window (--post: into the dialog thread's queue)\n"
    "  focus <title>                the control with the keyboard focus in the dialog's thread\n"
    "  dpi-changed <title> <dpi>    WM_DPICHANGED (sent), then the dialog as `dialog` gives it\n"
    "  accessible <title> <id>      the control's accessible name and role (oleacc)\n"
    "  display                      the scale and system colours this prefix gives a new process\n"
    "  drive <letter>               the drive's type as a program sees it (GetDriveTypeW)\n"
    "  close <title>                post WM_CLOSE\n"
    "  message-boxes [title]        the message boxes shown\n"
    "  answer <title> <id|text>     press a message box button, wait until the box is gone\n"
    "  processes [exe...]           processes of this prefix (toolhelp snapshot)\n"
    "  kill <exe...>                terminate processes by exe name\n"
    "  serve                        commands from stdin, one per line, arguments tab-separated\n"
    "options: --substring (title is a substring), --class NAME, --pid N, --hwnd N,\n"
    "         --timeout MS (waits; default 10000), --message-box, --dialog\n";

struct CArgs {
  std::vector<std::wstring> m_positional;
  CWindowFilter m_filter;
  DWORD m_nTimeoutMs = 10000;
  int m_nTextsId = -1;
  bool m_bForce = false;
  bool m_bSend = false;
  bool m_bInput = false;
  bool m_bPost = false;
};

void PrintLine(const CJsonObject& json) {
  const std::string line = json.Text() + "\n";
  fwrite(line.data(), 1, line.size(), stdout);
  fflush(stdout);
}

int Fail(const char* error, CJsonObject details = CJsonObject()) {
  PrintLine(CJsonObject().Bool("ok", false).Str("error", error).Obj("details", details));
  return kFailed;
}

int Usage(const char* message) {
  fprintf(stderr, "ui_driver: %s\n%s", message, kUsageText);
  return kUsage;
}

bool ParseNumber(const std::wstring& text, long long* value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  *value = wcstoll(text.c_str(), &end, 0);  // decimal, or 0x-prefixed hex for window handles
  return end && *end == L'\0';
}

// Returns an empty string when the arguments (after the command) are valid, else the complaint.
std::string ParseArgs(const std::vector<std::wstring>& argv, CArgs* args) {
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& arg = argv[i];
    const bool hasValue = i + 1 < argv.size();
    long long number = 0;
    if (arg == L"--substring") {
      args->m_filter.m_bSubstring = true;
    } else if (arg == L"--visible") {
      args->m_filter.m_bVisibleOnly = true;
    } else if (arg == L"--message-box") {
      args->m_filter.m_nKind = WindowKind::kMessageBox;
    } else if (arg == L"--dialog") {
      args->m_filter.m_nKind = WindowKind::kDialog;
    } else if (arg == L"--force") {
      args->m_bForce = true;
    } else if (arg == L"--send") {
      args->m_bSend = true;
    } else if (arg == L"--input") {
      args->m_bInput = true;
    } else if (arg == L"--post") {
      args->m_bPost = true;
    } else if (arg == L"--class" && hasValue) {
      args->m_filter.m_strClass = argv[++i];
    } else if ((arg == L"--pid" || arg == L"--hwnd" || arg == L"--timeout" || arg == L"--texts") && hasValue) {
      if (!ParseNumber(argv[++i], &number) || number < 0) return "bad number after an option";
      if (arg == L"--texts") args->m_nTextsId = static_cast<int>(number);
      if (arg == L"--pid") args->m_filter.m_nPid = static_cast<DWORD>(number);
      if (arg == L"--hwnd") args->m_filter.m_hWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(number));
      if (arg == L"--timeout") args->m_nTimeoutMs = static_cast<DWORD>(number);
    } else if (arg.size() > 2 && arg.compare(0, 2, L"--") == 0) {
      return "unknown option or missing value";
    } else {
      args->m_positional.push_back(arg);
    }
  }
  return "";
}

// Waits until `done` holds or the timeout passes; checks at least once.
template <typename Pred>
bool PollUntil(DWORD timeoutMs, Pred done, DWORD intervalMs = kPollMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(intervalMs);
  }
}

// The one window a command acts on: visible ones first, then the topmost in Z order.
HWND PickWindow(const CWindowFilter& filter) {
  const std::vector<HWND> found = qv::ui::FindWindows(filter);
  for (HWND hwnd : found) {
    if (IsWindowVisible(hwnd)) return hwnd;
  }
  return found.empty() ? nullptr : found.front();
}

CJsonObject FilterJson(const CArgs& args) {
  return CJsonObject()
      .Str("title", args.m_filter.m_strTitle)
      .Bool("substring", args.m_filter.m_bSubstring)
      .Int("id", args.m_filter.m_nControlId);
}

int CmdWindows(const CArgs& args) {
  for (HWND hwnd : qv::ui::FindWindows(args.m_filter)) PrintLine(qv::ui::WindowJson(hwnd));
  return kOk;
}

int CmdWait(const CArgs& args) {
  HWND hwnd = nullptr;
  if (!PollUntil(args.m_nTimeoutMs, [&] { return (hwnd = PickWindow(args.m_filter)) != nullptr; })) {
    return Fail("timeout", FilterJson(args));
  }
  PrintLine(CJsonObject().Bool("ok", true).Obj("window", qv::ui::WindowJson(hwnd)));
  return kOk;
}

int CmdWaitGone(const CArgs& args) {
  if (!PollUntil(args.m_nTimeoutMs, [&] { return qv::ui::FindWindows(args.m_filter).empty(); })) {
    return Fail("timeout", FilterJson(args));
  }
  PrintLine(CJsonObject().Bool("ok", true));
  return kOk;
}

// The dialog named by the filter that has control `id`, and that control.
bool FindControl(const CArgs& args, HWND* dialog, HWND* control) {
  *dialog = PickWindow(args.m_filter);
  *control = *dialog ? GetDlgItem(*dialog, args.m_filter.m_nControlId) : nullptr;
  return *control != nullptr;
}

int CmdState(const CArgs& args) {
  HWND dialog = nullptr, control = nullptr;
  if (!FindControl(args, &dialog, &control)) return Fail("not found", FilterJson(args));
  PrintLine(qv::ui::ControlJson(dialog, control).Int("dialog", reinterpret_cast<INT_PTR>(dialog)));
  return kOk;
}

// Reads the progress bar (and a text control) every few milliseconds from inside the prefix
// until its dialog is destroyed, so that a state held only briefly is still seen.
int CmdWatch(const CArgs& args) {
  HWND dialog = nullptr, control = nullptr;
  if (!FindControl(args, &dialog, &control)) return Fail("not found", FilterJson(args));
  if (_wcsicmp(qv::ui::ClassOf(control).c_str(), PROGRESS_CLASSW) != 0) return Fail("not a progress bar", FilterJson(args));
  HWND textControl = args.m_nTextsId >= 0 ? GetDlgItem(dialog, args.m_nTextsId) : nullptr;
  if (args.m_nTextsId >= 0 && !textControl) return Fail("no such text control", FilterJson(args));
  std::vector<CJsonObject> texts;
  std::wstring text, lastText;
  LRESULT position = 0, highest = -1, last = -1;
  int samples = 0;
  const bool gone = PollUntil(args.m_nTimeoutMs, [&] {
    if (textControl && qv::ui::ReadText(textControl, &text) && (texts.empty() || text != lastText)) {
      lastText = text;
      texts.push_back(CJsonObject().Str("text", text));
    }
    if (qv::ui::SendTimed(control, PBM_GETPOS, 0, 0, &position)) {
      last = position;
      highest = position > highest ? position : highest;
      ++samples;
      return false;
    }
    return !IsWindow(dialog);
  }, kWatchPollMs);
  CJsonObject result;
  result.Bool("ok", gone).Int("highest", highest).Int("last", last).Int("samples", samples);
  if (textControl) result.Array("texts", texts);
  if (!gone) result.Str("error", "timeout");
  PrintLine(result);
  return gone ? kOk : kFailed;
}

int CmdDialog(const CArgs& args) {
  HWND dialog = PickWindow(args.m_filter);
  if (!dialog) return Fail("not found", FilterJson(args));
  PrintLine(qv::ui::DialogJson(dialog));
  return kOk;
}

int CmdClick(const CArgs& args) {
  HWND dialog = nullptr, control = nullptr;
  if (!FindControl(args, &dialog, &control)) return Fail("not found", FilterJson(args));
  // A user cannot press a hidden or disabled button; --force is for tests of the handler itself.
  if (!args.m_bForce && !IsWindowVisible(control)) return Fail("control not visible", FilterJson(args));
  if (!args.m_bForce && !IsWindowEnabled(control)) return Fail("control disabled", FilterJson(args));
  LRESULT ignored = 0;
  const bool delivered = args.m_bSend ? qv::ui::SendTimed(control, BM_CLICK, 0, 0, &ignored)
                                      : PostMessageW(control, BM_CLICK, 0, 0) != FALSE;
  if (!delivered) return Fail(args.m_bSend ? "no answer" : "post failed", FilterJson(args));
  PrintLine(CJsonObject()
                .Bool("ok", true)
                .Int("dialog", reinterpret_cast<INT_PTR>(dialog))
                .Int("hwnd", reinterpret_cast<INT_PTR>(control))
                .Int("id", args.m_filter.m_nControlId)
                .Str("method", args.m_bSend ? "send" : "post"));
  return kOk;
}

// A key as the user types it (see keyboard.h). The answer comes once the dialog's thread is
// back in its message loop, with the focus after the key.
int CmdKey(const CArgs& args, const std::wstring& keyName) {
  qv::ui::CKeyStroke key;
  if (!qv::ui::ParseKeyName(keyName, &key)) return Usage("key: tab, shift+tab, space, return, escape, alt+<letter>...");
  if (args.m_bInput && args.m_bPost) return Usage("key: --input or --post, not both");
  HWND dialog = PickWindow(args.m_filter);
  if (!dialog) return Fail("not found", FilterJson(args));
  const qv::ui::CJsonObject before = qv::ui::FocusJson(dialog);
  const qv::ui::KeyDelivery how = args.m_bPost ? qv::ui::KeyDelivery::kPost : qv::ui::KeyDelivery::kInput;
  std::string failure;
  if (!qv::ui::DeliverKey(dialog, key, how, &failure)) return Fail(failure.c_str(), FilterJson(args));
  CJsonObject result;
  result.Bool("ok", true).Int("dialog", reinterpret_cast<INT_PTR>(dialog)).Str("method", args.m_bPost ? "post" : "input")
      .Obj("focus_before", before).Bool("exists", IsWindow(dialog) != FALSE);
  if (IsWindow(dialog)) result.Obj("focus", qv::ui::FocusJson(dialog));
  PrintLine(result);
  return kOk;
}

int CmdFocus(const CArgs& args) {
  HWND dialog = PickWindow(args.m_filter);
  if (!dialog) return Fail("not found", FilterJson(args));
  PrintLine(qv::ui::FocusJson(dialog).Bool("ok", true));
  return kOk;
}

// WM_DPICHANGED as the system sends it when the window moves to a monitor of another scale. The
// suggested rectangle is not passed (0): it would point into the driver's memory.
int CmdDpiChanged(const CArgs& args, const std::wstring& dpiText) {
  long long dpi = 0;
  if (!ParseNumber(dpiText, &dpi) || dpi < 24 || dpi > 960) return Usage("dpi-changed: a scale of 24..960 dpi");
  HWND dialog = PickWindow(args.m_filter);
  if (!dialog) return Fail("not found", FilterJson(args));
  LRESULT ignored = 0;
  const WPARAM both = MAKEWPARAM(static_cast<WORD>(dpi), static_cast<WORD>(dpi));
  if (!qv::ui::SendTimed(dialog, WM_DPICHANGED, both, 0, &ignored)) return Fail("no answer", FilterJson(args));
  PrintLine(qv::ui::DialogJson(dialog));
  return kOk;
}

int CmdAccessible(const CArgs& args) {
  HWND dialog = nullptr, control = nullptr;
  if (!FindControl(args, &dialog, &control)) return Fail("not found", FilterJson(args));
  CJsonObject json = qv::ui::AccessibleJson(control);
  PrintLine(json.Int("id", args.m_filter.m_nControlId).Str("class", qv::ui::ClassOf(control)));
  return kOk;
}

std::string ColourText(COLORREF colour) {
  char text[8];
  snprintf(text, sizeof(text), "#%02x%02x%02x", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  return text;
}

// What a program started now in this prefix gets: the scale (the system's, the screen's and a
// new window's) and the system colours the dialogs draw with.
int CmdDisplay() {
  HDC screen = GetDC(nullptr);
  const int logPixels = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  HWND probe = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  const UINT windowDpi = probe ? qv::ui::DpiOf(probe) : 0;
  if (probe) DestroyWindow(probe);
  const struct { const char* m_szName; int m_nIndex; } kColours[] = {
      {"window", COLOR_WINDOW}, {"window_text", COLOR_WINDOWTEXT}, {"button_face", COLOR_BTNFACE},
      {"button_text", COLOR_BTNTEXT}, {"gray_text", COLOR_GRAYTEXT}, {"highlight", COLOR_HIGHLIGHT},
      {"highlight_text", COLOR_HIGHLIGHTTEXT}, {"button_shadow", COLOR_BTNSHADOW},
      {"button_highlight", COLOR_BTNHIGHLIGHT}};
  CJsonObject colours;
  for (const auto& colour : kColours) colours.Str(colour.m_szName, ColourText(GetSysColor(colour.m_nIndex)));
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  PrintLine(CJsonObject()
                .Bool("ok", true)
                .Int("logpixels", logPixels)
                .Int("window_dpi", windowDpi)
                .Obj("screen", CJsonObject().Int("width", GetSystemMetrics(SM_CXSCREEN)).Int("height", GetSystemMetrics(SM_CYSCREEN)))
                .Obj("work", qv::ui::RectJson(work))
                .Obj("colours", colours));
  return kOk;
}

// A drive's type as a program started now sees it: Wine answers from its mount manager, which
// takes a drive's configured type only once it runs in a new server.
int CmdDrive(const std::wstring& letter) {
  if (letter.size() != 1 || !iswalpha(letter[0])) return Usage("drive: one letter");
  const std::wstring root = letter + L":\\";
  const UINT type = GetDriveTypeW(root.c_str());
  const char* const kNames[] = {"unknown", "no_root", "removable", "fixed", "remote", "cdrom", "ramdisk"};
  PrintLine(CJsonObject()
                .Bool("ok", true)
                .Str("root", root)
                .Int("type", static_cast<int>(type))
                .Str("kind", type < 7 ? kNames[type] : "unknown"));
  return kOk;
}

int CmdClose(const CArgs& args) {
  HWND hwnd = PickWindow(args.m_filter);
  if (!hwnd) return Fail("not found", FilterJson(args));
  if (!PostMessageW(hwnd, WM_CLOSE, 0, 0)) return Fail("post failed", FilterJson(args));
  PrintLine(CJsonObject().Bool("ok", true).Int("hwnd", reinterpret_cast<INT_PTR>(hwnd)));
  return kOk;
}

int CmdMessageBoxes(const CArgs& args) {
  for (HWND box : qv::ui::FindWindows(args.m_filter)) PrintLine(qv::ui::MessageBoxJson(box));
  return kOk;
}

std::wstring WithoutMnemonic(const std::wstring& text) {
  std::wstring plain;
  for (wchar_t c : text) {
    if (c != L'&') plain += c;
  }
  return plain;
}

HWND FindButton(HWND box, const std::wstring& which) {
  long long id = 0;
  const bool byId = ParseNumber(which, &id);
  for (HWND child : qv::ui::ChildrenOf(box)) {
    if (_wcsicmp(qv::ui::ClassOf(child).c_str(), L"Button") != 0) continue;
    if (byId && GetDlgCtrlID(child) == id) return child;
    std::wstring text;
    if (!byId && qv::ui::ReadText(child, &text) &&
        _wcsicmp(WithoutMnemonic(text).c_str(), WithoutMnemonic(which).c_str()) == 0) {
      return child;
    }
  }
  return nullptr;
}

int CmdAnswer(const CArgs& args, const std::wstring& which) {
  HWND box = PickWindow(args.m_filter);
  if (!box) return Fail("no message box", FilterJson(args));
  HWND button = FindButton(box, which);
  if (!button) return Fail("no such button", qv::ui::MessageBoxJson(box));
  std::wstring text;
  qv::ui::ReadText(button, &text);
  const int id = GetDlgCtrlID(button);
  if (!PostMessageW(button, BM_CLICK, 0, 0)) return Fail("post failed", FilterJson(args));
  // Ending a message box hides it first and destroys it a moment later: wait for the latter.
  const bool gone = PollUntil(args.m_nTimeoutMs, [&] { return !IsWindow(box); });
  PrintLine(CJsonObject()
                .Bool("ok", gone)
                .Int("hwnd", reinterpret_cast<INT_PTR>(box))
                .Obj("button", CJsonObject().Int("id", id).Str("text", text))
                .Bool("gone", gone));
  return gone ? kOk : kFailed;
}

bool NameListed(const std::vector<std::wstring>& names, size_t first, const wchar_t* exe) {
  if (names.size() <= first) return true;
  for (size_t i = first; i < names.size(); ++i) {
    if (_wcsicmp(names[i].c_str(), exe) == 0) return true;
  }
  return false;
}

std::vector<PROCESSENTRY32W> Processes() {
  std::vector<PROCESSENTRY32W> list;
  qv::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return list;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    list.push_back(entry);
  }
  return list;
}

int CmdProcesses(const CArgs& args) {
  for (const PROCESSENTRY32W& p : Processes()) {
    if (!NameListed(args.m_positional, 1, p.szExeFile)) continue;
    PrintLine(CJsonObject()
                  .Int("pid", p.th32ProcessID)
                  .Int("ppid", p.th32ParentProcessID)
                  .Str("exe", std::wstring(p.szExeFile))
                  .Int("threads", p.cntThreads));
  }
  return kOk;
}

int CmdKill(const CArgs& args) {
  if (args.m_positional.size() < 2) return Usage("kill: exe names");
  int killed = 0, failed = 0;
  for (const PROCESSENTRY32W& p : Processes()) {
    if (p.th32ProcessID == GetCurrentProcessId() || !NameListed(args.m_positional, 1, p.szExeFile)) continue;
    qv::UniqueProcessHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.th32ProcessID));
    if (process && TerminateProcess(process.get(), 1) &&
        WaitForSingleObject(process.get(), args.m_nTimeoutMs) == WAIT_OBJECT_0) {
      ++killed;
    } else {
      ++failed;
    }
  }
  PrintLine(CJsonObject().Bool("ok", failed == 0).Int("killed", killed).Int("failed", failed));
  return failed == 0 ? kOk : kFailed;
}

int Run(const std::vector<std::wstring>& argv) {
  if (argv.empty()) return Usage("no command");
  const std::wstring& command = argv[0];
  CArgs args;
  const std::string complaint = ParseArgs(argv, &args);
  if (!complaint.empty()) return Usage(complaint.c_str());
  std::vector<std::wstring>& pos = args.m_positional;
  pos.insert(pos.begin(), command);
  auto need = [&](size_t count) { return pos.size() == count + 1; };
  if (pos.size() > 1) args.m_filter.m_strTitle = pos[1];

  if (command == L"windows" && need(0)) return CmdWindows(args);
  if (command == L"processes") return CmdProcesses(args);
  if (command == L"kill") return CmdKill(args);
  if (command == L"message-boxes" && pos.size() <= 2) {
    args.m_filter.m_nKind = WindowKind::kMessageBox;
    return CmdMessageBoxes(args);
  }
  if (command == L"wait" && need(1)) return CmdWait(args);
  if (command == L"wait-gone" && need(1)) return CmdWaitGone(args);
  if (command == L"close" && need(1)) return CmdClose(args);
  if (command == L"dialog" && need(1)) {
    if (args.m_filter.m_nKind == WindowKind::kAny) args.m_filter.m_nKind = WindowKind::kDialog;
    return CmdDialog(args);
  }
  if (command == L"display" && need(0)) return CmdDisplay();
  if (command == L"drive" && need(1)) return CmdDrive(pos[1]);
  if ((command == L"key" || command == L"dpi-changed") && need(2)) {
    if (args.m_filter.m_nKind == WindowKind::kAny) args.m_filter.m_nKind = WindowKind::kDialog;
    return command == L"key" ? CmdKey(args, pos[2]) : CmdDpiChanged(args, pos[2]);
  }
  if (command == L"focus" && need(1)) {
    if (args.m_filter.m_nKind == WindowKind::kAny) args.m_filter.m_nKind = WindowKind::kDialog;
    return CmdFocus(args);
  }
  if (command == L"answer" && need(2)) {
    args.m_filter.m_nKind = WindowKind::kMessageBox;
    return CmdAnswer(args, pos[2]);
  }
  if ((command == L"state" || command == L"click" || command == L"watch" || command == L"accessible") && need(2)) {
    long long id = 0;
    if (!ParseNumber(pos[2], &id) || id < 0 || id > 0xFFFF) return Usage("control id: a number 0..65535");
    args.m_filter.m_nControlId = static_cast<int>(id);
    if (command == L"watch") return CmdWatch(args);
    if (command == L"accessible") return CmdAccessible(args);
    return command == L"state" ? CmdState(args) : CmdClick(args);
  }
  return Usage("unknown command or wrong number of arguments");
}

int RunGuarded(const std::vector<std::wstring>& argv) {
  try {
    return Run(argv);
  } catch (...) {
    fprintf(stderr, "ui_driver: unexpected failure\n");
    return kFailed;
  }
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

// One driver process for many commands, so that a test pays Wine's process start once: each
// stdin line is one command with its arguments separated by tabs (UTF-8); its output is followed
// by the line {"end":true,"rc":N}. Ends at the end of input.
int Serve() {
  std::string line;
  for (int c = fgetc(stdin);; c = fgetc(stdin)) {
    if (c != EOF && c != '\n') {
      if (c != '\r') line += static_cast<char>(c);
      continue;
    }
    if (!line.empty()) {
      std::vector<std::wstring> argv;
      size_t start = 0;
      for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        argv.push_back(FromUtf8(line.substr(start, tab - start)));
      }
      argv.push_back(FromUtf8(line.substr(start)));
      const int rc = argv[0] == L"serve" ? Usage("serve: not inside serve") : RunGuarded(argv);
      PrintLine(CJsonObject().Bool("end", true).Int("rc", rc));
      line.clear();
    }
    if (c == EOF) return kOk;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" line ends, not "\r\n"
  _setmode(_fileno(stdin), _O_BINARY);
  if (argc == 2 && std::wstring(argv[1]) == L"serve") return Serve();
  return RunGuarded(std::vector<std::wstring>(argv + 1, argv + argc));
}

// A PC for the workflow's native tests: files and folders in memory (the driver families' files
// among them), INI files read from their text, a server of URLs, scripted answers of the update
// library and the starts, and one record of everything the workflow traced, did and showed, in
// order.
#pragma once

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "bootstrap/core/driver_decisions.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/pc_system.h"

namespace qv::bootstrap::testing {

// The system's error for a file that another handle keeps from being written or deleted.
constexpr unsigned kErrorSharingViolation = 32;

class ScriptedPc : public PcSystem, public RunView {
 public:
  ScriptedPc() {
    files[systemFolder + L"\\" + kMsiexec] = L"MZ";
    InstallDrivers();
  }

  // The record: trace lines as they are, everything else as "> what".
  std::vector<std::wstring> events;

  std::wstring base = L"C:\\Users\\ann\\Templates";
  std::map<std::wstring, std::wstring> files;  // full path -> content
  std::set<std::wstring> folders;
  std::set<std::wstring> refusedFolders;  // folders that cannot be created
  std::set<std::wstring> links;  // paths that are links; anything below one is reached through it
  std::map<std::wstring, std::wstring> server;  // URL -> content; any other URL fails
  std::wstring cancelAtUrl;                     // downloading this URL is the user's cancel
  std::atomic<int>* userCancel = nullptr;
  bool online = true;

  PackageQuery packageQuery{LibraryCall::Returned, 1, L"http://dl.example/pxpc/", L"MSG_OK", L""};
  LibraryCall usageLibrary = LibraryCall::Returned;  // NotLoaded or NoExport: OpenUsageReport fails
  UsageAnswer usageStart{LibraryCall::Returned, 1, "H42"};

  std::wstring programFiles = L"C:\\Program Files";
  std::wstring systemFolder = L"C:\\Windows\\system32";
  std::wstring programConfig;                    // the text of config.ini beside the program
  std::map<std::wstring, std::wstring> versions;  // file -> its version; any other file has none
  bool installerInstalls = true;  // a program waited for to its end leaves every family installed
  bool programStarts = true;
  unsigned startError = 740;            // the system's error of a start that fails
  uint32_t exitCode = 0;                // of a program that ends
  bool programEnds = true;              // within the time it is waited for
  std::set<std::wstring> unholdableFolders;  // in use without sharing, or otherwise refused (error 32)
  std::multiset<std::wstring> heldFolders;   // held now: none of them can be removed
  std::set<std::wstring> unmovableFiles;     // targets that cannot be replaced
  std::multiset<std::wstring> heldFiles;     // held now: nobody can write, replace or delete them
  uint32_t ticks = 1000;
  std::set<std::wstring> unsignedFiles;  // refused by the maker's signature check
  bool signatureRequired = false;         // the phone asks for the maker's signature
  std::set<std::wstring> swappedAfterCopy;  // replaced by another program right after a copy
  bool factoryLine = false;
  bool administrator = true;
  int selectedMode = -1;  // the phone's answer byte; -1: the phone does not answer
  PhoneSwitch phoneSwitch = PhoneSwitch::Switched;

  void Trace(const std::wstring& line) override { events.push_back(line); }
  std::wstring BaseFolder() override { return base; }
  bool FileExists(const std::wstring& path) override { return !ThroughLink(path) && files.count(path) > 0; }
  bool AnythingAt(const std::wstring& path) override {
    return links.count(path) > 0 || (!ThroughLink(path) && (files.count(path) > 0 || folders.count(path) > 0));
  }
  bool IsFolder(const std::wstring& path) override { return folders.count(path) > 0; }
  FileResult CreateFolder(const std::wstring& path) override {
    Did(L"CreateFolder " + path);
    if (refusedFolders.count(path)) return {5};  // access denied
    return {!links.count(path) && folders.insert(path).second ? 0u : 183u};  // already exists
  }
  void RemoveFolder(const std::wstring& path) override {
    Did(L"RemoveFolder " + path);
    const bool empty = std::none_of(files.begin(), files.end(), [&path](const auto& file) { return Below(file.first, path); });
    if (empty && !ThroughLink(path) && !heldFolders.count(path)) folders.erase(path);
  }
  // A folder that exists and is reached through no link can be held, unless scripted otherwise.
  std::unique_ptr<FolderHold> HoldFolder(const std::wstring& folder, unsigned& error) override {
    if (ThroughLink(folder) || !folders.count(folder) || unholdableFolders.count(folder)) {
      error = ThroughLink(folder) ? 4390 : folders.count(folder) ? 32 : files.count(folder) ? 267 : kErrorFileNotFound;
      Did(L"HoldFolder " + folder + L" refused");
      return nullptr;
    }
    return std::make_unique<Held<FolderHold>>(*this, folder);
  }
  FileResult MoveFileOver(const std::wstring& source, const std::wstring& target) override {
    Did(L"Move " + source + L" -> " + target);
    if (!FileExists(source)) return {kErrorFileNotFound};
    if (heldFiles.count(source) || heldFiles.count(target)) return {kErrorSharingViolation};
    if (ThroughLink(target) || unmovableFiles.count(target)) return {5};
    files[target] = files[source];
    files.erase(source);
    return {};
  }
  std::wstring SystemErrorText(unsigned error) override {
    return error == 2 ? L"File not found." : error == 5 ? L"Access denied." : std::wstring();
  }
  bool IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) override {
    return !ThroughLink(name.empty() ? folder : folder + L"\\" + name) && !ThroughLink(folder + name);
  }
  void RemoveFile(const std::wstring& path) override {
    Did(L"RemoveFile " + path);
    if (!ThroughLink(path) && !heldFiles.count(path)) files.erase(path);
  }
  FileResult CopyFileOver(const std::wstring& source, const std::wstring& target) override {
    Did(L"Copy " + source + L" -> " + target);
    if (!files.count(source)) return {kErrorFileNotFound};
    // A held target stays; it counts as the copy when it holds the source's bytes already.
    if (heldFiles.count(target)) return {files.count(target) && files[target] == files[source] ? 0u : kErrorSharingViolation};
    files[target] = swappedAfterCopy.count(target) ? L"planted" : files[source];
    return {};
  }
  std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key) override {
    auto found = files.find(file);
    return found == files.end() ? std::wstring() : IniValue(found->second, section, key).substr(0, 259);
  }
  std::string NarrowText(const std::wstring& text) override {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
  }
  bool IsOnline() override {
    Did(L"IsOnline");
    return online;
  }
  // A URL the server lacks answers 404; the cancel's URL ends as cancelled.
  DownloadResult Download(const std::wstring& url, const std::wstring& file, const DownloadLimits& limits,
                          const std::atomic<int>* cancel, const FolderHold&) override {
    Did(L"Download " + url + L" -> " + file +
        (limits.totalMs ? L" (within " + std::to_wstring(limits.totalMs) + L" ms)" : L"") +
        (cancel ? L" (cancellable)" : L""));
    files.erase(file);
    if (url == cancelAtUrl && userCancel) {
      *userCancel = 1;
      return {false, L"GET " + url + L" ended: cancelled after 5 ms"};
    }
    auto served = server.find(url);
    if (served == server.end()) return {false, L"GET " + url + L" answered HTTP 404"};
    files[file] = served->second;
    return {true, L""};
  }
  PackageQuery CheckPxpc(const std::wstring& programFolder, const std::wstring& phoneFolder,
                         const std::string& testVersion) override {
    Did(L"CheckPXPC " + programFolder + L" " + phoneFolder + L" [" + std::wstring(testVersion.begin(), testVersion.end()) + L"]");
    return packageQuery;
  }
  std::unique_ptr<UsageReport> OpenUsageReport(const std::wstring& programFolder, const std::wstring& phoneFolder,
                                               LibraryCall& failure) override {
    Did(L"OpenUsageReport " + programFolder + L" " + phoneFolder);
    failure = usageLibrary;
    return usageLibrary == LibraryCall::Returned ? std::make_unique<Usage>(*this) : nullptr;
  }
  std::wstring ProgramFilesFolder() override { return programFiles; }
  std::wstring SystemFolder() override { return systemFolder; }
  std::wstring FileVersion(const std::wstring& path) override {
    auto found = versions.find(path);
    return found == versions.end() ? L"0.0.0.0" : found->second;
  }
  std::wstring ReadProgramConfig(const std::wstring& section, const std::wstring& key) override {
    return IniValue(programConfig, section, key).substr(0, 259);
  }
  // The copy is held while it holds the phone's bytes (error 2 for either when it is missing).
  std::unique_ptr<FileHold> HoldPhonesCopy(const std::wstring& copy, const std::wstring& phone, unsigned& copyError,
                                           unsigned& phoneError) override {
    copyError = FileExists(copy) ? 0 : kErrorFileNotFound;
    phoneError = FileExists(phone) ? 0 : kErrorFileNotFound;
    if (copyError || phoneError || files[copy] != files[phone]) return nullptr;
    return std::make_unique<Held<FileHold>>(*this, copy);
  }
  std::unique_ptr<FileHold> HoldSignedByMaker(const std::wstring& path) override {
    if (unsignedFiles.count(path)) {
      Trace(L"[SIGNATURE] [" + path + L"] refused\r\n");
      return nullptr;
    }
    return std::make_unique<Held<FileHold>>(*this, path);
  }
  bool IsSignatureRequired() override { return signatureRequired; }
  // Any file that exists can be held; its head is its text's first characters, narrowed.
  std::unique_ptr<FileHold> HoldFile(const std::wstring& path, size_t headBytes, std::string& head) override {
    if (!FileExists(path)) return nullptr;
    head.clear();
    for (wchar_t c : files[path].substr(0, headBytes)) head += static_cast<char>(c);
    return std::make_unique<Held<FileHold>>(*this, path);
  }
  bool IsHeldSignedByMaker(const FileHold& file) override {
    const std::wstring& path = static_cast<const Held<FileHold>&>(file).path;
    Trace(L"[SIGNATURE] [" + path + (unsignedFiles.count(path) ? L"] refused\r\n" : L"] accepted\r\n"));
    return unsignedFiles.count(path) == 0;
  }
  ProgramStart StartProgram(const std::wstring& program, const std::wstring& arguments,
                            const std::wstring& folder) override {
    Did(L"Start " + program + L" [" + arguments + L"] in " + folder);
    ProgramStart start;
    if (programStarts && FileExists(program)) {
      start.program = std::make_unique<Program>(*this, arguments);
    } else {
      start.error = FileExists(program) ? startError : kErrorFileNotFound;
    }
    return start;
  }
  bool IsFactoryLine() override { return factoryLine; }
  bool IsAdministrator() override { return administrator; }
  bool ReadSelectedMode(char driveLetter, unsigned char& answer) override {
    Did(L"ReadSelectedMode " + Letter(driveLetter));
    if (selectedMode < 0) return false;
    answer = static_cast<unsigned char>(selectedMode);
    return true;
  }
  PhoneSwitch SwitchMode(int modeExport, char driveLetter) override {
    Did(L"SwitchMode " + std::to_wstring(modeExport) + L" " + Letter(driveLetter));
    return phoneSwitch;
  }
  uint32_t TickCount() override { return ticks += 5; }
  void Pause(uint32_t milliseconds) override { Did(L"Pause " + std::to_wstring(milliseconds)); }

  void SetProgressDisplay(ProgressDisplay display, bool stop) override {
    Did(std::wstring(L"Display ") + (display == ProgressDisplay::Download ? L"download" : L"install") +
        (stop ? L" stop" : L" start"));
  }
  void RaiseProgress(int position) override { Did(L"Progress " + std::to_wstring(position)); }
  void ShowMessage(const std::wstring& text) override { Did(L"Message " + text); }
  void BringToFront() override { Did(L"BringToFront"); }

  void Did(const std::wstring& what) { events.push_back(L"> " + what); }

  // The driver files of the families (every family when none is named) there, or none of them.
  void InstallDrivers(std::set<int> types = {kDriverUnison, kDriverCbwUnison, kDriverModem, kDriverAndroid,
                                             kDriverZodavozUro}) {
    for (int type : types) {
      for (const DriverFilePair& pair : DriverFilePairs(type)) {
        files[GetDriverFolder(programFiles, type) + L"\\" + pair.name32] = L"driver";
      }
    }
  }
  void RemoveDrivers() {
    for (auto file = files.begin(); file != files.end();) {
      file = Below(file->first, programFiles) ? files.erase(file) : ++file;
    }
  }
  static std::wstring Letter(char letter) { return letter ? std::wstring(1, static_cast<wchar_t>(letter)) : L"(none)"; }

  static bool Below(const std::wstring& path, const std::wstring& folder) {
    return path.compare(0, folder.size() + 1, folder + L"\\") == 0;
  }
  // Whether the path is a link or lies below one.
  bool ThroughLink(const std::wstring& path) const {
    return std::any_of(links.begin(), links.end(), [&path](const std::wstring& link) { return path == link || Below(path, link); });
  }

  // The value of `key` in `section` of an INI text, letter case aside in both names.
  static std::wstring IniValue(const std::wstring& text, const std::wstring& section, const std::wstring& key) {
    std::wistringstream lines(text);
    std::wstring line, current;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.front() == L'[' && line.back() == L']') {
        current = line.substr(1, line.size() - 2);
      } else if (size_t equals = line.find(L'='); equals != std::wstring::npos && SameName(current, section) &&
                                                   SameName(line.substr(0, equals), key)) {
        return line.substr(equals + 1);
      }
    }
    return std::wstring();
  }

  static bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
  }

 private:
  // A held file or folder, recorded when taken and when let go.
  template <typename Base>
  struct Held : Base {
    static constexpr bool kFolder = std::is_same_v<Base, FolderHold>;
    Held(ScriptedPc& pc, std::wstring held) : pc(pc), path(std::move(held)) {
      pc.Did((kFolder ? L"HoldFolder " : L"Hold ") + path);
      Holds().insert(path);
    }
    ~Held() override {
      pc.Did((kFolder ? L"ReleaseFolder " : L"Release ") + path);
      Holds().erase(Holds().find(path));
    }
    std::multiset<std::wstring>& Holds() { return kFolder ? pc.heldFolders : pc.heldFiles; }
    ScriptedPc& pc;
    const std::wstring path;
  };

  // A started program: the waits for its first input and for its end are recorded. A program that
  // ends, unless it removes a package ("/x ..."), is an installer that installs.
  struct Program : StartedProgram {
    Program(ScriptedPc& pc, std::wstring arguments) : pc(pc), arguments(std::move(arguments)) {}
    void WaitUntilIdle(uint32_t milliseconds) override { pc.Did(L"WaitUntilIdle " + std::to_wstring(milliseconds)); }
    bool WaitForEnd(uint32_t milliseconds, uint32_t& exitCode) override {
      pc.Did(L"WaitForEnd " + std::to_wstring(milliseconds));
      if (pc.installerInstalls && arguments.compare(0, 2, kMsiRemove) != 0) pc.InstallDrivers();
      if (!pc.programEnds) return false;
      exitCode = pc.exitCode;
      return true;
    }
    ScriptedPc& pc;
    const std::wstring arguments;
  };

  // The usage statistics: the start report answers as scripted, the end report succeeds.
  struct Usage : UsageReport {
    explicit Usage(ScriptedPc& pc) : pc(pc) {}
    UsageAnswer Report(const std::string& historyId, const std::string& state) override {
      pc.Did(L"Report [" + std::wstring(historyId.begin(), historyId.end()) + L"] " + std::wstring(state.begin(), state.end()));
      return state == "START" ? pc.usageStart : UsageAnswer{LibraryCall::Returned, 1, ""};
    }
    ScriptedPc& pc;
  };
};

}  // namespace qv::bootstrap::testing

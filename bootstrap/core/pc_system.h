// What the program's workflow asks of the PC, and what it shows on its window. The workflow
// (workflow.h) reaches the system only through these two interfaces: the program implements them
// over the system calls, the native tests with a scripted PC.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/core/download_loop.h"
#include "bootstrap/core/file_hold.h"
#include "common/core/trace_sink.h"

namespace qv::bootstrap {

// How a call into the update library went. The library is loaded from the program's folder only
// while it holds the phone's bytes; `NotLoaded` covers that refusal and a failed load alike.
enum class LibraryCall { NotLoaded, NoExport, Threw, Returned };

// The update library's buffer for the test version, with its terminator: a longer version would be
// cut, and so ask for some other version.
constexpr size_t kTestVersionBufferBytes = 20;

// The update service's answer about the PC tool's package.
struct PackageQuery {
  LibraryCall call = LibraryCall::NotLoaded;
  int named = 0;             // the export's result: non-zero when it named a package
  std::wstring downloadUrl;  // the package's URL as the service named it
  std::wstring resultWord;   // the service's result word (MSG_...)
  std::wstring cause;        // when it named none, why, as the library tells it (may be empty)
};

// One answer of the usage-statistics export.
struct UsageAnswer {
  LibraryCall call = LibraryCall::NotLoaded;
  int result = 0;
  std::string historyId;  // the new history id of a start report
};

// How a call on a file or folder went: the system's error, 0 when it succeeded.
struct FileResult {
  unsigned error = 0;
  explicit operator bool() const { return error == 0; }
};

// How a download went; when it failed, why (the address and the server's status, the network's
// error, or the limit it ran into).
struct DownloadResult {
  bool complete = false;
  std::wstring cause;
  explicit operator bool() const { return complete; }
};

// The usage-statistics export, loaded for one package download and released with this object.
class UsageReport {
 public:
  virtual ~UsageReport() = default;
  // The start report (`state` "START", `historyId` empty; the answer carries the new id) or the
  // end report ("OK" or "FAIL") of the history `historyId`.
  virtual UsageAnswer Report(const std::string& historyId, const std::string& state) = 0;
};

// The system's error for a file or folder that is not there.
constexpr unsigned kErrorFileNotFound = 2;

// A program the workflow started, for as long as it waits on it.
class StartedProgram {
 public:
  virtual ~StartedProgram() = default;
  // Waits at most `milliseconds` until the program waits for its user's input (it has bound its
  // libraries by then).
  virtual void WaitUntilIdle(uint32_t milliseconds) = 0;
  // Waits at most `milliseconds` until the program ends; the wait also ends when keyboard or mouse
  // input reaches the calling thread's queue. True, with its exit code, when it has ended.
  virtual bool WaitForEnd(uint32_t milliseconds, uint32_t& exitCode) = 0;
};

// How a start went: the program (null when it did not start) or the system's error.
struct ProgramStart {
  std::unique_ptr<StartedProgram> program;
  unsigned error = 0;
};

// An installer may wait for its user, but not for ever: past this the run goes on, and the driver
// files it finds decide whether the installation succeeded.
constexpr uint32_t kInstallerWaitMs = 10 * 60 * 1000;

// How an installer's run went: started or not (with the system's error), and when it ended within
// the time it is given, its exit code.
struct InstallerRun {
  bool started = false;
  unsigned error = 0;
  bool ended = false;
  uint32_t exitCode = 0;
};

// The driver's installers as the run knows them.
struct DriverPackage {
  bool preloadSame = false;   // the server named the phone's own installer
  std::wstring preloadDriver;  // the phone's installer's path beside the program; empty: none
  std::wstring serverDriver;   // the installer downloaded from the server
  std::wstring launchDrive;    // the phone's drive letter; empty on a phone start
  std::wstring preloadName;    // the phone's installer relative to the phone's root; empty: none
  std::wstring programFolder;  // with its final backslash
  int preloadType = 0;         // the family the phone carries
};

// How a mode switch went: the phone switched, it did not (or was not asked), or the library threw.
enum class PhoneSwitch { Switched, Failed, Threw };

// Every line of a run's trace log goes through the inherited Trace.
class PcSystem : public qv::TraceSink {
 public:

  // Files and folders. The user's base folder (empty when unknown); a file that can be opened;
  // anything at all under that name (a file, a folder or a link); a folder; a new folder; an empty
  // folder removed; no link on the way from the user's profile (or from `folder`) down to
  // folder\name; a file deleted even when read-only (a link is left alone); a copy over a target
  // that may be read-only, or that already holds the source's bytes; a file moved over another
  // (which may be read-only) in the same volume.
  virtual std::wstring BaseFolder() = 0;
  virtual bool FileExists(const std::wstring& path) = 0;
  virtual bool AnythingAt(const std::wstring& path) = 0;
  virtual bool IsFolder(const std::wstring& path) = 0;
  virtual FileResult CreateFolder(const std::wstring& path) = 0;
  virtual void RemoveFolder(const std::wstring& path) = 0;
  virtual bool IsFreeOfLinks(const std::wstring& folder, const std::wstring& name) = 0;
  virtual void RemoveFile(const std::wstring& path) = 0;
  virtual FileResult CopyFileOver(const std::wstring& source, const std::wstring& target) = 0;
  virtual FileResult MoveFileOver(const std::wstring& source, const std::wstring& target) = 0;
  // The system's text for one of its error numbers (empty when it has none).
  virtual std::wstring SystemErrorText(unsigned error) = 0;
  // Holds `folder` (no final backslash) and every folder from the user's profile down to it, each
  // opened as itself and never through a link: while the hold lives none of them can be renamed,
  // replaced, removed or made a link. Null, with the system's error, when one is a link or cannot
  // be held.
  virtual std::unique_ptr<FolderHold> HoldFolder(const std::wstring& folder, unsigned& error) = 0;
  // A value of an INI file: empty when missing, at most 259 characters.
  virtual std::wstring ReadProfileString(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key) = 0;
  // The text in the system's 8-bit code page, as the update library takes it.
  virtual std::string NarrowText(const std::wstring& text) = 0;

  // The network: whether the PC is online (probed once a run), and one download into a file of
  // the held folder `folder` that leaves no file behind when it fails; the file written must lie in
  // that folder when it is complete. `cancel`, when given, stops it between arrivals.
  virtual bool IsOnline() = 0;
  virtual DownloadResult Download(const std::wstring& url, const std::wstring& file, const DownloadLimits& limits,
                        const std::atomic<int>* cancel, const FolderHold& folder) = 0;

  // The update library of `programFolder`, proven to be the phone's copy in `phoneFolder`.
  virtual PackageQuery CheckPxpc(const std::wstring& programFolder, const std::wstring& phoneFolder,
                                 const std::string& testVersion) = 0;
  // Null with `failure` set when the library or its export cannot be had.
  virtual std::unique_ptr<UsageReport> OpenUsageReport(const std::wstring& programFolder,
                                                       const std::wstring& phoneFolder, LibraryCall& failure) = 0;

  // Proven files. Holds `copy` while it holds the bytes of `phone` (null otherwise, with the
  // system's errors for the copy and the phone's file, 0 where it opened), or `path` while it
  // carries the maker's signature where the phone asks for one (null when refused; the verdict is
  // traced). Nothing can change a held file: others can neither write nor delete it.
  virtual std::unique_ptr<FileHold> HoldPhonesCopy(const std::wstring& copy, const std::wstring& phone,
                                                   unsigned& copyError, unsigned& phoneError) = 0;
  virtual std::unique_ptr<FileHold> HoldSignedByMaker(const std::wstring& path) = 0;
  // Whether the phone asks for the maker's signature (then every file of code a package brings
  // must bear it); a held file with its first bytes (at most `headBytes`, in `head`; null when it
  // cannot be held), and whether such a held file bears the signature (the verdict traced).
  virtual bool IsSignatureRequired() = 0;
  virtual std::unique_ptr<FileHold> HoldFile(const std::wstring& path, size_t headBytes, std::string& head) = 0;
  virtual bool IsHeldSignedByMaker(const FileHold& file) = 0;

  // What the USB driver's decisions read: the system's Program Files folder (where the driver
  // families install) and its own folder (msiexec's), each empty when unknown; the version of a
  // file from its version resource ("0.0.0.0" without one); and a value of config.ini beside the
  // program as this start may read it (empty when missing, and for every key of a file refused).
  virtual std::wstring ProgramFilesFolder() = 0;
  virtual std::wstring SystemFolder() = 0;
  virtual std::wstring FileVersion(const std::wstring& path) = 0;
  virtual std::wstring ReadProgramConfig(const std::wstring& section, const std::wstring& key) = 0;

  // Starts `program` (a full path) as itself with `arguments` in `folder`.
  virtual ProgramStart StartProgram(const std::wstring& program, const std::wstring& arguments,
                                    const std::wstring& folder) = 0;

  // The PC's standing: a PC of the factory line (its registry mark), and a user in the
  // Administrators group.
  virtual bool IsFactoryLine() = 0;
  virtual bool IsAdministrator() = 0;

  // The phone, through the mode-switch library and only on a CD-ROM drive (any other drive is a
  // phone that does not answer): its selected USB mode (`answer` keeps its first byte when the
  // phone gives none), and the switch to the mode of export `modeExport` (0..5).
  virtual bool ReadSelectedMode(char driveLetter, unsigned char& answer) = 0;
  virtual PhoneSwitch SwitchMode(int modeExport, char driveLetter) = 0;

  // Time: the system's millisecond tick count, and a pause of the calling thread.
  virtual uint32_t TickCount() = 0;
  virtual void Pause(uint32_t milliseconds) = 0;
};

enum class ProgressDisplay { Download, Install };

// What the workflow shows on the run's window.
class RunView {
 public:
  virtual ~RunView() = default;
  // Starts or stops the creeping display of a long step.
  virtual void SetProgressDisplay(ProgressDisplay display, bool stop) = 0;
  // Raises the bar to at least `position`.
  virtual void RaiseProgress(int position) = 0;
  // A warning the user must acknowledge.
  virtual void ShowMessage(const std::wstring& text) = 0;
  // Brings the run's window back in front after an installer's windows.
  virtual void BringToFront() = 0;
};

}  // namespace qv::bootstrap

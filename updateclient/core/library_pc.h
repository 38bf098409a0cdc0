// What the library's procedures (the agent installation, the tool check and the launcher start)
// ask of the PC. They reach the system only through this interface: the library implements it over
// the system calls and its two dialogs, the native tests with a scripted PC. Narrow (ANSI) texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/core/signature_policy.h"
#include "common/core/trace_sink.h"

namespace qv::updateclient {

// Where the procedures find the update service: its base address and the host of the probe.
struct ServiceEndpoints {
  std::string baseUrl;
  std::string probeHost;
};

// A file held open so that nobody can change it, for as long as the hold lives.
class HeldProgram {
 public:
  virtual ~HeldProgram() = default;
};

enum class RegistryRoot { LocalMachine, CurrentUser };

// One value of a registry write: a text, or a number when |isNumber|.
struct RegistryValue {
  const char* name;
  std::string text;
  uint32_t number = 0;
  bool isNumber = false;
};

// How a registry write went: the values written in order before the first that failed
// (all of them when it succeeded), and the system's error of the step that failed. A key that
// could not be opened or created has |keyOpened| false and nothing written.
struct RegistryWrite {
  bool keyOpened = true;
  size_t written = 0;
  unsigned error = 0;
};

// What the download dialog is given: the package's address, the agent folder it goes to, its
// place there (which names it), the signature it must bear and which texts the dialog shows.
struct PackageDownload {
  std::string url;
  std::string targetFolder;
  std::string filePath;
  const qv::SignaturePolicy* policy = nullptr;  // outlives the dialog
  bool alternativeTexts = false;
};

// How the download dialog ended: cancelled by the user, closed after a package that did not
// arrive whole or could not be put in place, or closed with every file of it in place.
enum class DownloadShown { kCancelled, kNotInstalled, kInstalled };

// The PC as the procedures see it: the network, files, processes, the registry and the two
// dialogs. Every trace line goes through the inherited Trace.
class LibraryPc : public qv::NarrowTraceSink {
 public:
  // True when |host| answers the probe.
  virtual bool IsServerReachable(const std::string& host) = 0;
  // The answer's markup, converted to the ANSI code page; empty on any failure.
  virtual std::string GetMarkup(const std::string& url) = 0;
  // Why the last request failed, for the caller's trace (see transport.h).
  virtual void NoteFailureCause(const std::string& cause) = 0;
  virtual std::string FailureCause() = 0;
  // The user's country as the locale abbreviates it ("DEU"), which the service's table is asked for.
  virtual std::string LocaleCountryCode() = 0;

  // The common application data folder with its final backslash.
  virtual std::string CommonDataFolder() = 0;
  // Anything at all under the name; a file (not a folder).
  virtual bool AnythingAt(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // The FileVersion text as the agents compare it; empty without one.
  virtual std::string FileVersionText(const std::string& path) = 0;
  // No step of |path| below the common data folder is a link; what does not exist is no link.
  virtual bool IsFreeOfLinks(const std::string& path) = 0;
  // Makes |folder| (no final backslash), or takes it back, so that only administrators can change
  // it (what it did is traced).
  virtual bool ProtectFolder(const std::string& folder) = 0;
  // Only administrators can change the file.
  virtual bool IsAdministratorsOnly(const std::string& path) = 0;
  // The file held; null when it cannot be.
  virtual std::unique_ptr<HeldProgram> HoldProgram(const std::string& path) = 0;
  // Whether the held file bears the maker's signature under |policy| (the verdict traced).
  virtual bool IsSignedByMaker(const qv::SignaturePolicy& policy, const HeldProgram& held) = 0;
  // The maker's signature setting beside the library (traced when it requires one or is malformed).
  virtual qv::SignaturePolicy ReadSignaturePolicy() = 0;
  // Copies |source| over |target|.
  virtual bool CopyFileOver(const std::string& source, const std::string& target) = 0;

  // The id of a process of the caller's session running |image|, else 0.
  virtual uint32_t FindProcess(const std::string& image) = 0;
  // Ends process |id| when it still runs |expectedImage|; id 0 ends nothing.
  virtual bool EndProcess(uint32_t id, const std::string& expectedImage) = 0;
  virtual bool IsMutexPresent(const std::string& name) = 0;
  // Starts |path| as itself in |folder| without arguments; when it did not start, |error| is the
  // system's error.
  virtual bool StartProgram(const std::string& path, const std::string& folder, unsigned& error) = 0;

  // Opens or creates |subKey| of |root| and writes |values| in order, each flushed at once; stops
  // at the first step that fails.
  virtual RegistryWrite WriteValues(RegistryRoot root, const std::string& subKey,
                                    std::initializer_list<RegistryValue> values) = 0;

  // Asks whether to download the software: true for "Install Now".
  virtual bool AskToInstall(bool alternativeTexts) = 0;
  // Shows the download, which puts the package in place once it is whole.
  virtual DownloadShown ShowDownload(const PackageDownload& download) = 0;
};

}  // namespace qv::updateclient

// A PC for the library's procedures in native tests: files with their version texts in memory,
// links, processes and mutexes, a server of URLs, a registry, scripted answers of the two dialogs,
// and one record of everything the procedures traced and did, in order.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "updateclient/core/library_pc.h"

namespace qv::updateclient::testing {

class ScriptedLibraryPc : public LibraryPc {
 public:
  // The record: trace lines as they are, everything else as "> what".
  std::vector<std::string> events;

  std::string root = "C:\\ProgramData\\";
  std::map<std::string, std::string> files;  // full path -> its FileVersion text ("" for none)
  std::set<std::string> folders;              // without their final backslash
  std::set<std::string> links;                // paths that are links; anything below one is reached through it
  std::set<std::string> openToEveryone;       // files others can change
  std::set<std::string> unholdable;           // files that cannot be held
  std::set<std::string> unsignedFiles;        // refused by the maker's signature check
  std::set<std::string> unprotectableFolders; // the folder protection refuses them
  qv::SignaturePolicy policy;                 // the maker's setting beside the library
  std::map<std::string, uint32_t> processes;  // image -> id
  std::set<std::string> mutexes;
  std::map<std::string, unsigned> startErrors;  // programs the system does not start, with its error
  bool reachable = true;
  std::map<std::string, std::string> server;  // URL -> markup; any other URL answers nothing
  std::string cause;                          // the failure cause as noted
  std::string localeCountry = "DEU";
  std::map<std::string, std::string> registry;  // "HKLM\\key\\name" -> value
  std::set<std::string> refusedKeys;            // "HKLM\\key": cannot be opened or created (error 5)
  std::set<std::string> refusedValues;          // "HKLM\\key\\name": cannot be written (error 5)
  bool userAccepts = true;                    // the question's answer
  DownloadShown downloadShown = DownloadShown::kInstalled;
  std::map<std::string, std::string> package;  // what an installed download puts in the agent folder: name -> version

  // The record of a procedure's run from |from| on.
  std::vector<std::string> EventsFrom(size_t from) const {
    return std::vector<std::string>(events.begin() + static_cast<std::ptrdiff_t>(from), events.end());
  }

  void Trace(const std::string& line) override { events.push_back(line); }

  bool IsServerReachable(const std::string& host) override {
    Did("Probe " + host);
    return reachable;
  }
  std::string GetMarkup(const std::string& url) override {
    Did("GET " + url);
    return server.count(url) ? server.at(url) : std::string();
  }
  void NoteFailureCause(const std::string& text) override { cause = text; }
  std::string FailureCause() override { return cause; }
  std::string LocaleCountryCode() override { return localeCountry; }

  std::string CommonDataFolder() override { return root; }
  bool AnythingAt(const std::string& path) override {
    return links.count(path) > 0 || files.count(path) > 0 || folders.count(path) > 0;
  }
  bool FileExists(const std::string& path) override { return !ThroughLink(path) && files.count(path) > 0; }
  std::string FileVersionText(const std::string& path) override { return FileExists(path) ? files.at(path) : std::string(); }
  bool IsFreeOfLinks(const std::string& path) override { return !ThroughLink(path); }
  bool ProtectFolder(const std::string& folder) override {
    Did("Protect " + folder);
    if (unprotectableFolders.count(folder)) return false;
    folders.insert(folder);
    return true;
  }
  bool IsAdministratorsOnly(const std::string& path) override { return openToEveryone.count(path) == 0; }
  std::unique_ptr<HeldProgram> HoldProgram(const std::string& path) override {
    if (!files.count(path) || unholdable.count(path)) return nullptr;
    Did("Hold " + path);
    return std::make_unique<Held>(*this, path);
  }
  bool IsSignedByMaker(const qv::SignaturePolicy& asked, const HeldProgram& held) override {
    const std::string& path = static_cast<const Held&>(held).path;
    if (!asked.IsRequired()) return true;
    const bool signedByMaker = unsignedFiles.count(path) == 0;
    Trace("[SIGNATURE] [" + path + "] " + (signedByMaker ? "accepted" : "refused"));
    return signedByMaker;
  }
  qv::SignaturePolicy ReadSignaturePolicy() override {
    Did("ReadSignaturePolicy");
    return policy;
  }
  bool CopyFileOver(const std::string& source, const std::string& target) override {
    Did("Copy " + source + " -> " + target);
    if (!files.count(source)) return false;
    files[target] = files[source];
    return true;
  }

  uint32_t FindProcess(const std::string& image) override { return processes.count(image) ? processes.at(image) : 0; }
  bool EndProcess(uint32_t id, const std::string& expectedImage) override {
    Did("End " + std::to_string(id) + " " + expectedImage);
    auto found = processes.find(expectedImage);
    if (found != processes.end() && found->second == id) processes.erase(found);
    return true;
  }
  bool IsMutexPresent(const std::string& name) override { return mutexes.count(name) > 0; }
  bool StartProgram(const std::string& path, const std::string& folder, unsigned& error) override {
    Did("Start " + path + " in " + folder + (heldNow.count(path) ? " (held)" : ""));
    auto refused = startErrors.find(path);
    error = refused == startErrors.end() ? 0 : refused->second;
    return error == 0;
  }

  RegistryWrite WriteValues(RegistryRoot rootKey, const std::string& subKey,
                            std::initializer_list<RegistryValue> values) override {
    const std::string key = std::string(rootKey == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + subKey;
    if (refusedKeys.count(key)) {
      Did("Registry " + key + " refused");
      return RegistryWrite{false, 0, 5};
    }
    RegistryWrite write;
    for (const RegistryValue& value : values) {
      const std::string text = value.isNumber ? std::to_string(value.number) : value.text;
      Did("Registry " + key + " " + value.name + "=" + text);
      if (refusedValues.count(key + "\\" + value.name)) {
        write.error = 5;
        return write;
      }
      registry[key + "\\" + value.name] = text;
      ++write.written;
    }
    return write;
  }

  bool AskToInstall(bool alternativeTexts) override {
    Did(std::string("Ask") + (alternativeTexts ? " (alternative texts)" : ""));
    return userAccepts;
  }
  DownloadShown ShowDownload(const PackageDownload& download) override {
    Did("Download " + download.url + " -> " + download.filePath + " into " + download.targetFolder +
        (download.policy && download.policy->IsRequired() ? " (signed)" : "") + (download.alternativeTexts ? " (alternative texts)" : ""));
    if (downloadShown == DownloadShown::kInstalled) {
      for (const auto& file : package) files[download.targetFolder + file.first] = file.second;
    }
    return downloadShown;
  }

 private:
  // A held file, known to the PC while the hold lasts.
  struct Held : HeldProgram {
    Held(ScriptedLibraryPc& pc, std::string heldPath) : owner(pc), path(std::move(heldPath)) { owner.heldNow.insert(path); }
    ~Held() override { owner.heldNow.erase(owner.heldNow.find(path)); }
    ScriptedLibraryPc& owner;
    std::string path;
  };

  void Did(const std::string& what) { events.push_back("> " + what); }
  bool ThroughLink(const std::string& path) const {
    for (const std::string& link : links) {
      if (path == link || path.compare(0, link.size() + 1, link + "\\") == 0) return true;
    }
    return false;
  }

  std::multiset<std::string> heldNow;
};

}  // namespace qv::updateclient::testing

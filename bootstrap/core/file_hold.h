// Holds the workflow takes through the PC: a file held open so that nobody can change it, and a
// folder held so that nobody can rename, replace or remove it, for as long as the hold lives;
// what the workflow proved of either stays true until the hold ends.
#pragma once

namespace qv {
class CHeldFile;
class CHeldFolder;
}  // namespace qv

namespace qv::bootstrap {

// The Windows adapter's holds give back the system's objects they keep (a scripted PC's give
// none), so the adapter takes back only what it made, without asking the type at run time.
class FileHold {
 public:
  virtual ~FileHold() = default;
  virtual const qv::CHeldFile* HeldFile() const { return nullptr; }
};

class FolderHold {
 public:
  virtual ~FolderHold() = default;
  virtual const qv::CHeldFolder* HeldFolder() const { return nullptr; }
};

}  // namespace qv::bootstrap

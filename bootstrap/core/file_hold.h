// Holds the workflow takes through the PC: a file held open so that nobody can change it, and a
// folder held so that nobody can rename, replace or remove it, for as long as the hold lives;
// what the workflow proved of either stays true until the hold ends.
#pragma once

namespace qv::bootstrap {

class FileHold {
 public:
  virtual ~FileHold() = default;
};

class FolderHold {
 public:
  virtual ~FolderHold() = default;
};

}  // namespace qv::bootstrap

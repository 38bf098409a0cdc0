// A file held open so that nobody can change it, for as long as the hold lives; what the workflow
// proved of it stays true until the hold ends.
#pragma once

namespace qv::bootstrap {

class FileHold {
 public:
  virtual ~FileHold() = default;
};

}  // namespace qv::bootstrap

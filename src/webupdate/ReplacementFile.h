#pragma once
// A downloaded file that takes the place of its destination only once it is
// complete. The bytes go to a temporary file in the destination's folder (so that
// the final rename replaces the destination in one step); Commit renames it over
// the destination, anything else removes it. Until Commit the destination keeps
// what it had, or does not appear: a failed or stopped download never leaves a
// half-written file where a good one stood.

#include <string>
#include <string_view>

#include "base/FileAccess.h"

namespace zendra {

class ReplacementFile {
 public:
  explicit ReplacementFile(std::string destination) : destination_(std::move(destination)) {}
  ~ReplacementFile() { Discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file; false when the destination's folder takes no file.
  bool Open();
  // Appends to the temporary file; false when the bytes could not be written.
  bool Write(std::string_view bytes);
  // Writes the file through and renames it over the destination; false (and the
  // temporary file removed) when that fails.
  bool Commit();
  // Removes the temporary file, if any; the destination is left as it was.
  void Discard();

  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& TemporaryPath() const { return temporaryPath_; }

 private:
  std::string destination_;
  std::string temporaryPath_;
  NewFile file_;
};

}  // namespace zendra

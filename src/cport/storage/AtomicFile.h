#pragma once
// Writes a file so that it is either left as it was or replaced as a whole:
// the data go to a new file beside the target, which is flushed to disk and
// then renamed over the target. A symbolic link is followed: the file it
// names is replaced, the link stays.
//
// An existing target keeps its owner, group and mode: the new file is given
// them before it takes the target's place. When they cannot be given (a user
// replacing a file another user owns), nothing is replaced and the failure is
// EPERM: the file would otherwise silently change hands. A target the caller
// may not write (access(2)) is refused with the system's reason, as opening it
// for writing would be, although the rename could replace it.
//
// Failures throw std::system_error with the operating system's error code (in
// the generic category on POSIX) (code().message() is the system's text, "Permission
// denied") and a message naming the target file; the target is then untouched
// and the new file is removed (also when the object is destroyed without
// Commit()).
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace cport {

class AtomicFile {
 public:
  explicit AtomicFile(const std::filesystem::path& target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(std::string_view data);
  // Puts the written data in place of the target; nothing may follow.
  void Commit();

 private:
  std::filesystem::path target_;  // as the caller named it, for messages
  std::filesystem::path resolved_;
  std::filesystem::path temporary_;
  // The new file's descriptor (POSIX) or HANDLE (Windows); -1 when closed.
  std::intptr_t handle_ = -1;
  bool committed_ = false;
};

}  // namespace cport

#pragma once
// Writes a file so that it is either left as it was or replaced as a whole:
// the data go to a new file beside the target, which is flushed to disk and
// then renamed over the target. An existing target keeps its permissions. A
// symbolic link is followed: the file it names is replaced.
//
// Failures throw std::system_error whose message names the target file and
// the operating system's reason; the target is then untouched and the new
// file is removed (also when the object is destroyed without Commit()).
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
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace cport

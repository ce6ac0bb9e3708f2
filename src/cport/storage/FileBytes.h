#pragma once
// Reads a whole regular file into memory, for the settings files the
// component keeps (registry files, ini files).
#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>

namespace cport {

// The bytes of `file`. Errors (in the generic category): ENOENT and the other
// errors of open and read as the system gives them, EISDIR for a directory,
// EINVAL for any other file that is no regular file (a FIFO: never waited on),
// EFBIG for a file larger than `limit` bytes.
std::error_code ReadWholeFile(const std::filesystem::path& file, std::size_t limit,
                              std::string& bytes);

}  // namespace cport

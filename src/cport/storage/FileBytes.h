#pragma once
// Reads a whole regular file into memory, for the settings files the
// component keeps (registry files, ini files).
#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>

namespace cport {

// The bytes of `file`. Errors: those of opening and reading as the system
// gives them (errno in the generic category on POSIX, GetLastError() in the
// system category on Windows; a missing file compares equal to
// std::errc::no_such_file_or_directory on both), and on both
// std::errc::is_a_directory for a directory, std::errc::invalid_argument for
// any other file that is no regular file (a FIFO, a device: never waited on),
// std::errc::file_too_large for a file larger than `limit` bytes.
std::error_code ReadWholeFile(const std::filesystem::path& file, std::size_t limit,
                              std::string& bytes);

}  // namespace cport

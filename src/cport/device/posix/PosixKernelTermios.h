#pragma once
// The kernel's termios2 record, which carries any speed in bits per second, in
// types of our own: <asm/termbits.h> cannot share a translation unit with
// <termios.h>, so only PosixKernelTermios.cpp includes it. Linux only.
#include <cstdint>
#include <system_error>

namespace cport::device {

inline constexpr int kKernelNccs = 19;

struct KernelTermios {
  std::uint32_t iflag = 0;
  std::uint32_t oflag = 0;
  std::uint32_t cflag = 0;  // the speed bits included
  std::uint32_t lflag = 0;
  std::uint8_t line = 0;
  std::uint8_t cc[kKernelNccs] = {};
  std::uint32_t ispeed = 0;  // bits per second, as the kernel reckons them
  std::uint32_t ospeed = 0;
};

// TCGETS2.
std::error_code GetKernelTermios(int fd, KernelTermios& out) noexcept;
// TCSETS2 (applied at once). With `any_speed` the speed bits become BOTHER and
// the kernel takes ispeed/ospeed as they are; otherwise cflag's speed bits rule.
std::error_code SetKernelTermios(int fd, const KernelTermios& in, bool any_speed) noexcept;

}  // namespace cport::device

#pragma once
// A raw pseudo-terminal for a benchmark: the master side plays the fixture,
// the slave's path is what the monitor opens.
#include <string>

namespace bench {

struct BenchPty {
  int master = -1;  // non-blocking
  int slave = -1;   // kept open so the line never hangs up between users
  std::string path;
};

// Opens a pseudo-terminal with both sides raw (no echo, no line editing,
// 8 bits, no translation of CR or LF). False with errno set on failure.
bool OpenRawPty(BenchPty& pty);
void ClosePty(BenchPty& pty);

}  // namespace bench

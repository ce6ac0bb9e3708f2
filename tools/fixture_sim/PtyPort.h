#pragma once
// The simulator's pseudo-terminal: it keeps the master and offers the slave,
// "the port side", to the monitor by its path (/dev/pts/N).
//
// Like a fixture on a cable, it talks only to a listener: while no program
// has the port side open, written bytes are dropped (reported as dropped),
// instead of piling up in the kernel until the line jams and then reaching
// the next program that opens the port as one stale burst. Bytes that the
// listener sends are read and handed to the received callback, so that its
// writes never jam either.
//
// Whether the port side is open is the master's hang-up state: Linux reports
// POLLHUP on the master while the slave, once opened, has no open descriptor.
// A slave that was never opened shows no hang-up, so the constructor opens
// and closes it once. The hang-up state is level-triggered and cannot be
// slept on; an inotify watch on the slave's node (IN_OPEN, IN_CLOSE) wakes the
// waits instead, and where inotify is missing they look again every 20 ms.
//
// One thread uses a PtyPort. Every wait also watches the stop signal.
#include <string>

#include "fixture_sim/FdLine.h"
#include "fixture_sim/Line.h"

namespace fixture_sim {

class PtyPort final : public Line {
 public:
  // Creates the pseudo-terminal, raw (no echo, no line editing, 8 bits, no
  // translation of CR or LF). Throws std::system_error.
  PtyPort();
  ~PtyPort() override;
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // The path a monitor opens, e.g. "/dev/pts/5".
  const std::string& PortPath() const { return path_; }

  // Gets the bytes that the listener sends (default: they are discarded).
  void SetReceived(ReceivedBytes received) { received_ = std::move(received); }

  // Whether a program has the port side open now.
  bool PeerOpen() const;

  // Waits until a program has the port side open. False on stop or deadline.
  bool WaitPeerOpen(const StopSignal& stop, PaceTime deadline = PaceTime::max());

  // Waits until the listener has read every byte written (or has closed the
  // port side), so that closing the master, which throws unread bytes away,
  // loses nothing. False on stop or deadline. Looks every 10 ms: the kernel
  // offers no wake-up for the other side's queue running empty.
  bool WaitDrained(const StopSignal& stop, PaceTime deadline);

  WriteOutcome Write(std::span<const std::uint8_t> bytes) override;
  std::error_code Wait(bool forWrite, PaceTime deadline, const StopSignal& stop) override;

 private:
  // Sleeps on the stop signal and the watch (or 20 ms) until `deadline`,
  // serving the master while the port side is open.
  std::error_code Sleep(bool forWrite, PaceTime deadline, const StopSignal& stop);
  void DrainWatch();

  int master_ = -1;
  int watch_ = -1;  // inotify descriptor, -1 without
  std::string path_;
  ReceivedBytes received_;
};

}  // namespace fixture_sim

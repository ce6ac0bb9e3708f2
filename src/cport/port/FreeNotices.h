#pragma once
// Destruction notices: callbacks an object runs when it is destroyed, so
// that whoever points at it (a control bound to a port) can forget it.
//
// Threads: the owning object's thread only. Lifecycle: a notice runs at most
// once, from the destructor, in the order the notices were added; a notice
// removed before (also by an earlier notice) does not run. A notice must not
// throw and must not use the dying object beyond comparing its address.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace cport {

class FreeNotices {
 public:
  using Ticket = std::uint64_t;

  FreeNotices() = default;
  FreeNotices(const FreeNotices&) = delete;
  FreeNotices& operator=(const FreeNotices&) = delete;
  ~FreeNotices();

  // Registers `notice`; the ticket removes it again.
  Ticket Add(std::function<void()> notice);
  // Forgets the notice; an unknown or spent ticket does nothing.
  void Remove(Ticket ticket) noexcept;
  std::size_t Count() const noexcept { return notices_.size(); }

 private:
  std::vector<std::pair<Ticket, std::function<void()>>> notices_;
  Ticket next_ = 1;
};

}  // namespace cport

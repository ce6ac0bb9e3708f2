#include "cport/port/FreeNotices.h"

#include <algorithm>

namespace cport {

FreeNotices::~FreeNotices() {
  // One at a time off the front: a notice may remove later ones (a control
  // that destroys another bound control), which then must not run.
  while (!notices_.empty()) {
    std::function<void()> notice = std::move(notices_.front().second);
    notices_.erase(notices_.begin());
    notice();
  }
}

FreeNotices::Ticket FreeNotices::Add(std::function<void()> notice) {
  notices_.emplace_back(next_, std::move(notice));
  return next_++;
}

void FreeNotices::Remove(Ticket ticket) noexcept {
  std::erase_if(notices_, [ticket](const auto& entry) { return entry.first == ticket; });
}

}  // namespace cport

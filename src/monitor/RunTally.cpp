#include "monitor/RunTally.h"

namespace monitor {
namespace {

std::string Counted(std::uint32_t n, const char* singular, const char* plural) {
  return std::to_string(n) + ' ' + (n == 1 ? singular : plural);
}

}  // namespace

void RunTally::Record(bool approved) {
  (approved ? approved_ : rejected_) += 1;
  if (streak_ != 0 && streak_approved_ == approved) {
    ++streak_;
  } else {
    streak_ = 1;
    streak_approved_ = approved;
  }
}

std::string ApprovedText(std::uint32_t n) { return Counted(n, "aprovada", "aprovadas"); }
std::string RejectedText(std::uint32_t n) { return Counted(n, "reprovada", "reprovadas"); }
std::string StreakText(std::uint32_t n) { return Counted(n, "seguida", "seguidas"); }

}  // namespace monitor

#pragma once
// The counts of this session's test runs: how many were approved, how many
// rejected, and how many in a row ended as the last one did. Kept by the
// main window, shown beside the verdict, never stored.
//
// User-interface thread only.
#include <cstdint>
#include <string>

namespace monitor {

class RunTally {
 public:
  void Record(bool approved);
  void Reset() { *this = RunTally{}; }

  std::uint32_t Approved() const { return approved_; }
  std::uint32_t Rejected() const { return rejected_; }
  // Runs in a row with the last run's verdict; 0 before the first.
  std::uint32_t Streak() const { return streak_; }
  bool StreakApproved() const { return streak_approved_; }
  bool Empty() const { return approved_ == 0 && rejected_ == 0; }

 private:
  std::uint32_t approved_ = 0;
  std::uint32_t rejected_ = 0;
  std::uint32_t streak_ = 0;
  bool streak_approved_ = false;
};

// The texts of the counts, Windows-1252: "12 aprovadas", "1 aprovada",
// "1 reprovada", "2 reprovadas"; the streak "3 seguidas". One is singular,
// any other number plural.
std::string ApprovedText(std::uint32_t n);
std::string RejectedText(std::uint32_t n);
std::string StreakText(std::uint32_t n);
// The separator between them, " · ".
inline constexpr const char* kTallySeparator = " \xB7 ";

}  // namespace monitor

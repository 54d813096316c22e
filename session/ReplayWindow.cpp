#include "session/ReplayWindow.h"

namespace session {

ReplayWindow::Verdict ReplayWindow::Check(uint64_t sequence) const {
  if (!any_ || sequence > highest_) return Verdict::kNew;
  uint64_t age = highest_ - sequence;
  if (age >= kSize) return Verdict::kTooOld;
  return (seen_ >> age & 1) != 0 ? Verdict::kReplayed : Verdict::kNew;
}

void ReplayWindow::Accept(uint64_t sequence) {
  if (!any_) {
    any_ = true;
    highest_ = sequence;
    seen_ = 1;
    return;
  }
  if (sequence > highest_) {
    uint64_t shift = sequence - highest_;
    seen_ = shift >= kSize ? 0 : seen_ << shift;
    seen_ |= 1;
    highest_ = sequence;
    return;
  }
  uint64_t age = highest_ - sequence;
  if (age < kSize) seen_ |= uint64_t{1} << age;
}

}  // namespace session

#pragma once

#include <cstdint>

namespace session {

// Which sequence numbers of one direction have been received, so that a
// message is accepted once at most while messages may arrive out of order:
// the highest number seen and a bitmap of the kSize numbers below it (the
// sliding window of IPsec, RFC 4303). Numbers older than the window are
// refused, as they can no longer be told apart from replays.
class ReplayWindow {
 public:
  static constexpr uint64_t kSize = 64;

  enum class Verdict { kNew, kReplayed, kTooOld };

  // Judges a number without recording it: record it with Accept only after
  // the message has been verified, so forged messages cannot move the window.
  Verdict Check(uint64_t sequence) const;
  void Accept(uint64_t sequence);

 private:
  bool any_ = false;
  uint64_t highest_ = 0;
  uint64_t seen_ = 0;  // bit i: highest_ - i was received
};

}  // namespace session

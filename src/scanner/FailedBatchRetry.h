// When the scans that a failed processing run left in the scanner are tried again.
//
// The scanner signals stored scans on every poll tick until they are handed on. Processing the
// same scans again every few seconds after a failure would write a history copy and run the
// action (and show its failure) each time. So unchanged scans wait for a pause that starts at
// 30 s and doubles after every further failure, up to 15 minutes. Scans that differ from the
// failed ones are processed at once; Reset (the scanner connected again, or the user asking to
// process again) lifts the pause.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace kessmar {

class FailedBatchRetry {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  static constexpr std::chrono::seconds kFirstPause{30};
  static constexpr std::chrono::seconds kLongestPause{15 * 60};

  // now: the monotonic clock (injectable for tests); empty: Clock::now.
  explicit FailedBatchRetry(Now now = {})
      : now_(now ? std::move(now) : Now([] { return Clock::now(); })) {}

  // True when scans with this content key may be saved and processed now: nothing failed, the
  // content differs from the failed one, or its pause is over.
  bool MayProcess(const std::string& contentKey) const;

  // A processing run of contentKey failed: the pause starts (or doubles, for the same content).
  void Failed(const std::string& contentKey);

  // The scans were handed on; nothing waits any more.
  void Succeeded() { pending_.reset(); }

  // The next attempt comes at once, whatever the content.
  void Reset();

  // The content whose run failed last, while it waits; nullopt when nothing waits.
  const std::optional<std::string>& PendingContent() const { return pending_; }

  // How long the current pause lasts (zero when nothing waits or the pause was lifted).
  std::chrono::seconds Pause() const { return pending_ ? pause_ : std::chrono::seconds(0); }

 private:
  Now now_;
  std::optional<std::string> pending_;
  std::chrono::seconds pause_{0};
  Clock::time_point retryAt_{};
};

}  // namespace kessmar

#include "scanner/FailedBatchRetry.h"

#include <algorithm>

namespace kessmar {

bool FailedBatchRetry::MayProcess(const std::string& contentKey) const {
  return !pending_ || *pending_ != contentKey || now_() >= retryAt_;
}

void FailedBatchRetry::Failed(const std::string& contentKey) {
  if (pending_ && *pending_ == contentKey && pause_.count() > 0) {
    pause_ = std::min(pause_ * 2, kLongestPause);
  } else {
    pause_ = kFirstPause;
  }
  pending_ = contentKey;
  retryAt_ = now_() + pause_;
}

void FailedBatchRetry::Reset() {
  // The content stays known, so that a failure right after starts with the first pause again.
  pause_ = std::chrono::seconds(0);
  retryAt_ = now_();
}

}  // namespace kessmar

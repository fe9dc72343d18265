#include "app/LimitMe.h"

namespace kessmar {

TLimitMe::TLimitMe(std::unique_ptr<platform::SingleInstanceMarker> marker,
                   std::function<void()> terminate)
    : marker_(std::move(marker)), terminate_(std::move(terminate)) {}

bool TLimitMe::DoIExist() {
  if (!marker_->AcquireOrDetectOther(Name())) return false;
  if (Terminate) {
    if (BeforeTerminate) BeforeTerminate(*this);
    if (terminate_) terminate_();
  }
  return true;
}

bool TLimitMe::Exists() {
  return marker_->IsHeldByOther(Name());
}

}  // namespace kessmar

// Per-user marker that one copy of a program is running.
#pragma once

#include <memory>
#include <string>

namespace kessmar::platform {

// A system-wide (per logged-on user) object named after a text. Holding it marks "a copy runs";
// the operating system releases it when the process ends, however it ends.
class SingleInstanceMarker {
 public:
  virtual ~SingleInstanceMarker() = default;

  // Tries to become the holder of the marker `name`. Returns true when another process holds it
  // already (this object then holds nothing). Returns false when this process now holds it until
  // the object is destroyed, and also when the marker cannot be made at all (a copy that cannot
  // tell runs rather than refusing to start). Never throws.
  virtual bool AcquireOrDetectOther(const std::string& name) = 0;

  // True exactly when another process holds the marker `name` now. Holds nothing afterwards.
  virtual bool IsHeldByOther(const std::string& name) = 0;
};

// The implementation for this operating system.
std::unique_ptr<SingleInstanceMarker> CreateSingleInstanceMarker();

}  // namespace kessmar::platform

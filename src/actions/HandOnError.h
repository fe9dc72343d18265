// A batch that could not be handed on, for a reason the user must hear about.
#pragma once

#include <stdexcept>

namespace kessmar {

// Raised by an action when the batch did not reach its destination and the user can do
// something about it. what() is the text for the user (UTF-8). The processing run that catches
// it counts as failed, so the scanner keeps its scans.
class HandOnError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kessmar

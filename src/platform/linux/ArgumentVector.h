// The argument vector exec and posix_spawn take: the program's path, then its arguments, then a
// null pointer, all alive as long as this object.
#pragma once

#include <string>
#include <vector>

namespace kessmar::platform {

class ArgumentVector {
 public:
  ArgumentVector(const std::string& program, const std::vector<std::string>& args) {
    owned_.reserve(args.size() + 1);
    owned_.push_back(program);
    owned_.insert(owned_.end(), args.begin(), args.end());
    for (auto& a : owned_) pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
  }
  ArgumentVector(const ArgumentVector&) = delete;
  ArgumentVector& operator=(const ArgumentVector&) = delete;

  char* const* Get() { return pointers_.data(); }

 private:
  std::vector<std::string> owned_;
  std::vector<char*> pointers_;
};

}  // namespace kessmar::platform

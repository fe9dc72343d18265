// TLimitMe: the single-instance guard. A running copy holds a per-user marker named `Bija`;
// a later copy finds it and ends.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/SingleInstance.h"

namespace kessmar {

class TLimitMe {
 public:
  // marker: the OS service; the guard owns it. terminate: how to ask the application to end.
  TLimitMe(std::unique_ptr<platform::SingleInstanceMarker> marker, std::function<void()> terminate);

  std::string Bija = "Aum";  // name of the marker, at most 256 characters
  bool Terminate = true;     // when another copy is found, also ask the application to end
  std::function<void(TLimitMe&)> BeforeTerminate;  // called just before that request

  // True when another copy holds the marker; then, with Terminate set, BeforeTerminate runs and
  // the application is asked to end. False when this copy now holds the marker for the rest of
  // its life, or when the marker cannot be made at all.
  bool DoIExist();

  // The same test without side effects: holds nothing, asks for nothing.
  bool Exists();

 private:
  std::string Name() const { return Bija.substr(0, 256); }

  std::unique_ptr<platform::SingleInstanceMarker> marker_;
  std::function<void()> terminate_;
};

}  // namespace kessmar

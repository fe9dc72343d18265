#include "scanner-emulator/ControlCommands.h"

#include <exception>

namespace kessmar::emulator {

ControlResult ExecuteControlLine(const std::string& line, ScanStore& store,
                                 ScannerResponder& responder) {
  size_t blank = line.find(' ');
  std::string verb = line.substr(0, blank);
  std::string argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
  if (verb == "add") {
    try {
      store.AddNow(argument);
    } catch (const std::exception& e) {
      return {std::string("error: ") + e.what()};
    }
    return {"ok"};
  }
  if (verb == "count" && argument.empty()) return {std::to_string(store.Count())};
  if (verb == "clear" && argument.empty()) {
    store.Clear();
    return {"ok"};
  }
  if (verb == "misbehave") {
    auto mode = ParseMisbehaviour(argument);
    if (!mode) return {"error: unknown mode " + argument};
    responder.SetMisbehaviour(*mode);
    return {"ok"};
  }
  if (verb == "quit" && argument.empty()) return {"ok", true};
  return {"error: unknown command " + line};
}

}  // namespace kessmar::emulator

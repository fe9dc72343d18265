// The line commands of the emulator's control socket:
//   add CODE          store a scan taken now          -> "ok" or "error: reason"
//   count             number of stored scans          -> the number
//   clear             erase every stored scan         -> "ok"
//   misbehave MODE    none, silent, garble or cutoff  -> "ok" or "error: reason"
//   quit              unregister and end              -> "ok"
#pragma once

#include <string>

#include "scanner-emulator/ScanStore.h"
#include "scanner-emulator/ScannerResponder.h"

namespace kessmar::emulator {

struct ControlResult {
  std::string answer;  // without line end
  bool quit = false;
};

ControlResult ExecuteControlLine(const std::string& line, ScanStore& store,
                                 ScannerResponder& responder);

}  // namespace kessmar::emulator

#include "kessmar-batch/VemoCommand.h"

#include <vector>

#include "backoffice/BatchTransfer.h"
#include "backoffice/OrderCreation.h"
#include "batch/ScanTables.h"
#include "dbclient/DiscoveryMessage.h"

namespace kessmar {

bool IsServerOption(std::string_view value) {
  return dbclient::IsAnnounceableAddress(value);
}

int RunVemoCommand(const VemoOptions& options, std::ostream& out, std::ostream& err) {
  MemTable scannerData;
  MemTable dataToProcess;
  try {
    scannerData.LoadBatchFile(options.file);
    BuildBatchToProcess(scannerData, dataToProcess, options.merge, options.file);
  } catch (const std::exception& e) {
    err << "kessmar-batch: " << e.what() << '\n';
    return 1;
  }

  OrderCreation orders;
  TransferOptions transfer;
  transfer.again = options.again;
  if (!options.server.empty()) transfer.serverChoice = ServerChoice::kBind;
  const TransferOutcome outcome = TransferBatch(dataToProcess, options.server, orders, transfer);
  if (!outcome.handedOn) {
    err << "kessmar-batch: " << outcome.reason << '\n'
        << "kessmar-batch: cause: " << outcome.detail << '\n';
    return 1;
  }
  if (outcome.already) {
    err << "kessmar-batch: " << AlreadyHandedOnText(*outcome.already)
        << " Nothing was added; --again adds it once more.\n";
    return kAlreadyHandedOn;
  }
  if (!outcome.server.empty()) out << "Server: " << outcome.server << '\n';
  std::vector<int64_t> orderNumbers;
  for (const auto& line : outcome.lines) {
    if (orderNumbers.empty() || orderNumbers.back() != line.order) {
      out << "Order: " << line.order << '\n';
      orderNumbers.push_back(line.order);
    }
    out << "Line: " << line.articleCode << "  " << line.quantity << " x " << line.unitPrice.ToText()
        << " = " << line.total.ToText() << '\n';
  }
  for (const auto& scan : outcome.notFound) out << "Not found: " << scan << '\n';
  out << "Handed on: " << outcome.lines.size() << " lines added, " << outcome.notFound.size()
      << " scans not found\n";
  out.flush();
  if (!out) {
    err << "kessmar-batch: writing the output failed (the batch was handed on)\n";
    return 1;
  }
  return 0;
}

}  // namespace kessmar

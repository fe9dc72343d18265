// "Stuur naar Vemo": the batch to the back office.
#include <QCoreApplication>
#include <algorithm>
#include <memory>

#include "app/MainWindowTexts.h"
#include "app/RoadLibraries.h"
#include "app/TfrmMain.h"
#include "backoffice/BatchTransfer.h"
#include "backoffice/TfrmArtkNotFound.h"
#include "backoffice/TfrmUpdateVemoMain.h"
#include "platform/UserMessages.h"
#include "platform/lazy/Libraries.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {

bool TfrmMain::TransferBatchToVemo() {
  const std::string missing =
      MissingRoadLibrary(platform::RequireLibpq, lcBackOffice(), "The back office");
  if (!missing.empty()) {
    TellFailedRun(MissingLibraryText(texts::kVemoLibraryMissing, missing));
    return false;
  }
  // Both windows are made afresh for every batch; the report goes first, then the status
  // window with the connection and the price data.
  auto report = std::make_unique<TfrmArtkNotFound>();
  auto transfer = [this](bool again) {
    auto status = std::make_unique<TfrmUpdateVemoMain>();
    status->show();
    QCoreApplication::processEvents();
    TransferOptions options;
    options.again = again;
    TransferOutcome result =
        kessmar::TransferBatch(tblDataToProcess, VemoServer, status->Orders(), options);
    status->close();
    return result;
  };
  TransferOutcome outcome = transfer(false);
  if (outcome.already) {
    // The back office holds this batch already: it is handed on. Only a user who asked for it
    // again may add it once more.
    const std::string where = AlreadyHandedOnText(*outcome.already);
    qCInfo(lcBackOffice).noquote() << platform::LogText(where);
    if (!runByUser_) {
      services_.messages.ShowInfo(where + " Hij wordt niet nog eens toegevoegd.");
      return true;
    }
    if (!services_.messages.Confirm(where + " Wilt u hem nogmaals aan Vemo toevoegen?")) {
      return true;
    }
    outcome = transfer(true);
  }
  if (!outcome.handedOn) {
    qCWarning(lcBackOffice).noquote()
        << "The transfer to the back office failed:" << platform::LogText(outcome.detail);
    // Told once per batch; the scans stay and are tried again later.
    TellFailedRun(outcome.reason);
    return false;
  }
  if (outcome.scans > 0) {
    qCInfo(lcBackOffice).noquote()
        << "Connected to the back office at" << platform::LogText(outcome.server);
  }
  std::vector<int64_t> orders;
  for (const auto& line : outcome.lines) {
    if (std::find(orders.begin(), orders.end(), line.order) == orders.end()) {
      orders.push_back(line.order);
    }
    qCDebug(lcBackOffice).noquote() << QString("Order %1: %2 x %3 at %4 = %5")
                                           .arg(line.order)
                                           .arg(QString::fromStdString(line.articleCode))
                                           .arg(line.quantity)
                                           .arg(QString::fromStdString(line.unitPrice.ToText()))
                                           .arg(QString::fromStdString(line.total.ToText()));
  }
  for (int64_t order : orders) qCInfo(lcBackOffice) << "Order number" << order;
  qCInfo(lcBackOffice) << "Batch transferred:" << outcome.lines.size() << "lines added,"
                       << outcome.notFound.size() << "scans not found";
  for (const auto& line : outcome.notFound) {
    qCDebug(lcBackOffice).noquote() << "Not found:" << platform::LogText(line);
  }

  if (!outcome.vemoServer.empty()) VemoServer = outcome.vemoServer;
  if (VemoServer != VemoServerAtStart) {
    WriteSetting([&] { settings_.WriteText(settings::kVemoServer, VemoServer); });
  }
  for (const auto& line : outcome.notFound) report->AddLine(line);
  if (report->LineCount() > 0) report->exec();
  return true;
}

}  // namespace kessmar

#include "backoffice/BatchTransfer.h"

#include <limits>
#include <stdexcept>

#include "common/CodePage.h"
#include "dbclient/DatabaseError.h"

namespace kessmar {
namespace {

using dbclient::DatabaseError;
using dbclient::Table;

// AddOrderLine could not add the line of an article.
class LineNotAdded : public std::runtime_error {
 public:
  LineNotAdded(const std::string& code, const std::string& why, std::string sqlState)
      : std::runtime_error("no order line for article " + code + ": " + why),
        code_(code),
        sqlState_(std::move(sqlState)) {}
  const std::string& Code() const { return code_; }
  const std::string& SqlState() const { return sqlState_; }

 private:
  std::string code_;
  std::string sqlState_;
};

bool Unreachable(const std::string& state) {
  // Class 08: no connection, lost, or no answer in time; 40000: the transaction went with the
  // connection; 57P0x: the server is shutting down or starting.
  return state.rfind("08", 0) == 0 || state == "40000" || state.rfind("57P0", 0) == 0;
}

bool Busy(const std::string& state) {
  // The server ended a wait (for the order lock, or a slow statement), or two transactions
  // crossed.
  return state == "57014" || state == "55P03" || state == "40001" || state == "40P01";
}

std::string ServerText(const std::string& server) {
  return server.empty() ? "De Vemo server" : "De Vemo server " + server;
}

// The user's text for a failed transfer.
std::string Reason(const std::exception& failure, const std::string& server) {
  std::string state;
  std::string cause;
  if (const auto* line = dynamic_cast<const LineNotAdded*>(&failure)) {
    state = line->SqlState();
    cause = "Artikel " + line->Code() + " kon niet aan de Vemo order worden toegevoegd.";
  } else if (const auto* database = dynamic_cast<const DatabaseError*>(&failure)) {
    state = database->SqlState();
    cause = ServerText(server) + " meldde een fout: " + failure.what();
  } else if (dynamic_cast<const PriceError*>(&failure) != nullptr) {
    cause = std::string("De prijs van een artikel kon niet worden berekend: ") + failure.what();
  } else {
    cause = std::string("Er ging iets mis: ") + failure.what();
  }
  if (Unreachable(state)) {
    cause = server.empty() ? "Er is geen Vemo server gevonden of bereikbaar."
                           : ServerText(server) + " is niet bereikbaar.";
  } else if (Busy(state)) {
    cause = ServerText(server) +
            " antwoordde niet op tijd (mogelijk liep er net een andere overdracht).";
  }
  return "Overzetten naar Vemo mislukt. " + cause +
         " Er is niets in Vemo vastgelegd; de scans blijven bewaard.";
}

// The server a failure is about: the one it names, else the one the session reached.
std::string ServerOf(const std::exception& failure, OrderCreation& orders,
                     const std::string& vemoServer) {
  if (const auto* database = dynamic_cast<const DatabaseError*>(&failure)) {
    if (!database->Context().server.empty()) return database->Context().server;
  }
  if (!orders.Db().ffsVEMO.ServerLabel().empty()) return orders.Db().ffsVEMO.ServerLabel();
  return vemoServer;
}

void SelectIndex(Table& table, const char* name) {
  if (table.IndexName() != name) table.SetIndexName(name);
}

// Step 4 of the walk for the current scan.
void TransferScan(MemTable& data, OrderCreation& orders, const std::string& batchId,
                  TransferOutcome& outcome, const TransferHooks& hooks) {
  TunDB& db = orders.Db();
  Table& arvp = db.tblARVP;
  Table& artk = db.tblARTK;
  arvp.Open();
  artk.Open();
  const std::string scanned = data.AsText("Barcode");  // Windows-1252
  const int32_t scannedQuantity = data.AsInteger("Aantal");
  const std::string barcode = Cp1252ToUtf8(scanned);
  // A text parameter ends at a zero byte; such a barcode would be looked up cut short.
  const bool searchable = scanned.find('\0') == std::string::npos;
  int64_t quantity = scannedQuantity;
  std::string code;

  if (searchable && arvp.FindKey(barcode)) {
    quantity = arvp.FieldByName("ARVP_aantal").AsInteger() * int64_t{scannedQuantity};
    SelectIndex(artk, "ARTK_nummer");
    if (artk.FindKey(arvp.FieldByName("ARTK_nummer").AsString())) {
      code = artk.FieldByName("ARTK_fullcod").AsString();
    }
  }
  if (searchable && code.empty() && scanned.size() == 8) {
    SelectIndex(artk, "ARTK_fullcod");
    if (artk.FindKey(barcode)) code = artk.FieldByName("ARTK_fullcod").AsString();
  }
  if (searchable && code.empty() && scanned.size() == 11) {
    SelectIndex(artk, "ARTK_fullcod");
    if (artk.FindKey(Cp1252ToUtf8(scanned.substr(0, 8)))) {
      code = artk.FieldByName("ARTK_fullcod").AsString();
    }
  }

  if (code.empty()) {
    outcome.notFound.push_back(barcode + " x " + data.AsText("Aantal"));
    return;
  }
  if (quantity > std::numeric_limits<int32_t>::max() ||
      quantity < std::numeric_limits<int32_t>::min()) {
    throw LineNotAdded(code, "the quantity " + std::to_string(quantity) + " is too large", "");
  }
  if (orders.AddOrderLine(code, static_cast<int32_t>(quantity), batchId) < 0) {
    throw LineNotAdded(code, orders.LineFailure(), orders.LineFailureState());
  }
  if (hooks.lineAdded) hooks.lineAdded(orders.Lines().back());
}

}  // namespace

TransferOutcome TransferBatch(MemTable& dataToProcess, const std::string& vemoServer,
                              OrderCreation& orders, const TransferHooks& hooks) {
  TransferOutcome outcome;
  try {
    dataToProcess.Open();
    if (dataToProcess.RowCount() <= 2) {
      outcome.handedOn = true;
      return outcome;
    }
    orders.ConnectToVemoServer(vemoServer);
    dataToProcess.First();
    dataToProcess.Next();  // row 1: the scanner id, not used here
    outcome.batchId = Cp1252ToUtf8(dataToProcess.AsText("Barcode"));
    dataToProcess.Next();

    orders.BeginBatch();
    outcome.server = orders.Db().ffsVEMO.ServerLabel();
    for (; !dataToProcess.Eof(); dataToProcess.Next()) {
      ++outcome.scans;
      TransferScan(dataToProcess, orders, outcome.batchId, outcome, hooks);
    }
    orders.CommitBatch();
    outcome.handedOn = true;
    outcome.lines = orders.Lines();
    outcome.vemoServer = orders.VemoServer();
  } catch (const std::exception& e) {
    orders.AbortBatch();
    const std::string server = ServerOf(e, orders, vemoServer);
    outcome.handedOn = false;
    outcome.reason = Reason(e, server);
    outcome.detail = e.what();
    outcome.lines.clear();
    outcome.notFound.clear();
    if (outcome.server.empty()) outcome.server = server;
  }
  return outcome;
}

}  // namespace kessmar

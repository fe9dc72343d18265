#include "backoffice/BatchTransfer.h"

#include <limits>
#include <optional>
#include <stdexcept>

#include "backoffice/ScanLookup.h"
#include "common/CodePage.h"
#include "dbclient/DatabaseError.h"

namespace kessmar {
namespace {

using dbclient::DatabaseError;
using dbclient::Table;

// AddOrderLine could not add the line of an article.
class LineNotAdded : public std::runtime_error {
 public:
  LineNotAdded(const std::string& code, const std::string& why, LineFailure kind,
               std::string sqlState)
      : std::runtime_error("no order line for article " + code + ": " + why),
        code_(code),
        kind_(kind),
        sqlState_(std::move(sqlState)) {}
  const std::string& Code() const { return code_; }
  LineFailure Kind() const { return kind_; }
  const std::string& SqlState() const { return sqlState_; }

 private:
  std::string code_;
  LineFailure kind_;
  std::string sqlState_;
};

std::string ServerText(const std::string& server) {
  return server.empty() ? "De Vemo server" : "De Vemo server " + server;
}

constexpr const char* kNothingWritten =
    " Er is niets in Vemo vastgelegd; de scans blijven bewaard.";

// What the failure says of the server; the SQLSTATE of a database error or a line's cause.
std::string CauseText(const std::exception& failure, const std::string& server,
                      std::string& state) {
  if (const auto* line = dynamic_cast<const LineNotAdded*>(&failure)) {
    state = line->SqlState();
    if (line->Kind() == LineFailure::kHeader) {
      return state == dbclient::sqlstate::kUniqueViolation
                 ? "Er kon geen nieuwe Vemo order worden aangemaakt: het volgende ordernummer "
                   "bestaat al en de teller BEST in SYSC kon er niet voorbij."
                 : "Er kon geen nieuwe Vemo order worden aangemaakt.";
    }
    return "Artikel " + line->Code() + " kon niet aan de Vemo order worden toegevoegd.";
  }
  if (const auto* database = dynamic_cast<const dbclient::DatabaseError*>(&failure)) {
    state = database->SqlState();
    return ServerText(server) + " meldde een fout: " + failure.what();
  }
  if (dynamic_cast<const RecordTableMissing*>(&failure) != nullptr) {
    return ServerText(server) + " mist de tabel SYSTEM." + kHandedOnTable +
           " die bijhoudt welke batches al zijn overgezet; de beheerder maakt die aan met "
           "\"backoffice-server upgrade\".";
  }
  if (const auto* debtor = dynamic_cast<const DebtorNumberError*>(&failure)) {
    return "Het debiteurnummer \"" + debtor->Value() + "\" van relatie 2 in Vemo is geen getal.";
  }
  if (dynamic_cast<const PriceError*>(&failure) != nullptr) {
    return std::string("De prijs van een artikel kon niet worden berekend: ") + failure.what();
  }
  return std::string("Er ging iets mis: ") + failure.what();
}

// The user's text for a failed transfer. remembered: the address the run started from, with
// why it failed when the run fell back from it to another server.
std::string Reason(const std::exception& failure, const std::string& server,
                   const std::string& remembered, const std::string& rememberedFailure) {
  if (dynamic_cast<const CommitUnknown*>(&failure) != nullptr) {
    return "Overzetten naar Vemo onzeker. " + ServerText(server) +
           " antwoordde niet op het vastleggen van de batch, dus het is niet bekend of hij in "
           "Vemo staat. De scans blijven bewaard; bij de volgende poging wordt een batch die al "
           "in Vemo staat niet nog eens toegevoegd.";
  }
  std::string state;
  std::string cause = CauseText(failure, server, state);
  const dbclient::DatabaseError classified(cause, state, {});
  if (classified.IsAccessDenied()) {
    cause = ServerText(server) +
            " weigert de gebruiker van de scanner tool of een recht dat de overdracht nodig "
            "heeft. De beheerder maakt die gebruiker aan met \"backoffice-server role\" (zie "
            "backoffice-server --help).";
  } else if (classified.IsUnreachable()) {
    if (!rememberedFailure.empty() && !remembered.empty() && remembered != server) {
      cause = ServerText(remembered) + " is niet bereikbaar; de laatst geprobeerde server" +
              (server.empty() ? std::string() : " " + server) + " evenmin.";
    } else {
      cause = server.empty() ? "Er is geen Vemo server gevonden of bereikbaar."
                             : ServerText(server) + " is niet bereikbaar.";
    }
  } else if (classified.IsBusy()) {
    cause = ServerText(server) +
            " antwoordde niet op tijd (mogelijk liep er net een andere overdracht).";
  }
  return "Overzetten naar Vemo mislukt. " + cause + kNothingWritten;
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

// The barcodes of the scans (rows 3 on), Windows-1252.
std::vector<std::string> ScannedBarcodes(MemTable& data) {
  std::vector<std::string> barcodes;
  data.First();
  data.Next();
  data.Next();
  for (; !data.Eof(); data.Next()) barcodes.push_back(data.AsText("Barcode"));
  return barcodes;
}

// Step 4 of the walk for the current scan; codes gets the code of every line added.
void TransferScan(MemTable& data, OrderCreation& orders, const std::string& batchId,
                  TransferOutcome& outcome, const TransferOptions& options,
                  std::vector<std::string>& codes) {
  const std::string scanned = data.AsText("Barcode");  // Windows-1252
  const ResolvedScan resolved = LookUpScan(orders.Db(), scanned, data.AsInteger("Aantal"));
  const std::string& code = resolved.code;
  const int64_t quantity = resolved.quantity;
  if (code.empty()) {
    outcome.notFound.push_back(Cp1252ToUtf8(scanned) + " x " + data.AsText("Aantal"));
    return;
  }
  if (quantity > std::numeric_limits<int32_t>::max() ||
      quantity < std::numeric_limits<int32_t>::min()) {
    throw LineNotAdded(code, "the quantity " + std::to_string(quantity) + " is too large",
                       LineFailure::kLine, "");
  }
  if (orders.AddOrderLine(code, static_cast<int32_t>(quantity), batchId) < 0) {
    throw LineNotAdded(code, orders.LineFailureText(), orders.LineFailureKind(),
                       orders.LineFailureState());
  }
  codes.push_back(code);
  if (options.lineAdded) {
    // The hook sees each line written, as a transfer line by line would have it.
    if (orders.WriteQueuedLines() < 0) {
      throw LineNotAdded(code, orders.LineFailureText(), orders.LineFailureKind(),
                         orders.LineFailureState());
    }
    options.lineAdded(orders.Lines().back());
  }
}

}  // namespace

std::string AlreadyHandedOnText(const HandedOn& entry) {
  std::string where = entry.order != 0 ? "in Vemo order " + std::to_string(entry.order)
                                       : "in Vemo (zonder orderregels)";
  return "Deze batch is al eerder overgezet (" + entry.handedOnAt + ") en staat " + where +
         " met " + std::to_string(entry.lines) + (entry.lines == 1 ? " regel" : " regels") + ".";
}

TransferOutcome TransferBatch(MemTable& dataToProcess, const std::string& vemoServer,
                              OrderCreation& orders, const TransferOptions& options) {
  TransferOutcome outcome;
  try {
    dataToProcess.Open();
    if (dataToProcess.RowCount() <= 2) {
      outcome.handedOn = true;
      return outcome;
    }
    const BatchIdentity identity = IdentifyBatch(dataToProcess);
    const std::vector<std::string> scanned = ScannedBarcodes(dataToProcess);
    orders.ConnectToVemoServer(vemoServer, options.serverChoice);
    dataToProcess.First();
    dataToProcess.Next();  // row 1: the scanner id, in the identity
    outcome.batchId = Cp1252ToUtf8(dataToProcess.AsText("Barcode"));
    dataToProcess.Next();

    // Lines are written together at the end of the walk: a round trip per batch, not per line.
    orders.SetLineWrites(OrderCreation::LineWrites::kAtOnce);
    // The batch starts with one round trip: the lock, then, behind it, the record's look-up (so
    // that two tools handing on the same batch at once cannot both miss it) and everything the
    // look-ups and prices of the batch can read; the walk then finds it in memory, with the
    // answers the server would give within the same snapshot.
    std::optional<HandedOn> known;
    bool scansRead = false;
    constexpr size_t kLookUp = 0;  // the record's look-up: the first read planned
    size_t failedRead = kLookUp + 1;
    try {
      orders.BeginBatch(
          [&](std::vector<dbclient::PendingRead>& reads) {
            reads.push_back(
                {LookUpHandedOnStatement(identity),
                 [&known](const dbclient::QueryResult& rows) { known = ReadHandedOn(rows); }});
            try {
              PlanScanReads(orders.Db(), scanned, reads);
              scansRead = true;
            } catch (const DatabaseError&) {
              // Read at the walk's start instead, where the failure shows as it always did.
            }
          },
          &failedRead);
    } catch (const DatabaseError& e) {
      if (failedRead == kLookUp) ThrowRecordFailure(e);
      throw;
    }
    dbclient::Session& session = orders.Db().ffsVEMO;
    outcome.server = session.ServerLabel();
    if (known && !options.again) {
      orders.AbortBatch();
      outcome.handedOn = true;
      outcome.already = known;
      return outcome;
    }
    if (!scansRead) orders.PlanArticles(PrefetchScans(orders.Db(), scanned));
    std::vector<std::string> codes;
    for (; !dataToProcess.Eof(); dataToProcess.Next()) {
      ++outcome.scans;
      TransferScan(dataToProcess, orders, outcome.batchId, outcome, options, codes);
    }
    const int copy = known ? known->copies + 1 : 1;
    const std::vector<OrderLine>& lines = orders.Lines();
    // The lines, the order's total and the record go with the commit, in one round trip.
    const std::vector<dbclient::Statement> record{
        RecordHandedOnStatement(identity, copy, lines.empty() ? 0 : lines.front().order,
                                static_cast<int64_t>(lines.size()))};
    if (options.beforeCommit) options.beforeCommit(session);
    size_t failedRecord = record.size();
    try {
      orders.CommitBatch(
          [&identity, copy](dbclient::Session& fresh) {
            const std::optional<HandedOn> entry = LookUpHandedOn(fresh, identity);
            return entry && entry->copies >= copy;
          },
          record, &failedRecord);
    } catch (const DatabaseError& e) {
      if (failedRecord == 0) ThrowRecordFailure(e);
      if (orders.LineFailureKind() == LineFailure::kLine) {
        const size_t line = orders.FailedLine();
        throw LineNotAdded(line < codes.size() ? codes[line] : "", orders.LineFailureText(),
                           orders.LineFailureKind(), orders.LineFailureState());
      }
      throw;
    }
    outcome.handedOn = true;
    outcome.lines = orders.Lines();
    outcome.vemoServer = orders.VemoServer();
  } catch (const std::exception& e) {
    orders.AbortBatch();
    const std::string server = ServerOf(e, orders, vemoServer);
    outcome.handedOn = false;
    outcome.commitUnknown = dynamic_cast<const CommitUnknown*>(&e) != nullptr;
    outcome.reason = Reason(e, server, vemoServer, orders.RememberedServerFailure());
    outcome.detail = e.what();
    outcome.lines.clear();
    outcome.notFound.clear();
    if (outcome.server.empty()) outcome.server = server;
  }
  return outcome;
}

}  // namespace kessmar

#include "scanner/ScannerLink.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "batch/ScanTables.h"
#include "common/ErrorText.h"
#include "common/Text.h"
#include "scanner/BatchRead.h"
#include "scanner/LinkTexts.h"
#include "scanner/PortEntries.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

namespace {
std::string ComName(int32_t port) {
  return "COM" + std::to_string(port);
}
}  // namespace

ScannerLink::ScannerLink(ScannerLibrary& scanner, ScannerLinkView& view, MemTable& scannerData,
                         PortEnumerator enumeratePorts, WallClock clock,
                         FailedBatchRetry::Now monotonic)
    : scanner_(scanner),
      view_(view),
      scannerData_(scannerData),
      enumeratePorts_(std::move(enumeratePorts)),
      clock_(std::move(clock)),
      retry_(std::move(monotonic)) {}

std::optional<ScannerLink::ComboRebuild> ScannerLink::RefreshPortList(int comboCount) {
  try {
    PortList = enumeratePorts_(false);
  } catch (...) {
    PortList.reset();
    Log(LinkLogArea::Scanner, LinkLogLevel::Debug,
        "The serial ports could not be listed: " + CurrentExceptionText());
  }
  if (!PortList) return std::nullopt;
  if (comboCount == static_cast<int>(PortList->size())) return std::nullopt;
  ComboRebuild rebuild;
  rebuild.entries = ComboEntriesFor(*PortList);
  rebuild.selection = ComboSelectionFor(rebuild.entries, ComPort);
  return rebuild;
}

bool ScannerLink::ChoosePort(const std::string& comboText) {
  if (Trim(comboText, " \t\r\n\v\f").empty()) return false;
  ComPort = CutAtFirstBlank(comboText);
  return true;
}

void ScannerLink::Disconnect() {
  view_.ShowConnectButton(false);
  view_.ShowScannerId({});
  if (Connected) scanner_.Restore();
  CheckScannerLost();
  ConnectedPort = -1;
}

bool ScannerLink::ConnectClick(const std::optional<std::string>& selectedEntry) {
  if (!selectedEntry) {
    Disconnect();
    return true;
  }
  const auto port = PortNumberOfComboEntry(*selectedEntry);
  if (!port) return true;  // not a port number: nothing visible happens
  if (*port == ConnectedPort) {
    view_.StopPolling();
    try {
      Disconnect();
    } catch (...) {
      Log(LinkLogArea::Scanner, LinkLogLevel::Warning,
          "Giving the port back failed: " + CurrentExceptionText());
    }
    view_.StartPolling();
    return true;
  }
  CheckScannerLost();
  if (scanner_.InitEx(*port) < 0) {  // silently, and the button stays as it was
    Log(LinkLogArea::Scanner, LinkLogLevel::Warning, ComName(*port) + " could not be opened");
    return false;
  }
  retry_.Reset();
  if (scanner_.GetCTS() > 0 || scanner_.GetDSR() > 0) {
    ConnectedPort = *port;
    view_.ShowConnectButton(true);
    view_.Poll();
  } else {
    view_.ShowConnectButton(false);
    if (Connected) scanner_.Restore();
    Connected = false;
    ConnectedPort = -1;
    view_.ShowInfo(texts::kNoScannerDetected);
  }
  return true;
}

void ScannerLink::CheckScannerLost() {
  const bool automatic = view_.IsAutomatic();
  if (automatic && ConnectAttempts >= 2) {
    if (scanner_.GetCTS() == 0 && scanner_.GetDSR() == 0) {
      view_.ShowInfo(texts::kReconnectScanner);
      Connected = true;
    }
    ConnectAttempts = 0;
  }
  if (!Connected) return;
  Log(LinkLogArea::Scanner, LinkLogLevel::Info, "The scanner link is down");
  ConnectAttempts = 0;
  view_.ShowLinkState(false);
  if (automatic) {
    view_.ShowScannerId({});
    scanner_.Restore();
    ConnectedPort = -1;
    view_.ClearTypedPort();
  }
  Connected = false;
}

bool ScannerLink::OpenAutomatically(int32_t port, const std::string& dataFolder) {
  view_.SelectPortOf(port);
  if (scanner_.InitEx(port) < 0) {
    // Tried again on every tick: said once until it changes.
    if (lastPortFailure_ != port) {
      Log(LinkLogArea::Scanner, LinkLogLevel::Warning, ComName(port) + " could not be opened");
    }
    lastPortFailure_ = port;
    return false;
  }
  lastPortFailure_ = 0;
  retry_.Reset();  // a scanner connected again gets its scans tried at once
  if (scanner_.GetCTS() > 0 || scanner_.GetDSR() > 0) ReadBatch(dataFolder);
  ConnectedPort = port;
  view_.ShowScannerId(GetScannerId(scanner_));
  ++ConnectAttempts;
  return true;
}

void ScannerLink::Tick(const std::string& dataFolder) {
  bool initFailed = false;
  if (view_.IsAutomatic() && PortList) {
    for (const auto& entry : *PortList) {
      if (!IsScannerPortEntry(entry) || Connected) continue;
      try {
        const auto port = PortNumberOfEntry(entry);
        if (!port) continue;
        initFailed = !OpenAutomatically(*port, dataFolder);
        break;
      } catch (...) {
        // Only this entry is passed over.
        Log(LinkLogArea::Scanner, LinkLogLevel::Debug,
            "The port " + entry + " was passed over: " + CurrentExceptionText());
      }
    }
  }
  if (initFailed) return;
  if (scanner_.GetCTS() <= 0 && scanner_.GetDSR() <= 0) {
    CheckScannerLost();
  } else if (!Connected) {
    Connected = true;
    view_.ShowLinkState(true);
    view_.PumpEvents();
    scanner_.Interrogate();
    const std::string id = GetScannerId(scanner_);
    view_.ShowScannerId(id);
    Log(LinkLogArea::Scanner, LinkLogLevel::Info,
        "Connected to the scanner " + id + " on COM" + std::to_string(ConnectedPort));
    ReadBatch(dataFolder);
  } else if (scanner_.GetCTS() == 1) {
    ReadBatch(dataFolder);
  }
}

void ScannerLink::ReadBatch(const std::string& dataFolder) {
  std::error_code ignored;
  std::filesystem::create_directories(dataFolder, ignored);
  std::string content;
  try {
    // The batch is read whole before it replaces the one in memory: a read that fails part-way
    // leaves the table, the files and the scanner as they were.
    auto batch = ReadScannerBatch(scanner_, clock_);
    lastReadFailure_.clear();
    if (!batch) return;
    content = ScanContentKey(*batch);
    if (handedOnByUser_ == content) {
      handedOnByUser_.reset();
      retry_.Succeeded();
      scanner_.ClearData();
      Log(LinkLogArea::Scanner, LinkLogLevel::Info,
          "Scanner cleared: its scans were handed on by \"Opnieuw verwerken\"");
      return;
    }
    if (!retry_.MayProcess(content)) {
      Log(LinkLogArea::Scanner, LinkLogLevel::Debug,
          "The scans of the failed run are unchanged; they wait for their pause");
      return;
    }
    Log(LinkLogArea::Scanner, LinkLogLevel::Info,
        "Batch read with " + std::to_string(ItemCount(*batch)) + " scans");
    // The same scans as the failed run in memory are the same batch: they keep its batch id, by
    // which the back office's record knows a batch whose last run landed after all.
    if (retry_.PendingContent() == content && scannerData_.IsOpen() &&
        ScanContentKey(scannerData_) == content) {
      Log(LinkLogArea::Batch, LinkLogLevel::Debug,
          "The same scans as the failed run: its batch is processed again");
    } else {
      scannerData_ = std::move(*batch);
    }
    const auto copy = SaveBatchWithHistory(scannerData_, dataFolder, clock_);
    Log(LinkLogArea::Batch, LinkLogLevel::Info,
        "Batch saved as " + LastReadPath(dataFolder) + " and " +
            (copy ? copy->string() : std::string("no history copy")));
  } catch (const std::exception& e) {
    if (content.empty()) {
      if (lastReadFailure_ != e.what()) {
        Log(LinkLogArea::Scanner, LinkLogLevel::Warning,
            std::string("The read from the scanner stopped: ") + e.what());
      }
      lastReadFailure_ = e.what();
    } else {
      Log(LinkLogArea::Batch, LinkLogLevel::Warning,
          std::string("The batch could not be saved: ") + e.what());
      retry_.Failed(content);
    }
    return;
  }
  if (view_.ProcessBatch()) {
    retry_.Succeeded();
    scanner_.ClearData();
    Log(LinkLogArea::Scanner, LinkLogLevel::Info, "Scanner cleared");
  } else {
    retry_.Failed(content);
    Log(LinkLogArea::Scanner, LinkLogLevel::Info,
        "The scans stay in the scanner; unchanged, they are tried again in " +
            std::to_string(retry_.Pause().count()) + " s");
  }
}

void ScannerLink::Release() {
  if (!Connected) return;
  scanner_.Restore();
  Connected = false;
}

bool ScannerLink::ShouldTellFailure(bool byUser) {
  const std::string content = ScanContentKey(scannerData_);
  if (!byUser && toldFailureFor_ == content) return false;
  toldFailureFor_ = content;
  return true;
}

void ScannerLink::HandedOnByUser() {
  const std::string content = ScanContentKey(scannerData_);
  if (retry_.PendingContent() != content) return;
  handedOnByUser_ = content;
  retry_.Succeeded();
}

}  // namespace kessmar

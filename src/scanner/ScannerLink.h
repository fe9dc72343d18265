// The link to the scanner, without windows: the port list, connecting by hand and automatically,
// the poll tick, reading a batch and handing it on, and the pauses after a failed run.
//
// The link keeps the state; the main window shows it. Every call takes what the window's controls
// say as plain values, and what the window must show or do goes through ScannerLinkView in the
// order it happens. Some of those calls run the event loop (PumpEvents, message boxes, Poll,
// ProcessBatch), so other handlers may run inside them, as they always have.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch/BatchHistory.h"
#include "batch/MemTable.h"
#include "scanner/FailedBatchRetry.h"

namespace kessmar {

class ScannerLibrary;

// Where a log line of the link belongs (kessmar.scanner or kessmar.batch) and how loud it is.
enum class LinkLogArea { Scanner, Batch };
enum class LinkLogLevel { Debug, Info, Warning };

// What the link asks of the window around it.
class ScannerLinkView {
 public:
  virtual ~ScannerLinkView() = default;

  // The connect button's caption: "Verbreken" when linked is true, else "Verbinden".
  virtual void ShowConnectButton(bool linked) = 0;
  // The scanner id label; "" clears it.
  virtual void ShowScannerId(const std::string& id) = 0;
  // The status label: "Verbonden" in green or "Niet verbonden" in red.
  virtual void ShowLinkState(bool up) = 0;
  // The port combo: selects the entry of COMn ("COMn" or "COMn (Scanner)"; none when neither is
  // listed) and takes it as the COM port, as a user's choice does.
  virtual void SelectPortOf(int32_t port) = 0;
  // The port combo: clears its text when that names none of its entries.
  virtual void ClearTypedPort() = 0;
  // Whether the automatic box is ticked, asked at the moment the link needs it.
  virtual bool IsAutomatic() = 0;
  // Lets pending events through (re-entrant).
  virtual void PumpEvents() = 0;
  // A message box with an OK button (re-entrant).
  virtual void ShowInfo(const std::string& text) = 0;
  virtual void ShowError(const std::string& text) = 0;
  // Stops and restarts the poll timer around a disconnect by hand.
  virtual void StopPolling() = 0;
  virtual void StartPolling() = 0;
  // Runs a poll tick now, when the poll timer is running (re-entrant).
  virtual void Poll() = 0;
  // Hands on the batch just read; true when it was handed on (re-entrant).
  virtual bool ProcessBatch() = 0;
  // One line of the diagnostics log.
  virtual void Log(LinkLogArea area, LinkLogLevel level, const std::string& text) = 0;
};

class ScannerLink {
 public:
  // Lists the serial ports as "COMn: = friendly name" entries; nullopt when that failed.
  using PortEnumerator = std::function<std::optional<std::vector<std::string>>(bool)>;

  // The references must outlive the link. scannerData is the table a read batch goes into.
  ScannerLink(ScannerLibrary& scanner, ScannerLinkView& view, MemTable& scannerData,
              PortEnumerator enumeratePorts, WallClock clock, FailedBatchRetry::Now monotonic);

  // The state the rest of the program reads, under the names the window has always used.
  std::optional<std::vector<std::string>> PortList;
  int32_t ConnectedPort = -1;
  bool Connected = false;
  std::string ComPort;  // "COMn", the port chosen last (kept in the settings file)
  int32_t ConnectAttempts = 0;

  // What the port combo needs after the port list changed size: its new entries and which one to
  // select (nullopt: none, keeping the typed text).
  struct ComboRebuild {
    std::vector<std::string> entries;
    std::optional<int> selection;
  };

  // Lists the ports again. Returns the combo's new content when the number of ports differs
  // from comboCount; nullopt when the list failed (PortList is then empty) or the count is the
  // same.
  std::optional<ComboRebuild> RefreshPortList(int comboCount);

  // The user chose or typed comboText in the port combo: it becomes ComPort, cut before its
  // first blank. Returns false (and changes nothing) for a blank text.
  bool ChoosePort(const std::string& comboText);

  // The connect button, after the window selected the combo entry matching its text:
  // selectedEntry is that entry's text, nullopt when none matches. Disconnects when nothing or
  // the connected port is selected, else opens the chosen port and, with a scanner there, runs
  // a poll tick. Returns false when the port could not be opened (nothing else changes then).
  // Throws what the scanner library or the view throws.
  bool ConnectClick(const std::optional<std::string>& selectedEntry);

  // Checks whether the link went down (after two automatic connects without a scanner, the user
  // is asked to plug it in again): tells the view, and in automatic mode gives the port back.
  void CheckScannerLost();

  // One poll tick after the port list was refreshed: in automatic mode, opens the first
  // scanner port listed (a port that throws is passed over); then notices a link that came up
  // or went down, and reads the scanner into dataFolder when it holds scans. Throws what the
  // scanner library or the view throws outside the automatic search.
  void Tick(const std::string& dataFolder);

  // Reads the scanner's batch into scannerData, saves it with a history copy in dataFolder and
  // hands it on; clears the scanner when that worked. A read that fails leaves the table, the
  // files and the scanner as they were; unchanged scans after a failed run wait for their pause.
  void ReadBatch(const std::string& dataFolder);

  // Gives the port back when linked (the window closes).
  void Release();

  // A processing run failed with reason: whether to tell the user. Runs after a read tell it
  // once per batch (the same scans are tried again later); runs the user started always do.
  bool ShouldTellFailure(bool byUser);
  // A run handed its batch on: the next failure is told again.
  void ForgetToldFailure() { toldFailureFor_.reset(); }

  // "Opnieuw verwerken" is about to run: the pause after a failed run is lifted.
  void BeforeRunByUser() { retry_.Reset(); }
  // "Opnieuw verwerken" handed scannerData on. When these are the scans the scanner still
  // holds after a failed run, the next read clears them instead of handing them on again.
  void HandedOnByUser();

  // The pauses before unchanged scans are processed again after a failed run.
  const FailedBatchRetry& Retry() const { return retry_; }

 private:
  // Opens a scanner port found in automatic mode; false when the port could not be opened.
  bool OpenAutomatically(int32_t port, const std::string& dataFolder);
  // The connect button on the connected port, or on no port: the link is given up.
  void Disconnect();
  void Log(LinkLogArea area, LinkLogLevel level, const std::string& text) {
    view_.Log(area, level, text);
  }

  ScannerLibrary& scanner_;
  ScannerLinkView& view_;
  MemTable& scannerData_;
  PortEnumerator enumeratePorts_;
  WallClock clock_;
  FailedBatchRetry retry_;
  // Content of the batch whose failure the user was last told about.
  std::optional<std::string> toldFailureFor_;
  // Scans that "Opnieuw verwerken" handed on while the scanner still held them: the next read of
  // exactly these scans clears the scanner instead of handing them on twice.
  std::optional<std::string> handedOnByUser_;
  // The last reasons logged for failures that repeat on every tick, so each is logged once.
  int32_t lastPortFailure_ = 0;
  std::string lastReadFailure_;
};

}  // namespace kessmar

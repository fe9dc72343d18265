// The main window as the scanner link sees it: each call becomes what the window's controls,
// timer, message boxes and log do.
#pragma once

#include "scanner/ScannerLink.h"

namespace kessmar {

class TfrmMain;

class MainWindowLinkView final : public ScannerLinkView {
 public:
  explicit MainWindowLinkView(TfrmMain& window) : window_(window) {}

  void ShowConnectButton(bool linked) override;
  void ShowScannerId(const std::string& id) override;
  void ShowLinkState(bool up) override;
  void SelectPortOf(int32_t port) override;
  void ClearTypedPort() override;
  bool IsAutomatic() override;
  void PumpEvents() override;
  void ShowInfo(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void StopPolling() override;
  void StartPolling() override;
  void Poll() override;
  bool ProcessBatch() override;
  void Log(LinkLogArea area, LinkLogLevel level, const std::string& text) override;

 private:
  TfrmMain& window_;
};

}  // namespace kessmar

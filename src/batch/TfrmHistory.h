// The history window "Geschiedenis": lists the saved batch files of a folder, newest first, and
// loads the one the user picks into the scan table.
#pragma once

#include <QDialog>
#include <filesystem>
#include <vector>

#include "batch/MemTable.h"

class QListWidget;
class QPushButton;
class QShowEvent;

namespace kessmar {

class UserMessages;

// Created once and reused. "Laden" (or a change of the selection by the user) loads the
// selected batch file into the scan table and closes the window; "Sluiten" (also Enter) closes
// it without touching the table. A load that fails is reported through UserMessages and leaves
// the scan table exactly as it was; the window then stays open.
class TfrmHistory : public QDialog {
  Q_OBJECT

 public:
  // tblScannerData: the scan table loads replace. messages: where load errors go. Neither is
  // owned; both must outlive the window.
  TfrmHistory(MemTable& tblScannerData, UserMessages& messages, QWidget* parent = nullptr);

  // Lists the "*.dat" files of folder (extension in any letter case, folders and
  // "last_read.dat" left out) without their extension, sorted by name ignoring letter case,
  // last name first; selects the first entry and shows the window modally. A folder that cannot
  // be read gives an empty list. Returns when the window has closed: true when a batch file was
  // loaded into the scan table.
  bool ShowHistory(const std::filesystem::path& folder);

  QListWidget* lstHistory = nullptr;
  QPushButton* Button1 = nullptr;  // "Sluiten"
  QPushButton* Button2 = nullptr;  // "Laden"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillList();
  void LoadSelected();
  void Button1Click();
  void Button2Click();
  void lstHistoryClick();

  MemTable& tblScannerData_;
  UserMessages& messages_;
  std::filesystem::path folder_;
  std::vector<std::filesystem::path> files_;  // the batch file behind each list entry
  bool filling_ = false;                      // selection changes are ours, not the user's
  bool loaded_ = false;
};

}  // namespace kessmar

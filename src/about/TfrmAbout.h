// The About window: banner, the program's version and build from its own version resource,
// author, copyright and the scanner the tool is made for.
//
// Created once at start-up and shown modally from the main window's "Info" item; the labels
// are filled once, at creation, and every later showing displays the same text. The window
// owns its controls (Qt parent ownership) and its version reader.
#pragma once

#include <QDialog>
#include <filesystem>

#include "version/VersionInfoReader.h"

class QLabel;
class QPushButton;

namespace kessmar {

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  // Reads the version resource of `programFile`, or of the running executable when it is
  // empty. A file without version resource shows version 0.0, build 0. Never throws except
  // std::bad_alloc.
  explicit TfrmAbout(QWidget* parent = nullptr, const std::filesystem::path& programFile = {});

  const VersionInfoReader& VersionInfo() const { return versionInfo_; }

 public slots:
  // "Sluiten": ends the modal display with the OK result and hides the window.
  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();

  VersionInfoReader versionInfo_;
  QLabel* Image2_ = nullptr;
  QLabel* lblVersion_ = nullptr;
  QLabel* Label1_ = nullptr;
  QLabel* Label2_ = nullptr;
  QLabel* Label3_ = nullptr;
  QLabel* Label4_ = nullptr;
  QLabel* lblCopyright_ = nullptr;
  QPushButton* Button1_ = nullptr;
};

}  // namespace kessmar

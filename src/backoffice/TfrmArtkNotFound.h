// TfrmArtkNotFound: the report window "Niet gevonden artikelen" of a back-office transfer. It
// lists the scans that resolved to no article, one line "barcode x quantity" each, in a
// read-only text box whose text can be selected and copied; "Sluiten" closes it. Shown modally
// after the transfer when the list is not empty.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;
class QShowEvent;

namespace kessmar {

class TfrmArtkNotFound : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmArtkNotFound(QWidget* parent = nullptr);

  // Appends one line (UTF-8) to memArtkNotFound.
  void AddLine(const std::string& line);
  // The number of lines memArtkNotFound holds.
  int LineCount() const;

  QPlainTextEdit* memArtkNotFound = nullptr;
  QPushButton* Button1 = nullptr;  // "Sluiten"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Button1Click();
};

}  // namespace kessmar

// The action dialog "Actie": asks which action hands on the batch, and whether to ask again.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QShowEvent;

namespace kessmar {

// Created once and shown modally (exec()) for every processing run that asks. An action button
// closes it with Accepted; the close box (or Escape) closes it with Rejected. Callers look at
// ActionChosen(), not at the result of exec().
class TfrmActie : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmActie(QWidget* parent = nullptr);

  // The action-list index of the pressed button: 1 web order page, 2 back-office transfer.
  // Meaningful only when ActionChosen().
  int ChosenAction() const { return chosenAction_; }
  // True when an action button was pressed during the latest showing.
  bool ActionChosen() const { return actionChosen_; }
  // "Niet meer vragen" ticked; the tick is kept from one showing to the next.
  bool DontAskAgain() const;

  QPushButton* btnWWW = nullptr;
  QPushButton* bntVemo = nullptr;
  QCheckBox* chkDontAskAgain = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void btnWWWClick();
  void bntVemoClick();

  int chosenAction_ = 0;
  bool actionChosen_ = false;
};

}  // namespace kessmar

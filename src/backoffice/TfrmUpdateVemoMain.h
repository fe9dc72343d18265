// TfrmUpdateVemoMain: the status window of a back-office transfer, "Artikelen overzetten naar
// Vemo". Created afresh for every batch, shown without waiting while the batch is transferred,
// and destroyed at its end; it owns the order creation, and with it the data module and the
// price module, so every transfer starts with a fresh connection.
#pragma once

#include <QDialog>
#include <memory>

#include "backoffice/OrderCreation.h"

class QLabel;
class QShowEvent;

namespace kessmar {

class TfrmUpdateVemoMain : public QDialog {
  Q_OBJECT

 public:
  // makeModule: the data modules to use (default std::make_unique<TunDB>).
  explicit TfrmUpdateVemoMain(TunDBFactory makeModule = {}, QWidget* parent = nullptr);
  ~TfrmUpdateVemoMain() override;

  OrderCreation& Orders() { return *orders_; }

  QLabel* Label1 = nullptr;  // "Status :"
  QLabel* Label2 = nullptr;  // "Zoeken naar Vemo server......................."

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<OrderCreation> orders_;
};

}  // namespace kessmar

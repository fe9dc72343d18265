// TfrmUpdate: the update window. It offers a newer version of the program and leads the user
// through its download; it stays hidden unless an update is offered.
#pragma once

#include <QDialog>

namespace kessmar {

class TfrmUpdate : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmUpdate(QWidget* parent = nullptr);
};

}  // namespace kessmar

// A drop-down list with an edit field that makes its edit field only when it is first shown.
// The edit field lays out its text and so loads the window's font; a tool that waits hidden in
// the tray all day has no use for either.
#pragma once

#include <QComboBox>
#include <QString>

namespace kessmar {

class DeferredEditComboBox : public QComboBox {
 public:
  explicit DeferredEditComboBox(QWidget* parent);

  // The edit field's text. Before the field exists: the text it would hold, that is the
  // selected entry's text, or what SetEditText last set since the selection last changed.
  QString EditText() const;

  // Sets the edit field's text without changing the selection.
  void SetEditText(const QString& text);

  // Makes the edit field now, holding EditText(). Does nothing once it exists. Runs by itself
  // when the list is first shown; a window calls it earlier to finish its layout.
  void MakeEditField();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString pendingText_;  // the edit text while there is no edit field
};

}  // namespace kessmar

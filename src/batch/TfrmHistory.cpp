#include "batch/TfrmHistory.h"

#include <QCollator>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "batch/BatchHistory.h"
#include "common/CodePage.h"
#include "platform/UserMessages.h"
#include "platform/qt/CenterOnScreen.h"

namespace kessmar {
namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonTop = 259;

// Error texts mix UTF-8 (file paths) with Windows-1252 (texts read from a batch file); show
// each the way it was meant.
std::string MessageToUtf8(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString ignored = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return std::string(text);
  return Cp1252ToUtf8(text);
}

}  // namespace

TfrmHistory::TfrmHistory(MemTable& tblScannerData, UserMessages& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      tblScannerData_(tblScannerData),
      messages_(messages) {
  setObjectName("frmHistory");
  setWindowTitle("Geschiedenis");
  setFixedSize(218, 290);

  lstHistory = new QListWidget(this);
  lstHistory->setObjectName("lstHistory");
  lstHistory->setGeometry(8, 8, 201, 245);
  lstHistory->setSelectionMode(QAbstractItemView::SingleSelection);

  Button2 = new QPushButton("Laden", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(8, kButtonTop, kButtonWidth, kButtonHeight);

  Button1 = new QPushButton("Sluiten", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(218 - 8 - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
  Button1->setDefault(true);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  // Fires once the user's mouse or arrow key has moved the selection; FillList's own
  // selection is masked by filling_.
  connect(lstHistory, &QListWidget::itemSelectionChanged, this, [this] { lstHistoryClick(); });
}

bool TfrmHistory::ShowHistory(const std::filesystem::path& folder) {
  folder_ = folder;
  loaded_ = false;
  FillList();
  exec();
  return loaded_;
}

void TfrmHistory::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  platform::CenterOnScreen(*this);
  lstHistory->setFocus();  // first in the tab order; Enter there reaches "Sluiten"
}

void TfrmHistory::FillList() {
  filling_ = true;
  lstHistory->clear();
  files_.clear();
  try {
    struct Found {
      QString name;
      std::filesystem::path path;
    };
    std::vector<Found> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      if (!entry.is_regular_file()) continue;
      QString name = QFileInfo(entry.path()).fileName();
      if (IsBatchFileName(name.toStdString())) found.push_back({name, entry.path()});
    }
    QCollator collator;  // the user's locale
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(found.begin(), found.end(), [&collator](const Found& a, const Found& b) {
      return collator.compare(a.name, b.name) < 0;
    });
    const QString lastRead = QString::fromLatin1(batch_files::kLastRead);
    const auto extension = static_cast<qsizetype>(std::strlen(batch_files::kExtension));
    std::reverse(found.begin(), found.end());  // the newest first
    for (const Found& file : found) {
      if (file.name.toUpper() == lastRead.toUpper()) continue;
      lstHistory->addItem(file.name.chopped(extension));
      files_.push_back(file.path);
    }
  } catch (const std::exception&) {
    // An unreadable folder lists what was found before the error, often nothing.
  }
  if (lstHistory->count() > 0) lstHistory->setCurrentRow(0);
  filling_ = false;
}

void TfrmHistory::LoadSelected() {
  try {
    QList<QListWidgetItem*> selected = lstHistory->selectedItems();
    int row = selected.isEmpty() ? -1 : lstHistory->row(selected.front());
    if (row < 0 || row >= static_cast<int>(files_.size())) {
      throw TableError("List index out of bounds (" + std::to_string(row) + ")");
    }
    // Load beside the scan table so that a missing or damaged file leaves it untouched.
    MemTable loaded(tblScannerData_.Fields());
    loaded.LoadBatchFile(files_[static_cast<size_t>(row)]);
    loaded.Open();
    tblScannerData_ = std::move(loaded);
    loaded_ = true;
    accept();
  } catch (const std::exception& e) {
    messages_.ShowError(MessageToUtf8(e.what()));
  }
}

void TfrmHistory::Button1Click() {
  accept();
}

void TfrmHistory::Button2Click() {
  LoadSelected();
}

void TfrmHistory::lstHistoryClick() {
  if (filling_ || lstHistory->selectedItems().isEmpty()) return;
  LoadSelected();
}

}  // namespace kessmar

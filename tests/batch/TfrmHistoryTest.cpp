// The history window on real folders and real batch files, driven by clicks and keys.
#include "batch/TfrmHistory.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "actions/ActionsTestSupport.h"
#include "platform/UserMessages.h"
#include "support/ScanBatch.h"
#include "support/TempDir.h"

namespace kessmar {
namespace {

using testing::TempDir;

class RecordingMessages : public UserMessages {
 public:
  void ShowError(const std::string& utf8Text) override { errors.push_back(utf8Text); }
  void ShowInfo(const std::string& utf8Text) override { infos.push_back(utf8Text); }
  std::vector<std::string> errors;
  std::vector<std::string> infos;
};

using ::kessmar::testing::ScanBatch;

std::vector<std::string> Barcodes(const MemTable& table) {
  std::vector<std::string> codes;
  int field = table.FieldIndex("Barcode");
  for (const Row& row : table.Rows()) codes.push_back(row.values.at(field).text);
  return codes;
}

void WriteText(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Entries(const QListWidget& list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list.count(); ++i) entries.push_back(list.item(i)->text().toStdString());
  return entries;
}

class TfrmHistoryTest : public ::testing::Test {
 protected:
  // Shows the window on folder; once it is on screen, notes the list and lets the user act.
  bool Show(const std::filesystem::path& folder, const std::function<void()>& user) {
    QTimer::singleShot(0, &window, [&] {
      entries = Entries(*window.lstHistory);
      rowAtShow = window.lstHistory->currentRow();
      errorsAtShow = messages.errors.size();
      user();
    });
    return window.ShowHistory(folder);
  }

  // Let the window close itself, or close it with "Sluiten" when it stays open.
  void PressSluitenIfOpen() {
    if (window.isVisible()) QTest::mouseClick(window.Button1, Qt::LeftButton);
  }

  TempDir dir;
  MemTable scanData = ScanBatch("OLD", "OLD20081101080000", {"111", "222"});
  RecordingMessages messages;
  TfrmHistory window{scanData, messages};
  std::vector<std::string> entries;
  int rowAtShow = -2;
  size_t errorsAtShow = 0;
  const std::vector<std::string> oldBarcodes = {"OLD", "OLD20081101080000", "111", "222"};
};

TEST_F(TfrmHistoryTest, ListsDatedBatchesNewestFirstAndSluitenLoadsNothing) {
  for (const char* name : {"20081201-090000.dat", "20081205-143000.dat", "LAST_READ.DAT",
                           "last_read.dat", "notes.txt"}) {
    ScanBatch("AB", "AB1", {"1"}).SaveBatchFile(dir.Path() / name);
  }
  std::filesystem::create_directory(dir.Path() / "folder.dat");

  EXPECT_FALSE(Show(dir.Path(), [&] { QTest::mouseClick(window.Button1, Qt::LeftButton); }));
  EXPECT_EQ(entries, (std::vector<std::string>{"20081205-143000", "20081201-090000"}));
  EXPECT_EQ(rowAtShow, 0);  // selected, but not loaded
  EXPECT_EQ(errorsAtShow, 0U);
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);
}

TEST_F(TfrmHistoryTest, LadenLoadsTheSelectedBatchFile) {
  ScanBatch("AB", "AB20081201090000", {"A", "B"}).SaveBatchFile(dir.Path() / "20081201-090000.dat");
  ScanBatch("CD", "CD20081205143000", {"C"}).SaveBatchFile(dir.Path() / "20081205-143000.DAT");

  EXPECT_TRUE(Show(dir.Path(), [&] { QTest::mouseClick(window.Button2, Qt::LeftButton); }));
  EXPECT_EQ(entries, (std::vector<std::string>{"20081205-143000", "20081201-090000"}));
  EXPECT_TRUE(messages.errors.empty());
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(Barcodes(scanData), (std::vector<std::string>{"CD", "CD20081205143000", "C"}));
  EXPECT_TRUE(scanData.IsOpen());
  scanData.First();
  EXPECT_EQ(scanData.AsText("Barcode"), "CD");
}

TEST_F(TfrmHistoryTest, ChangingTheSelectionLoadsAtOnce) {
  ScanBatch("AB", "AB1", {"A"}).SaveBatchFile(dir.Path() / "20081201-090000.dat");
  ScanBatch("CD", "CD2", {"C"}).SaveBatchFile(dir.Path() / "20081205-143000.dat");

  // A click on the second entry.
  EXPECT_TRUE(Show(dir.Path(), [&] {
    QListWidget* list = window.lstHistory;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    PressSluitenIfOpen();
  }));
  EXPECT_EQ(Barcodes(scanData), (std::vector<std::string>{"AB", "AB1", "A"}));

  // The arrow key down and back up: the first change loads and closes the window.
  EXPECT_TRUE(Show(dir.Path(), [&] {
    QTest::keyClick(window.lstHistory, Qt::Key_Down);
    PressSluitenIfOpen();
  }));
  EXPECT_EQ(rowAtShow, 0);
  EXPECT_EQ(Barcodes(scanData), (std::vector<std::string>{"AB", "AB1", "A"}));
  EXPECT_TRUE(messages.errors.empty());
}

TEST_F(TfrmHistoryTest, AFileThatIsNoBatchFailsWithTheLoadersMessage) {
  WriteText(dir.Path() / "Notes.dat", "Bellen met de leverancier\r\n");
  ScanBatch("AB", "AB1", {"A"}).SaveBatchFile(dir.Path() / "20081201-090000.dat");
  std::string loaderMessage;
  try {
    MemTable().LoadBatchFile(dir.Path() / "Notes.dat");
  } catch (const TableError& e) {
    loaderMessage = e.what();
  }
  ASSERT_FALSE(loaderMessage.empty());

  bool stayedOpen = false;
  EXPECT_FALSE(Show(dir.Path(), [&] {
    QTest::mouseClick(window.Button2, Qt::LeftButton);  // Notes, the first entry
    stayedOpen = window.isVisible();
    PressSluitenIfOpen();
  }));
  EXPECT_EQ(entries, (std::vector<std::string>{"Notes", "20081201-090000"}));
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(messages.errors, std::vector<std::string>{loaderMessage});
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);
}

TEST_F(TfrmHistoryTest, ADamagedBatchFileLeavesTheScanTableAsItWas) {
  std::filesystem::path file = dir.Path() / "20081201-090000.dat";
  ScanBatch("AB", "AB1", {"A", "B", "C"}).SaveBatchFile(file);
  std::string bytes = testing::ReadFile(file);
  WriteText(file, bytes.substr(0, bytes.size() - 12));  // cut in the middle of the rows

  bool stayedOpen = false;
  EXPECT_FALSE(Show(dir.Path(), [&] {
    QTest::mouseClick(window.Button2, Qt::LeftButton);
    stayedOpen = window.isVisible();
    PressSluitenIfOpen();
  }));
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(messages.errors.size(), 1U);
  EXPECT_EQ(messages.errors[0], "Stream read error");
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);
}

TEST_F(TfrmHistoryTest, EmptyOrMissingFolderListsNothing) {
  bool stayedOpen = false;
  EXPECT_FALSE(Show(dir.Path(), [&] {
    QTest::mouseClick(window.Button2, Qt::LeftButton);
    stayedOpen = window.isVisible();
    QTest::mouseClick(window.Button1, Qt::LeftButton);
  }));
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(rowAtShow, -1);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(messages.errors, std::vector<std::string>{"List index out of bounds (-1)"});
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);

  EXPECT_FALSE(Show(dir.Path() / "missing", [&] { window.Button1->click(); }));
  EXPECT_TRUE(entries.empty());
}

TEST_F(TfrmHistoryTest, EnterActivatesSluitenAndEscapeLosesNothing) {
  EXPECT_FALSE(window.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
  EXPECT_TRUE(window.Button1->isDefault());
  ScanBatch("AB", "AB1", {"A"}).SaveBatchFile(dir.Path() / "20081201-090000.dat");
  QWidget* focus = nullptr;
  EXPECT_FALSE(Show(dir.Path(), [&] {
    focus = window.focusWidget();
    QTest::keyClick(focus != nullptr ? focus : window.lstHistory, Qt::Key_Return);
  }));
  EXPECT_EQ(focus, window.lstHistory);
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);

  EXPECT_FALSE(Show(dir.Path(), [&] { QTest::keyClick(window.lstHistory, Qt::Key_Escape); }));
  EXPECT_EQ(Barcodes(scanData), oldBarcodes);
  EXPECT_TRUE(messages.errors.empty());
}

}  // namespace
}  // namespace kessmar

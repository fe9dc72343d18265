#include "platform/qt/QtShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace kessmar {

void QtShellOpen::Open(const std::filesystem::path& path) {
  // Like the shell's "open", the answer is not examined: no browser simply means no page.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

}  // namespace kessmar

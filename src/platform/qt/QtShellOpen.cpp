#include "platform/qt/QtShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace kessmar {

bool QtShellOpen::Open(const std::filesystem::path& path) {
  // False when the desktop has no opener for the file or it could not be started.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

}  // namespace kessmar

// The program's diagnostics log: Qt logging categories per part of the program, written to
// standard error and to a size-capped file. QT_LOGGING_RULES selects what is written, as for
// any Qt program (for example "kessmar.*.debug=true" adds the debug lines, which may name
// barcodes; the default level, info, never does).
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)         // kessmar.app: start, settings, windows
Q_DECLARE_LOGGING_CATEGORY(lcScanner)     // kessmar.scanner: ports, link, reads
Q_DECLARE_LOGGING_CATEGORY(lcBatch)       // kessmar.batch: saving and loading batches
Q_DECLARE_LOGGING_CATEGORY(lcActions)     // kessmar.actions: processing runs, hand-on
Q_DECLARE_LOGGING_CATEGORY(lcBackOffice)  // kessmar.backoffice: the back-office transfer
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)      // kessmar.update: the program update

namespace kessmar::platform {

// Text of a path or message for a log line.
inline QString LogText(const std::string& text) {
  return QString::fromStdString(text);
}
inline QString LogText(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// While it exists, every Qt message goes to standard error and is appended to file as one line
// "yyyy-MM-dd hh:mm:ss.zzz <level> <category>: <text>". When the file would grow past maxBytes
// it is renamed to file + ".1" (replacing an older one) and a new file is begun, so the log never
// takes more than twice maxBytes. A file that cannot be written only loses the file copy of the
// lines. At most one object may exist at a time; destroying it restores Qt's own handler.
class DiagnosticsLog {
 public:
  static constexpr int64_t kDefaultMaxBytes = 1 << 20;

  explicit DiagnosticsLog(std::filesystem::path file, int64_t maxBytes = kDefaultMaxBytes);
  DiagnosticsLog(const DiagnosticsLog&) = delete;
  DiagnosticsLog& operator=(const DiagnosticsLog&) = delete;
  ~DiagnosticsLog();

  const std::filesystem::path& File() const { return file_; }

 private:
  struct Sink;
  std::filesystem::path file_;
  std::unique_ptr<Sink> sink_;
};

}  // namespace kessmar::platform

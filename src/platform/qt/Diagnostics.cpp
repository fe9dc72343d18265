#include "platform/qt/Diagnostics.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <mutex>

Q_LOGGING_CATEGORY(lcApp, "kessmar.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScanner, "kessmar.scanner", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBatch, "kessmar.batch", QtInfoMsg)
Q_LOGGING_CATEGORY(lcActions, "kessmar.actions", QtInfoMsg)
Q_LOGGING_CATEGORY(lcBackOffice, "kessmar.backoffice", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUpdate, "kessmar.update", QtInfoMsg)

namespace kessmar::platform {

namespace {

const char* LevelName(QtMsgType type) {
  switch (type) {
    case QtDebugMsg:
      return "debug";
    case QtInfoMsg:
      return "info";
    case QtWarningMsg:
      return "warning";
    case QtCriticalMsg:
      return "critical";
    case QtFatalMsg:
      return "fatal";
  }
  return "?";
}

}  // namespace

// Qt's message handler is a plain function; it reaches the one log through this pointer.
struct DiagnosticsLog::Sink {
  static inline Sink* active = nullptr;

  QString path;
  int64_t maxBytes = 0;
  QtMessageHandler previous = nullptr;
  std::mutex mutex;
  QFile file;

  void Write(const QByteArray& line) {
    std::lock_guard lock(mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (file.isOpen() && file.size() + line.size() > maxBytes) {
      file.close();
      QFile::remove(path + ".1");
      QFile::rename(path, path + ".1");
    }
    if (!file.isOpen()) {
      file.setFileName(path);
      if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return;
    }
    file.write(line);
    file.flush();
  }

  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QByteArray line =
        (QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss.zzz") + ' ' + LevelName(type) +
         ' ' + (context.category != nullptr ? context.category : "default") + ": " + text + '\n')
            .toUtf8();
    if (active != nullptr) active->Write(line);
  }
};

DiagnosticsLog::DiagnosticsLog(std::filesystem::path file, int64_t maxBytes)
    : file_(std::move(file)), sink_(std::make_unique<Sink>()) {
  std::error_code ignored;
  std::filesystem::create_directories(file_.parent_path(), ignored);
  sink_->path = QString::fromStdString(file_.string());
  sink_->maxBytes = maxBytes;
  Sink::active = sink_.get();
  sink_->previous = qInstallMessageHandler(&Sink::Handle);
}

DiagnosticsLog::~DiagnosticsLog() {
  qInstallMessageHandler(sink_->previous);
  Sink::active = nullptr;
}

}  // namespace kessmar::platform

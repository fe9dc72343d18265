#include "app/RoadLibraries.h"

#include "platform/lazy/LazyLibrary.h"
#include "platform/qt/Diagnostics.h"

namespace kessmar {

std::string MissingRoadLibrary(const std::function<void()>& require,
                               const QLoggingCategory& category, const char* road) {
  try {
    require();
    return "";
  } catch (const platform::LibraryUnavailable& e) {
    qCWarning(category).noquote() << road
                                  << "is unavailable:" << platform::LogText(std::string(e.what()));
    return e.Library();
  }
}

std::string MissingLibraryText(const char* userText, const std::string& library) {
  std::string text = userText;
  if (const auto at = text.find("%1"); at != std::string::npos) text.replace(at, 2, library);
  return text;
}

}  // namespace kessmar

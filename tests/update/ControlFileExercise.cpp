#include "update/ControlFileExercise.h"
#include <stdexcept>

#include <algorithm>
#include <optional>
#include <string>

#include "update/ControlFile.h"
#include "update/FileEntries.h"
#include "update/PathPrefixes.h"
#include "update/UpdateDates.h"
#include "update/UpdaterCommandLine.h"
#include "update/VersionText.h"

namespace kessmar {

void ExerciseControlFile(std::string_view text) {
  const ControlFile control = ControlFile::Parse(text);
  const PrefixFolders folders = [](const std::string& name) -> std::optional<std::string> {
    if (name == "APP") return "/opt/kst";
    if (name == "ROOT") return "/";
    if (name == "BRACES") return "/tmp/{APP}";
    return std::nullopt;
  };
  auto expand = [&](const std::string& s) { return ExpandPathPrefixes(s, folders); };

  for (const char* key :
       {"signature", "descr", "date", "time", "localversion", "unconditional", "newversion"}) {
    (void)expand(control.ReadString("update", key));
  }
  (void)control.ReadInteger("update", "newsize", 0);
  (void)control.ReadInteger("update", "newchecksum", -1);
  const VersionWords version = ReadVersionText(control.ReadString("update", "newversion"));
  if (version.Valid()) (void)ReadVersionText(version.ToString());
  (void)ReadControlDate(control.ReadString("update", "date"), control.ReadString("update", "time"));

  UpdaterCall call;
  call.appName = expand(control.ReadString("application", "appname"));
  call.appParams = control.ReadString("application", "appparam");
  call.appComponents = expand(control.ReadString("application", "appcomps"));
  call.componentFolder = "/tmp/";
  try {
    (void)ParseUpdaterArguments(SplitCommandLine(BuildUpdaterCommandLine(call)));
  } catch (const std::invalid_argument&) {
    // A quote or control character is refused: the component never takes such a file.
  }
  (void)SplitComponentList(call.appComponents);
  (void)SplitCommandLine(control.ReadString("action", "runafterparam"));

  const int32_t count = control.ReadInteger("files", "count", 0);
  const auto made =
      std::min<size_t>(count > 0 ? static_cast<size_t>(count) : 0, control.SectionCount());
  for (size_t i = 1; i <= made; ++i) {
    const TFileDescription entry = ReadFileDescription(control, "file" + std::to_string(i), expand);
    (void)ReadVersionText(entry.NewVersion);
    (void)ReadControlDate(entry.NewDate, entry.NewTime);
  }
}

}  // namespace kessmar

#include "update/FileEntries.h"

namespace kessmar {

TFileDescription ReadFileDescription(const ControlFile& control, const std::string& section,
                                     const std::function<std::string(const std::string&)>& expand) {
  TFileDescription entry;
  entry.URL = expand(control.ReadString(section, "url"));
  entry.NewVersion = control.ReadString(section, "newversion");
  entry.NewSize = control.ReadInteger(section, "newsize", 0);
  entry.NewCheckSum = control.ReadInteger(section, "newchecksum", -1);
  entry.NewCustomVer = control.ReadString(section, "customversion");
  entry.NewDate = control.ReadString(section, "date");
  entry.NewTime = control.ReadString(section, "time");
  entry.LocalVersion = expand(control.ReadString(section, "localversion"));
  entry.Description = control.ReadString(section, "descr");
  entry.TargetDir = expand(control.ReadString(section, "targetdir"));
  if (!entry.TargetDir.empty() && entry.TargetDir.back() != '/') entry.TargetDir += '/';
  entry.Compressed = control.ReadBool(section, "compressed", false);
  entry.FileSize = control.ReadInteger(section, "filesize", 0);
  entry.Mandatory = control.ReadBool(section, "mandatory", false);
  entry.Preselect = control.ReadBool(section, "preselect", true);
  entry.Hidden = control.ReadBool(section, "hidden", false);
  return entry;
}

}  // namespace kessmar

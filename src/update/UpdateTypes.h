// Settings values, results and file entries of the update component.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kessmar {

enum class TUpdateType { httpUpdate, ftpUpdate, fileUpdate };
enum class TUpdateConnect {
  wucNoConnect,
  wucConnectPrompt,
  wucConnectSilent,
  wucConnectPromptHangup,
  wucConnectSilentHangup,
  wucNone
};
enum class TUpdateUpdate { wuuSilent, wuuPromptOnce, wuuPromptAll };
// Certificates are always checked; there is no value that turns the checks off.
enum class TCertCheck { ccEnable };
enum class TAuthenticate { waAlways, waAuto, waNever };
enum class TVersionCheck { vcUpdateOnly, vcAlways };

// What EvaluateControlFile found; an update is available unless NoUpdate.
enum class UpdateOutcome : int {
  DateUpdate = 6,
  NoUpdate = 7,
  UnconditionalUpdate = 8,
  SizeUpdate = 9,
  ChecksumUpdate = 10,
  VersionUpdate = 11,
  CustomUpdate = 12,
};

// One file of an update, from a section "file<i>" of the control file.
struct TFileDescription {
  std::string URL;           // url, prefixes expanded
  std::string NewVersion;    // newversion
  int32_t NewSize = 0;       // newsize
  int32_t NewCheckSum = -1;  // newchecksum
  std::string NewCustomVer;  // customversion
  std::string NewDate;       // date
  std::string NewTime;       // time
  std::string LocalVersion;  // localversion, prefixes expanded: the local file compared with
  std::string Description;   // descr
  std::string TargetDir;     // targetdir, prefixes expanded, ends in "/" unless empty
  bool Compressed = false;   // compressed = 1
  int32_t FileSize = 0;      // filesize: only for the total progress
  bool Mandatory = false;
  bool Preselect = true;
  bool Hidden = false;
  std::string Sha256;     // sha256: the file's SHA-256 in hexadecimal (a signed update has it)
  bool Selected = false;  // not in the file; set before the download
};

using TFileList = std::vector<TFileDescription>;

}  // namespace kessmar

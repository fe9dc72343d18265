// Every environment variable of our own that the program and its tools read: settings for tests,
// the demo and the package, never needed by a user. README.md's table of the environment lists
// the same names. (Standard variables such as XDG_RUNTIME_DIR, XDG_DATA_HOME, HOME and libpq's
// PG* are read where they are used.)
#pragma once

#include <optional>
#include <string>

namespace kessmar::platform {

namespace env {
// Serial ports (src/platform/serial).
inline constexpr const char* kPortsDir = "KESSMAR_PORTS_DIR";    // the ports directory
inline constexpr const char* kSysfsRoot = "KESSMAR_SYSFS_ROOT";  // a stand-in for /sys (tests)
inline constexpr const char* kDevRoot = "KESSMAR_DEV_ROOT";      // a stand-in for /dev (tests)
// Start-up (src/app).
inline constexpr const char* kAutostart = "KESSMAR_AUTOSTART";           // "1": started at login
inline constexpr const char* kReportStartup = "KESSMAR_REPORT_STARTUP";  // "1": benchmark
inline constexpr const char* kFirstUpdateCheckMs = "KESSMAR_FIRST_UPDATE_CHECK_MS";  // benchmark
// The web order (src/actions).
inline constexpr const char* kShopUrl = "KESSMAR_SHOP_URL";
// The back office (src/dbclient, src/backoffice, tools/backoffice-server).
inline constexpr const char* kDiscoveryAddr = "KESSMAR_DISCOVERY_ADDR";
inline constexpr const char* kDiscoveryPort = "KESSMAR_DISCOVERY_PORT";
inline constexpr const char* kServerRegistry = "KESSMAR_SERVER_REGISTRY";
inline constexpr const char* kVemoServer = "KESSMAR_VEMO_SERVER";
inline constexpr const char* kPgBin = "KESSMAR_PG_BIN";
// The program update (src/update).
inline constexpr const char* kUpdateUrl = "KESSMAR_UPDATE_URL";
inline constexpr const char* kUpdateCaFile = "KESSMAR_UPDATE_CA_FILE";
inline constexpr const char* kUpdateAutoanswer = "KESSMAR_UPDATE_AUTOANSWER";  // "1": answer yes
inline constexpr const char* kUpdateTestKeys = "KESSMAR_UPDATE_TEST_KEYS";     // test builds only
inline constexpr const char* kUpdateFetcher = "KESSMAR_UPDATE_FETCHER";  // the fetch helper
// Libraries loaded on first use (src/platform/lazy): another file to load instead.
inline constexpr const char* kLibpq = "KESSMAR_LIBPQ";
inline constexpr const char* kLibcurl = "KESSMAR_LIBCURL";
inline constexpr const char* kLibmspack = "KESSMAR_LIBMSPACK";
inline constexpr const char* kLibcrypto = "KESSMAR_LIBCRYPTO";
// The Windows tests (scripts/test-windows.sh): KESSMAR_WINDOWS_BUILD, KESSMAR_LINUX_BUILD and
// KESSMAR_WINEPREFIX are read by the script alone.
}  // namespace env

// The value of the variable name; nullopt when it is unset or empty.
std::optional<std::string> EnvironmentOverride(const char* name);

// True when the value of the variable name begins with "1" (set to "1" to switch it on).
bool EnvironmentFlag(const char* name);

}  // namespace kessmar::platform

# Tests of the Windows build, run under Wine. Tests that need POSIX-only parts (the scanner
# emulator's pseudo-terminal, fork, file modes and size limits, sysfs) or parts not in the
# Windows build yet (Qt windows, the update road, the back office) stay on Linux; the
# configure run lists them.
foreach(dir batch version windows)
  add_subdirectory(${dir})
endforeach()
message(STATUS "Linux-only tests, left out of the Windows build: "
  "batch/AtomicSaveTest (fork, rlimit, file modes; Windows has AtomicSaveWindowsTest), "
  "scanner/Csp2Tests, scanner/EmulatorTests (pty emulator; the scanner_end_to_end test drives "
  "Csp2.dll against it), scanner/SerialPortsTests (sysfs; Windows has Win32Ports), "
  "about, actions, app (the windows' own tests; under Wine the whole tool is tested by "
  "tool_under_wine), update, dbclient, backoffice (not in the "
  "Windows build yet), fuzz (libFuzzer)")

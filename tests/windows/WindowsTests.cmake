# Tests of the Windows build, run under Wine. Tests that need POSIX-only parts (the scanner
# emulator's pseudo-terminal, fork, file modes and size limits, sysfs) or parts not in the
# Windows build yet (Qt windows, the update road, the back office) stay on Linux; the
# configure run lists them.
set(KESSMAR_LINUX_BUILD_DIR "${PROJECT_SOURCE_DIR}/build" CACHE PATH
  "Linux build folder with the scanner emulator, its control client and the reader")
# The Linux scanner emulator and its control client, run by the Windows tests as Unix programs.
set(KESSMAR_LINUX_EMULATOR "${KESSMAR_LINUX_BUILD_DIR}/tools/scanner-emulator/scanner-emulator")
set(KESSMAR_LINUX_EMULATOR_CONTROL "${KESSMAR_LINUX_BUILD_DIR}/tests/windows/emulator-control")

# Test programs that load Csp2.dll go beside it (Windows looks in the program's folder first).
function(kessmar_beside_csp2 target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/windows)
  add_dependencies(${target} windows_test_csp2)
endfunction()

foreach(dir common batch version windows csp2 scanner)
  add_subdirectory(${dir})
endforeach()
message(STATUS "Linux-only tests, left out of the Windows build: "
  "batch/AtomicSaveTest (fork, rlimit, file modes; Windows has AtomicSaveWindowsTest), "
  "tools/ScannerEmulatorTest (the emulator itself is a Linux program; under Wine it serves "
  "csp2_tests, scanner_link_tests and scanner_end_to_end), "
  "platform/SerialPortsTest (sysfs and the ports folder; Windows has Win32Ports), "
  "platform/LazyLibraryTest (the libpq, libcurl and libcrypto bindings are not in the "
  "Windows build), "
  "about, actions, app (the windows' own tests; under Wine the whole tool is tested by "
  "tool_under_wine), update, dbclient, backoffice (not in the "
  "Windows build yet), fuzz (libFuzzer)")

# Tests of the Windows build, run under Wine. Folders whose tests need POSIX-only parts (the
# scanner emulator's pseudo-terminal, fork) stay on Linux; the configure run lists them.
set(KESSMAR_LINUX_ONLY_TESTS fuzz actions dbclient backoffice update app)
foreach(dir batch about windows)
  add_subdirectory(${dir})
endforeach()
message(STATUS "Test folders left out of the Windows build (Linux only): ${KESSMAR_LINUX_ONLY_TESTS}")

# Modules of the Windows build (see docs/windows.md): the core of the scanner road. The update
# road (WinINet) and the back office (libpq for Windows) are not in it yet.
set(KESSMAR_MODULES
  src/platform
  src/common
  src/batch
  csp2
  src/scanner
  src/version
  tools/kessmar-batch
)
if(NOT KESSMAR_CORE_ONLY)
  # The tool's windows, with the static Qt for Windows (scripts/build-qt-windows.sh).
  list(APPEND KESSMAR_MODULES src/actions src/about src/app)
endif()

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

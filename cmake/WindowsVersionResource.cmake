# The Windows build's version resource: a real VERSIONINFO resource compiled by windres, which
# GetFileVersionInfoW reads back. Called from kessmar_add_version_info with its arguments in
# scope. The link-time stamp of the ELF build has no windres counterpart: a default
# BuildTimestamp is the time of the configure run.

macro(_kessmar_windows_version_info)
  if(arg_BUILD_TIMESTAMP STREQUAL "")
    string(TIMESTAMP arg_BUILD_TIMESTAMP "%d-%m-%Y %H:%M:%S")
    # d-m-yyyy: no leading zero on day and month.
    string(REGEX REPLACE "^0" "" arg_BUILD_TIMESTAMP "${arg_BUILD_TIMESTAMP}")
    string(REGEX REPLACE "-0([1-9])-" "-\\\\1-" arg_BUILD_TIMESTAMP "${arg_BUILD_TIMESTAMP}")
  endif()
  string(REPLACE "." "," rc_version "${full_version}")
  set(rc "#pragma code_page(65001)\n#include <winver.h>\n\n")
  string(APPEND rc "1 VERSIONINFO\n"
    "FILEVERSION ${rc_version}\nPRODUCTVERSION ${rc_version}\n"
    "FILEFLAGSMASK 0x3F\nFILEFLAGS 0\nFILEOS 0\nFILETYPE VFT_APP\nFILESUBTYPE 0\n"
    "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904E4\"\n    BEGIN\n")
  foreach(pair
      "CompanyName|${arg_COMPANY_NAME}" "FileDescription|${arg_FILE_DESCRIPTION}"
      "FileVersion|${full_version}" "InternalName|${arg_INTERNAL_NAME}"
      "LegalCopyright|${arg_LEGAL_COPYRIGHT}" "OriginalFilename|${arg_ORIGINAL_FILENAME}"
      "ProductName|${arg_PRODUCT_NAME}" "ProductVersion|${full_version}"
      "BuildTimestamp|${arg_BUILD_TIMESTAMP}")
    string(FIND "${pair}" "|" bar)
    string(SUBSTRING "${pair}" 0 ${bar} key)
    math(EXPR start "${bar} + 1")
    string(SUBSTRING "${pair}" ${start} -1 value)
    if(value MATCHES "[\r\n\"]")
      message(FATAL_ERROR "kessmar_add_version_info(${target}): line break or quote in '${value}'")
    endif()
    string(APPEND rc "      VALUE \"${key}\", \"${value}\"\n")
  endforeach()
  string(APPEND rc "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n"
    "    VALUE \"Translation\", 0x409, 1252\n  END\nEND\n")
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.version/version.rc)
  _kessmar_write_if_changed(${rc_file} "${rc}")
  target_sources(${target} PRIVATE ${rc_file})
endmacro()

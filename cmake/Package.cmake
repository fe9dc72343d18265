# The Debian package: `cmake --build build --target package` makes
# kessmar-scanner-tool_<version>_<arch>.deb from the install rules. Its version is the programs'
# file version (project version and build number), the one the About window shows; its
# dependencies are computed from the binaries by dpkg-shlibdeps, plus the libraries the tool
# loads only when a road needs them, which dpkg-shlibdeps cannot see.
include_guard(GLOBAL)

if(KESSMAR_CORE_ONLY)
  return()
endif()

if(NOT KESSMAR_BUILD_NUMBER STREQUAL "")
  set(_kessmar_package_build ${KESSMAR_BUILD_NUMBER})
else()
  _kessmar_git_build_number(_kessmar_package_build)
endif()

set(_doc ${CMAKE_INSTALL_DATADIR}/doc/kessmar-scanner-tool)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${_doc})
set(_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the package's changelog")
add_custom_target(kessmar_package_changelog ALL DEPENDS ${_changelog})
install(FILES ${_changelog} DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kessmar-scanner-tool)
set(CPACK_PACKAGE_VENDOR "Kessmar B.V.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}.${_kessmar_package_build}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads OPN-2001 pocket scanners and orders at Kessmar")
set(CPACK_PACKAGE_DESCRIPTION
  "A tray utility for the customers of Kessmar B.V. It reads the barcodes
stored in an OPN-2001 pocket batch scanner over its serial port, keeps
every batch with a history, and hands the batch on: as an order page that
the browser posts to the Kessmar web shop, or as priced lines of the open
order in the back-office database.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kessmar B.V. <support@kessmar.nl>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.kessmar.nl")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded on first use (src/platform/lazy): libpq, libcurl, libmspack, libcrypto (in libssl3).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libpq5, libcurl4 (>= 7.66.0), libmspack0 (>= 0.4), libssl3 (>= 3.0.0)")
# backoffice-server runs the PostgreSQL programs; the tool itself only needs libpq.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql-15")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_INSTALL_PREFIX}/${KESSMAR_PRIVATE_LIBDIR})
set(CPACK_STRIP_FILES ON)
# The autostart entry lives in /etc: a configuration file the administrator may change.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# The package trusts the supplier's update keys and nothing else: a build folder that lets tests
# add keys, or one without keys, makes no package.
set(_refusal "")
if(KESSMAR_UPDATE_TEST_KEYS)
  set(_refusal "this build folder trusts test keys for updates (KESSMAR_UPDATE_TEST_KEYS); \
configure a folder of its own with -DKESSMAR_BUILD_TESTS=OFF -DKESSMAR_BUILD_BENCH=OFF")
elseif(NOT KESSMAR_UPDATE_HAS_KEYS)
  set(_refusal "the programs hold no update key (KESSMAR_UPDATE_KEYS is empty)")
endif()
if(NOT _refusal STREQUAL "")
  set(_check ${CMAKE_BINARY_DIR}/packaging/refuse-package.cmake)
  file(WRITE ${_check} "message(FATAL_ERROR \"No package: ${_refusal}\")\n")
  set(CPACK_PRE_BUILD_SCRIPTS ${_check})
endif()
include(CPack)

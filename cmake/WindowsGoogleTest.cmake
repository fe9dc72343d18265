# Debian ships GoogleTest for Windows only as source (/usr/src/googletest, from the googletest
# package): build it here with the same cross compiler and give it the names find_package uses.
set(KESSMAR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source folder")
if(NOT EXISTS ${KESSMAR_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest source not found in ${KESSMAR_GOOGLETEST_SOURCE} "
                      "(apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${KESSMAR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  # Its own warnings are not ours to fix.
  target_compile_options(${lib} PRIVATE -w)
  set_target_properties(${lib} PROPERTIES AUTOMOC OFF)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Version resource of our programs: a VS_VERSIONINFO block (the Windows layout) in the ELF
# section ".kessmar_version", which src/version reads back for the About window and the update's
# version check.
#
#   kessmar_add_version_info(<target>
#     PRODUCT_NAME <text> FILE_DESCRIPTION <text> ORIGINAL_FILENAME <text>
#     [INTERNAL_NAME <text>]       default: <target>
#     [COMPANY_NAME <text>]        default: "Kessmar B.V."
#     [LEGAL_COPYRIGHT <text>]     default: "© 2026 Kessmar B.V., Veenendaal"
#     [VERSION <x.y.z>]            default: the project version (major.minor.patch)
#     [BUILD_NUMBER <n>]           default: KESSMAR_BUILD_NUMBER
#     [BUILD_TIMESTAMP <text>])    default: the time the target is linked (d-m-yyyy hh:nn:ss)
#
# File and product version are both <x.y.z>.<build number>. The block is generated and compiled
# in the target's pre-link step, so the timestamp is that of the link and a no-op build relinks
# nothing; a changed setting (reconfigure) relinks just the targets it concerns. Call it in the
# directory that creates the target.
include_guard(GLOBAL)

set(KESSMAR_BUILD_NUMBER "" CACHE STRING
  "Build number in the programs' version resource (0-65535); empty: the git commit count of the source tree at configure time, 0 without git")

set_property(GLOBAL PROPERTY KESSMAR_VERSION_RESOURCE_SECTION ".kessmar_version")

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsVersionResource.cmake)
elseif(NOT TARGET kessmar_version_resource)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/../tools/version-resource
                   ${CMAKE_BINARY_DIR}/tools/version-resource)
endif()

# Writes content to path only when it differs, so that an unchanged reconfigure relinks nothing.
function(_kessmar_write_if_changed path content)
  set(old "")
  if(EXISTS ${path})
    file(READ ${path} old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE ${path} "${content}")
  endif()
endfunction()

# The commit count of the source tree, asked once per configure run.
function(_kessmar_git_build_number out)
  get_property(known GLOBAL PROPERTY KESSMAR_GIT_BUILD_NUMBER SET)
  if(NOT known)
    set(count 0)
    find_package(Git QUIET)
    if(GIT_FOUND)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_QUIET
        OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(result EQUAL 0 AND output MATCHES "^[0-9]+$")
        set(count ${output})
      endif()
    endif()
    if(count GREATER 65535)
      message(WARNING "git commit count ${count} does not fit a build number; using 65535 "
                      "(set KESSMAR_BUILD_NUMBER)")
      set(count 65535)
    endif()
    set_property(GLOBAL PROPERTY KESSMAR_GIT_BUILD_NUMBER ${count})
  endif()
  get_property(count GLOBAL PROPERTY KESSMAR_GIT_BUILD_NUMBER)
  set(${out} ${count} PARENT_SCOPE)
endfunction()

function(kessmar_add_version_info target)
  cmake_parse_arguments(PARSE_ARGV 1 arg ""
    "PRODUCT_NAME;FILE_DESCRIPTION;ORIGINAL_FILENAME;INTERNAL_NAME;COMPANY_NAME;LEGAL_COPYRIGHT;VERSION;BUILD_NUMBER;BUILD_TIMESTAMP"
    "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "kessmar_add_version_info(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  foreach(required PRODUCT_NAME FILE_DESCRIPTION ORIGINAL_FILENAME)
    if(NOT DEFINED arg_${required} OR arg_${required} STREQUAL "")
      message(FATAL_ERROR "kessmar_add_version_info(${target}): ${required} is required")
    endif()
  endforeach()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "kessmar_add_version_info: no target ${target}")
  endif()

  if(NOT DEFINED arg_INTERNAL_NAME)
    set(arg_INTERNAL_NAME ${target})
  endif()
  if(NOT DEFINED arg_COMPANY_NAME)
    set(arg_COMPANY_NAME "Kessmar B.V.")
  endif()
  if(NOT DEFINED arg_LEGAL_COPYRIGHT)
    set(arg_LEGAL_COPYRIGHT "© 2026 Kessmar B.V., Veenendaal")
  endif()
  if(NOT DEFINED arg_VERSION)
    set(arg_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
  endif()
  if(NOT arg_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "kessmar_add_version_info(${target}): VERSION must be major.minor.patch, got '${arg_VERSION}'")
  endif()
  if(NOT DEFINED arg_BUILD_NUMBER)
    if(NOT KESSMAR_BUILD_NUMBER STREQUAL "")
      set(arg_BUILD_NUMBER ${KESSMAR_BUILD_NUMBER})
    else()
      _kessmar_git_build_number(arg_BUILD_NUMBER)
    endif()
  endif()
  if(NOT arg_BUILD_NUMBER MATCHES "^[0-9]+$" OR arg_BUILD_NUMBER GREATER 65535)
    message(FATAL_ERROR "kessmar_add_version_info(${target}): build number must be 0-65535, got '${arg_BUILD_NUMBER}'")
  endif()
  if(NOT DEFINED arg_BUILD_TIMESTAMP)
    set(arg_BUILD_TIMESTAMP "")
  endif()

  set(full_version "${arg_VERSION}.${arg_BUILD_NUMBER}")
  if(WIN32)
    _kessmar_windows_version_info()
    return()
  endif()
  get_property(section GLOBAL PROPERTY KESSMAR_VERSION_RESOURCE_SECTION)
  set(lines
    "section=${section}"
    "version=${arg_VERSION}"
    "build=${arg_BUILD_NUMBER}"
    "string.CompanyName=${arg_COMPANY_NAME}"
    "string.FileDescription=${arg_FILE_DESCRIPTION}"
    "string.FileVersion=${full_version}"
    "string.InternalName=${arg_INTERNAL_NAME}"
    "string.LegalCopyright=${arg_LEGAL_COPYRIGHT}"
    "string.OriginalFilename=${arg_ORIGINAL_FILENAME}"
    "string.ProductName=${arg_PRODUCT_NAME}"
    "string.ProductVersion=${full_version}"
    "string.BuildTimestamp=${arg_BUILD_TIMESTAMP}")
  set(content "")
  foreach(line IN LISTS lines)
    if(line MATCHES "[\r\n]")
      message(FATAL_ERROR "kessmar_add_version_info(${target}): line break in '${line}'")
    endif()
    string(APPEND content "${line}\n")
  endforeach()

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.version)
  set(config ${dir}/version.txt)
  set(source ${dir}/version_resource.c)
  set(object ${dir}/version_resource.o)
  _kessmar_write_if_changed(${config} "${content}")

  separate_arguments(c_flags UNIX_COMMAND "${CMAKE_C_FLAGS}")
  add_dependencies(${target} kessmar_version_resource)
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND kessmar_version_resource --config ${config} --output ${source}
    COMMAND ${CMAKE_C_COMPILER} ${c_flags} -c ${source} -o ${object}
    COMMENT "Version resource of ${target}"
    VERBATIM)
  target_link_options(${target} PRIVATE ${object})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
    ${config} $<TARGET_FILE:kessmar_version_resource>)
endfunction()

# libFuzzer targets for the readers of outside bytes.
#
# kessmar_add_fuzzer(<name> SOURCES <harness files> [LIBRARIES <targets>] [CORPUS <folder>]
#                    [INCLUDES <folders>] [OPTIONS <libFuzzer flags>] [MUTATIONS <count>])
# The harness defines LLVMFuzzerTestOneInput (tests/fuzz/FuzzTarget.h). Every build gets
# <name>_corpus_tests: the harness over its seed corpus (default tests/fuzz/corpus/<name>) and
# over fixed mutations of it, run by GoogleTest, so the harness compiles and its checks hold
# under GCC too. A build with KESSMAR_FUZZ=ON (clang) also gets the libFuzzer program <name>,
# listed with its corpus and options in <build>/fuzzers.txt, which scripts/fuzz.sh runs.
option(KESSMAR_FUZZ "Build the libFuzzer targets (clang; every target instrumented)" OFF)

if(KESSMAR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES Clang)
    message(FATAL_ERROR "KESSMAR_FUZZ=ON needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ "
                        "-DCMAKE_C_COMPILER=clang")
  endif()
  # All code is instrumented, so a fuzzer links the ordinary libraries and sees inside them.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
  set_property(GLOBAL PROPERTY KESSMAR_FUZZERS "")

  function(_kessmar_write_fuzz_manifest)
    get_property(lines GLOBAL PROPERTY KESSMAR_FUZZERS)
    list(JOIN lines "\n" content)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers.txt CONTENT "${content}\n")
  endfunction()
  # Written once every folder has added its fuzzers.
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _kessmar_write_fuzz_manifest)
endif()

function(kessmar_add_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "CORPUS;MUTATIONS" "SOURCES;LIBRARIES;INCLUDES;OPTIONS")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "kessmar_add_fuzzer(${name}): no SOURCES")
  endif()
  if(NOT arg_CORPUS)
    set(arg_CORPUS ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  endif()
  if(NOT arg_MUTATIONS)
    set(arg_MUTATIONS 2000)
  endif()

  add_executable(${name}_corpus_tests ${PROJECT_SOURCE_DIR}/tests/fuzz/CorpusReplay.cpp
                 ${arg_SOURCES})
  target_link_libraries(${name}_corpus_tests PRIVATE ${arg_LIBRARIES} kessmar_fuzz_support
                        GTest::gtest_main)
  target_compile_definitions(${name}_corpus_tests PRIVATE KESSMAR_FUZZ_CORPUS="${arg_CORPUS}"
                             KESSMAR_FUZZ_MUTATIONS=${arg_MUTATIONS} KESSMAR_FUZZ_SUITE=${name})
  target_include_directories(${name}_corpus_tests PRIVATE ${arg_INCLUDES})
  set_target_properties(${name}_corpus_tests PROPERTIES AUTOMOC OFF)
  kessmar_discover_tests(${name}_corpus_tests)

  if(KESSMAR_FUZZ)
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} kessmar_fuzz_support)
    target_include_directories(${name} PRIVATE ${arg_INCLUDES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    add_dependencies(fuzzers ${name})
    list(JOIN arg_OPTIONS " " options)
    set_property(GLOBAL APPEND PROPERTY KESSMAR_FUZZERS
                 "${name}\t$<TARGET_FILE:${name}>\t${arg_CORPUS}\t${options}")
  endif()
endfunction()

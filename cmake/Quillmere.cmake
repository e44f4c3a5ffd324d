# Helpers shared by every component's CMakeLists.txt.

# qm_add_test(<name> SOURCES <files...> LIBS <libs...>)
# Builds one GoogleTest binary (kept out of dist/), linked with testsupport/, and registers
# its cases with CTest.
function(qm_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qm_testsupport GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QM_DIST_DIR="${QM_DIST_DIR}"
    QM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QM_DIST_DIR=${QM_DIST_DIR}")
endfunction()

# Fuzz targets. qm_fuzz_target(<name> SOURCES <files...> LIBS <libs...> [CORPUS <dir>]
#   [MAX_LEN <bytes>] [OPTIONS <libFuzzer flags...>])
# Builds fuzz_replay_<name> (testsupport/fuzz_replay.cpp feeds every file of the corpus,
# corpus/<name>/ beside the sources unless CORPUS names another, to the target's
# LLVMFuzzerTestOneInput) and runs it under CTest; with QM_FUZZ (a clang build,
# scripts/fuzz) also the libFuzzer program fuzz_<name> in fuzz/. Every target is listed in
# fuzz/targets.txt of the build (name, program, corpus, max_len, flags), which scripts/fuzz reads.
function(qm_fuzz_target name)
  cmake_parse_arguments(F "" "CORPUS;MAX_LEN" "SOURCES;LIBS;OPTIONS" ${ARGN})
  if(NOT F_CORPUS)
    set(F_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  if(NOT F_MAX_LEN)
    set(F_MAX_LEN 65536)
  endif()
  add_executable(fuzz_replay_${name} ${CMAKE_SOURCE_DIR}/testsupport/fuzz_replay.cpp ${F_SOURCES})
  target_link_libraries(fuzz_replay_${name} PRIVATE ${F_LIBS})
  target_include_directories(fuzz_replay_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(fuzz_replay_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME fuzz_replay_${name} COMMAND fuzz_replay_${name} ${F_CORPUS})
  if(QM_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCES})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS})
    target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR})
    set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    qm_fuzz_list(${name} fuzz_${name} ${CMAKE_BINARY_DIR}/fuzz/fuzz_${name} ${F_CORPUS} ${F_MAX_LEN} ${F_OPTIONS})
  endif()
endfunction()

# Adds a libFuzzer program built elsewhere to fuzz/targets.txt: its name, build target,
# program file, corpus folder, max_len and extra flags.
function(qm_fuzz_list name target program corpus max_len)
  string(JOIN " " flags ${ARGN})
  set_property(GLOBAL APPEND PROPERTY QM_FUZZ_LIST "${name}\t${target}\t${program}\t${corpus}\t${max_len}\t${flags}")
endfunction()

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

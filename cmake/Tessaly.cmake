# tessaly_add_test(NAME SOURCES... LIBS...) adds a GoogleTest executable whose
# cases CTest discovers and runs; in the Windows tree they run under Wine.
# Tests labelled "gui" need an X display (the test command provides Xvfb).
function(tessaly_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()

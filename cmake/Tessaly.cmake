# tessaly_add_test(NAME SOURCES... LIBS... [LABELS...]) adds a GoogleTest
# executable that CTest runs as one test (under Wine in the Windows tree,
# where starting a process is the expensive part). Each run leaves a JUnit
# report in <build>/test-reports/ from which the test command counts cases.
# Tests labelled "gui" need an X display (the test command provides Xvfb).
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-reports)

function(tessaly_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(WIN32)
    target_link_options(${name} PRIVATE -mconsole)
    set(report "Z:${CMAKE_BINARY_DIR}/test-reports/${name}.xml")
  else()
    set(report "${CMAKE_BINARY_DIR}/test-reports/${name}.xml")
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-test
             ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_output=xml:${report})
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 900)
endfunction()

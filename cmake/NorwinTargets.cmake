# norwin_add_tests(NAME LABEL label SOURCES ... LIBS ...)
# One gtest binary; each test case becomes a ctest test carrying LABEL, so that
# `ctest -L unit|integration|e2e|script` selects a kind of test.
function(norwin_add_tests name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    NORWIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    NORWIN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS ${ARG_LABEL}
               ENVIRONMENT "NORWIN_PROMPT_LOG=${CMAKE_BINARY_DIR}/Testing/prompts.log")
endfunction()

# JavaScript tests run by lumo-script, using the objects as administrators'
# scripts and course pages do. Every tests/script/*.js is one ctest test
# labelled `script`; it passes when lumo-script exits with status 0. Each
# runs in a fresh prefix folder of its own (its first argument), with the
# record library registered there when the build has one and a copy of
# tests/script/fixtures in it, and the content database that
# make_content_fixture writes as fixtures/content.db.
file(GLOB NORWIN_SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.js)
set(_register "")
if(TARGET norwin-regsvr AND TARGET norwin2003)
  set(_register -DREGSVR=$<TARGET_FILE:norwin-regsvr> -DLIBRARY=$<TARGET_FILE:norwin2003>)
endif()
add_executable(make_content_fixture ${CMAKE_CURRENT_LIST_DIR}/tools/make_content_fixture.cc)
target_link_libraries(make_content_fixture PRIVATE PkgConfig::SQLITE3 norwin-test-support)
list(APPEND _register -DCONTENT_FIXTURE=$<TARGET_FILE:make_content_fixture>)
foreach(_script ${NORWIN_SCRIPT_TESTS})
  get_filename_component(_name ${_script} NAME_WE)
  add_test(NAME script.${_name}
           COMMAND ${CMAKE_COMMAND} -DLUMO_SCRIPT=$<TARGET_FILE:lumo-script> ${_register}
                   -DSCRIPT=${_script} -DPREFIX=${CMAKE_BINARY_DIR}/Testing/script/${_name}
                   -P ${CMAKE_CURRENT_LIST_DIR}/run_script_test.cmake)
  set_tests_properties(script.${_name} PROPERTIES
    LABELS script
    ENVIRONMENT "NORWIN_PROMPT_LOG=${CMAKE_BINARY_DIR}/Testing/prompts.log")
endforeach()

# Scripts that take a record server's folder as their second argument run
# once more against a norwin-server started for them, and once more with
# that server's records on PostgreSQL.
if(TARGET norwin-server)
  foreach(_name students courses exams examlists lessons)
    foreach(_store sqlite postgresql)
      set(_test script.${_name}.on_norwin_server)
      set(_with "")
      if(_store STREQUAL "postgresql")
        set(_test ${_test}_postgresql)
        set(_with ${CMAKE_CURRENT_LIST_DIR}/../support/with_postgresql.sh
                  --export NORWIN_TEST_RECORD_DATABASE --)
      endif()
      add_test(NAME ${_test}
               COMMAND ${_with} ${CMAKE_COMMAND} -DLUMO_SCRIPT=$<TARGET_FILE:lumo-script> ${_register}
                       -DSCRIPT=${CMAKE_CURRENT_LIST_DIR}/${_name}.js
                       -DPREFIX=${CMAKE_BINARY_DIR}/Testing/script/${_test}
                       -DRECORD_SERVER=$<TARGET_FILE:norwin-server>
                       -P ${CMAKE_CURRENT_LIST_DIR}/run_script_test.cmake)
      set_tests_properties(${_test} PROPERTIES
        LABELS script
        ENVIRONMENT "NORWIN_PROMPT_LOG=${CMAKE_BINARY_DIR}/Testing/prompts.log")
    endforeach()
  endforeach()
endif()

# Runs one script test (see ScriptTests.cmake): a fresh prefix folder, the
# record library registered in it when there is one, then lumo-script with
# the folder as the script's first argument; the files of tests/script/fixtures
# are copied into its folder `fixtures`, and support/checks.js (the helpers
# every test loads) into the folder itself; CONTENT_FIXTURE, when given,
# writes fixtures/content.db.
# With RECORD_SERVER (the norwin-server program), a record server is started
# for the test on a free port and its folder "http://127.0.0.1:PORT/app/" is
# the script's second argument. When NORWIN_TEST_RECORD_DATABASE names a
# PostgreSQL server (tests/support/with_postgresql.sh), the records are kept
# there, under a folder of this run's own ("/run-XXXXXXXX/app/"), so that runs
# sharing the database never meet.
#   cmake -DLUMO_SCRIPT=... -DSCRIPT=... -DPREFIX=... [-DREGSVR=... -DLIBRARY=...]
#         [-DCONTENT_FIXTURE=...] [-DRECORD_SERVER=...] -P this
file(REMOVE_RECURSE ${PREFIX})
file(MAKE_DIRECTORY ${PREFIX})
get_filename_component(_fixtures ${SCRIPT} DIRECTORY)
file(COPY ${_fixtures}/fixtures DESTINATION ${PREFIX})
file(COPY ${_fixtures}/support/checks.js DESTINATION ${PREFIX})
if(CONTENT_FIXTURE)
  execute_process(COMMAND ${CONTENT_FIXTURE} ${PREFIX}/fixtures/content.db RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "writing the content database failed: ${status}")
  endif()
endif()
if(REGSVR AND LIBRARY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env NORWIN_PREFIX=${PREFIX} ${REGSVR} ${LIBRARY}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "registering ${LIBRARY} failed: ${status}")
  endif()
endif()
set(_server_args "")
if(RECORD_SERVER)
  set(_database "")
  set(_app "/app/")
  if(DEFINED ENV{NORWIN_TEST_RECORD_DATABASE} AND NOT "$ENV{NORWIN_TEST_RECORD_DATABASE}" STREQUAL "")
    set(_database "--database '$ENV{NORWIN_TEST_RECORD_DATABASE}'")
    string(RANDOM LENGTH 8 ALPHABET 0123456789abcdef _run)
    set(_app "/run-${_run}/app/")
  endif()
  # In the background, its first line (the address) in a file.
  execute_process(COMMAND sh -c "'${RECORD_SERVER}' --listen 127.0.0.1:0 --data '${PREFIX}/server' ${_database} >'${PREFIX}/server.out' 2>'${PREFIX}/server.log' </dev/null & echo $! >'${PREFIX}/server.pid'")
  foreach(_try RANGE 100)
    file(STRINGS ${PREFIX}/server.out _line LIMIT_COUNT 1)
    if(_line MATCHES "http://127.0.0.1:([0-9]+)/")
      break()
    endif()
    execute_process(COMMAND sleep 0.1)
  endforeach()
  if(NOT _line MATCHES "http://127.0.0.1:([0-9]+)/")
    message(FATAL_ERROR "norwin-server did not start: ${_line}")
  endif()
  set(_server_args "http://127.0.0.1:${CMAKE_MATCH_1}${_app}")
endif()
execute_process(COMMAND ${LUMO_SCRIPT} --prefix ${PREFIX} ${SCRIPT} ${PREFIX} ${_server_args}
                RESULT_VARIABLE status)
if(RECORD_SERVER)
  file(STRINGS ${PREFIX}/server.pid _pid LIMIT_COUNT 1)
  execute_process(COMMAND kill ${_pid})
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SCRIPT} ended with status ${status}")
endif()

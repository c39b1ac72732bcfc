# Runs one script test (see ScriptTests.cmake): a fresh prefix folder, the
# record library registered in it when there is one, then lumo-script with
# the folder as the script's first argument; the files of tests/script/fixtures
# are copied into its folder `fixtures`, and support/checks.js (the helpers
# every test loads) into the folder itself; CONTENT_FIXTURE, when given,
# writes fixtures/content.db.
#   cmake -DLUMO_SCRIPT=... -DSCRIPT=... -DPREFIX=... [-DREGSVR=... -DLIBRARY=...]
#         [-DCONTENT_FIXTURE=...] -P this
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
execute_process(COMMAND ${LUMO_SCRIPT} --prefix ${PREFIX} ${SCRIPT} ${PREFIX}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SCRIPT} ended with status ${status}")
endif()

# The guides' code samples (docs/*.md), run against the built programs: one
# ctest test a guide, labelled `docs`. How to mark a sample is said at the
# top of run_doc_samples.sh.
file(GLOB NORWIN_GUIDES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
foreach(_guide ${NORWIN_GUIDES})
  get_filename_component(_name ${_guide} NAME_WE)
  add_test(NAME docs.${_name}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_doc_samples.sh
                   $<TARGET_FILE_DIR:norwin-reg> ${_guide})
  set_tests_properties(docs.${_name} PROPERTIES LABELS "docs;integration")
endforeach()

# Installation (GNUInstallDirs) and the build tree's matching layout.
#
#   bin/                        the programs (norwin_install_program)
#   lib/<arch>/norwin/          the automation runtime, the record library,
#     lumo-webext/              lumo's web extension, a folder of its own
#   share/lumo/                 the demo course, the JavaScript shims
#   share/man/man1/             a manual page a program, made by help2man
#   share/applications, share/icons, share/mime   lumo's desktop entry
#
# Programs find their libraries through an $ORIGIN-relative run path and
# their files through the same relative paths (norwin/layout.h), so an
# installation may be moved as a whole and never reaches into the build
# folder. The build tree puts lumo's web extension and the demo course at
# the same places relative to bin/.
include(GNUInstallDirs)

set(NORWIN_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/norwin)
set(NORWIN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/lumo)
file(RELATIVE_PATH NORWIN_LIBDIR_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${NORWIN_INSTALL_LIBDIR})
file(RELATIVE_PATH NORWIN_DATADIR_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${NORWIN_INSTALL_DATADIR})
# Where the build tree keeps what programs look for beside them.
cmake_path(APPEND CMAKE_RUNTIME_OUTPUT_DIRECTORY ${NORWIN_LIBDIR_FROM_BINDIR}
           OUTPUT_VARIABLE NORWIN_BUILD_LIBDIR)
cmake_path(NORMAL_PATH NORWIN_BUILD_LIBDIR)
cmake_path(APPEND CMAKE_RUNTIME_OUTPUT_DIRECTORY ${NORWIN_DATADIR_FROM_BINDIR}
           OUTPUT_VARIABLE NORWIN_BUILD_DATADIR)
cmake_path(NORMAL_PATH NORWIN_BUILD_DATADIR)

# The version and the layout, for the programs (norwin/version.h, norwin/layout.h).
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${CMAKE_BINARY_DIR}/generated/norwin/version.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/layout.h.in
               ${CMAKE_BINARY_DIR}/generated/norwin/layout.h @ONLY)
add_library(norwin-generated INTERFACE)
target_include_directories(norwin-generated INTERFACE ${CMAKE_BINARY_DIR}/generated)

find_program(NORWIN_HELP2MAN help2man)
if(NOT NORWIN_HELP2MAN)
  message(WARNING "help2man is missing (scripts/lib.sh installs it): no manual pages")
endif()

# norwin_install_program(TARGET [DESCRIPTION "what it does, for its manual page"])
# One line a program: installs it in bin/ with the run path of the
# installed libraries, and makes and installs its manual page from its
# --help and --version.
function(norwin_install_program target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${NORWIN_LIBDIR_FROM_BINDIR}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT NORWIN_HELP2MAN)
    return()
  endif()
  get_target_property(_name ${target} OUTPUT_NAME)
  if(NOT _name)
    set(_name ${target})
  endif()
  # Compressed, as Debian installs manual pages.
  set(_page ${CMAKE_BINARY_DIR}/man/${_name}.1)
  if(NOT ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "a program of Lumo and Norwin2003")
  endif()
  add_custom_command(
    OUTPUT ${_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    # No display and an empty prefix: --help and --version must not need either.
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            NORWIN_PREFIX=${CMAKE_BINARY_DIR}/man/prefix
            ${NORWIN_HELP2MAN} --no-info --no-discard-stderr --section=1
            --name=${ARG_DESCRIPTION} --output=${_page} $<TARGET_FILE:${target}>
    COMMAND gzip -9nf ${_page}
    DEPENDS ${target}
    COMMENT "Manual page of ${_name}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${_page}.gz)
  install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# norwin_install_library(TARGET): a library of the system, in its own folder;
# it finds the libraries beside it.
function(norwin_install_library target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${NORWIN_INSTALL_LIBDIR} NAMELINK_SKIP)
endfunction()

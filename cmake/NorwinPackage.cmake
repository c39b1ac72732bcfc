# The Debian package (cpack -G DEB, or scripts/package, which configures a
# tree for /usr first): everything `cmake --install` installs, with the
# dependencies dpkg-shlibdeps finds in the programs and libraries.
set(CPACK_PACKAGE_NAME lumo)
set(CPACK_PACKAGE_VENDOR "Lumo developers")
set(CPACK_PACKAGE_CONTACT "Lumo developers <lumo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive course material and class records")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Lumo shows a course's pages in a window of its own; Norwin2003 keeps the records of the "
       "classes that use it (rosters, exams, lessons, results) as XML files in a folder or "
       "behind server pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

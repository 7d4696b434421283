# Installation rules and packages.
#
# Linux: `cmake --install` puts netkeep and mkinstall in bin/ and the manual
# pages in share/man/man1; `cpack` in the build folder makes the Debian
# package netkeep_<version>_<arch>.deb from the same files (prefix /usr).
#
# Windows (the `windows` preset): the installation is netkeep.exe and
# README.txt, a short text on its use, side by side; `cpack` makes the zip
# netkeep-<version>-win64.zip holding them in one folder.
#
# scripts/package builds both packages and checks the Debian one.

include(GNUInstallDirs)

set(NETKEEP_PACKAGE_MAINTAINER "Corvanta Orbenta team <orbenta@corvanta.invalid>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME netkeep)
set(CPACK_PACKAGE_VENDOR Corvanta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${NETKEEP_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "offline database tool of the Orbenta satellite-network management system")
# The long description, wrapped as Debian shows it.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "netkeep examines and mends the stored state of an Orbenta installation\n"
    "while the system is stopped: the three SQLite databases and the network\n"
    "configuration kept in the registry (on Linux, a hive file named by\n"
    "ORBENTA_REGISTRY). It verifies that the two agree, repairs what it safely\n"
    "can, resets an installation, and exports and imports the whole state as\n"
    "one archive. mkinstall builds demo installations to try it on.")
set(CPACK_STRIP_FILES TRUE)
# Packages land in the build folder's packages/, apart from the build itself.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  install(TARGETS netkeep RUNTIME DESTINATION .)
  # Windows editors expect CRLF line ends.
  configure_file(${CMAKE_SOURCE_DIR}/docs/windows-readme.txt ${CMAKE_BINARY_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  install(TARGETS netkeep mkinstall RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Manual pages are installed compressed, as Debian does (gzip -9n: no name
  # or time stamp, so the same page gives the same bytes).
  set(NETKEEP_MANUAL_PAGES netkeep.1 mkinstall.1)
  find_program(NETKEEP_GZIP gzip)
  foreach(page IN LISTS NETKEEP_MANUAL_PAGES)
    set(source ${CMAKE_SOURCE_DIR}/docs/${page})
    if(NETKEEP_GZIP)
      set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
      add_custom_command(
        OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${NETKEEP_GZIP} -9nc ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing the manual page ${page}"
        VERBATIM)
      list(APPEND NETKEEP_INSTALLED_PAGES ${compressed})
    else()
      list(APPEND NETKEEP_INSTALLED_PAGES ${source})
    endif()
  endforeach()
  # Debian's documentation folder holds the copyright file and, for a
  # package without a Debian revision, the changelog as changelog.gz.
  set(NETKEEP_DOCUMENTATION ${CMAKE_SOURCE_DIR}/docs/copyright)
  if(NETKEEP_GZIP)
    set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
    add_custom_command(
      OUTPUT ${changelog}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
      COMMAND ${NETKEEP_GZIP} -9nc ${CMAKE_SOURCE_DIR}/docs/changelog > ${changelog}
      DEPENDS ${CMAKE_SOURCE_DIR}/docs/changelog
      COMMENT "Compressing the changelog"
      VERBATIM)
    list(APPEND NETKEEP_DOCUMENTATION ${changelog})
  endif()
  add_custom_target(manual_pages ALL DEPENDS ${NETKEEP_INSTALLED_PAGES} ${NETKEEP_DOCUMENTATION})
  install(FILES ${NETKEEP_INSTALLED_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${NETKEEP_DOCUMENTATION} DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NETKEEP_PACKAGE_MAINTAINER})
  # The dependencies come from the libraries the programs link (libsqlite3-0
  # and the C and C++ runtimes, with their minimum versions) when
  # dpkg-shlibdeps (dpkg-dev) and file are there, as scripts/package makes
  # sure; otherwise they are named without versions.
  find_program(NETKEEP_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(NETKEEP_FILE file)
  if(NETKEEP_DPKG_SHLIBDEPS AND NETKEEP_FILE)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqlite3-0, libstdc++6, libgcc-s1, libc6")
  endif()
endif()

include(CPack)

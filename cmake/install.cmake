# Install rules and the Debian package. `cmake --install BUILD --prefix PREFIX` puts the program
# in PREFIX/bin, its manual page in PREFIX/share/man/man1, and the language guide and the
# example programs (with their expected outputs) in PREFIX/share/doc/tavro. `cpack -G DEB`, run
# in the build directory, packs the same files under /usr.
include(GNUInstallDirs)

install(TARGETS tavro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/tavro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/language.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The playground, once scripts/build-playground has built it into web/dist: static files that
# any web server can host as they are. Without a built page there is nothing to install.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/dist/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavro/playground
        OPTIONAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavro maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assembler and simulator of the Tavro 16-bit teaching computer")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavro assembles a program written in the assembly language of the Tavro machine, an\n"
    "invented 16-bit computer for teaching machine-level programming, and runs it on a\n"
    "simulator, with an optional trace of every instruction and a dump of the machine code.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tavro maintainers")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries come from dpkg-shlibdeps (package dpkg-dev) where it is installed;
# without it the package names the C and C++ run-time libraries without versions.
find_program(TAVRO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAVRO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
# A source package holds the sources only, not builds or version-control files.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/out/")
include(CPack)

# Install rules and the Debian package. `cmake --install BUILD --prefix PREFIX` puts the programs
# in PREFIX/bin, their manual pages in PREFIX/share/man/man1, and the licence, the changelog,
# the language guide and the example programs (with their expected outputs) in
# PREFIX/share/doc/tavro. `cpack -G DEB`, run in the build directory, packs the same files
# under /usr, with what Debian asks of a package besides (cmake/debian/finish-package.cmake).
include(GNUInstallDirs)

# Installs a program and its manual page, docs/PROGRAM.1.
function(tavro_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/${target}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

tavro_install_program(tavro)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
              ${PROJECT_SOURCE_DIR}/docs/language.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
if(TAVRO_TOOLS)
  tavro_install_program(tavro-list)
  tavro_install_program(tavro-dap)
  tavro_install_program(tavro-lsp)
  # tavro-grade, its manual page and the teacher's guide to grading.
  tavro_install_program(tavro-grade)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/grading.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The playground, once scripts/build-playground has built it into web/dist: static files that
# any web server can host as they are. Without a built page there is nothing to install.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/web/dist/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavro/playground
        OPTIONAL)

set(TAVRO_MAINTAINER "Tavro maintainers <maintainers@tavro.invalid>" CACHE STRING
    "The Maintainer of the Debian package: a name and an address")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavro maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assembler and simulator of the Tavro 16-bit teaching computer")
# Debian shows each line of the long description indented by one blank, within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Tavro assembles a program written in the assembly language of the Tavro\n"
    "machine, an invented 16-bit computer for teaching machine-level programming,\n"
    "and runs it on a simulator, with an optional trace of every instruction and a\n"
    "dump of the machine code. tavro-list prints a program's listing (each line's\n"
    "address and bytes) and its symbol table.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVRO_MAINTAINER}")
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

# The package's dates come from the build, not from the clock: SOURCE_DATE_EPOCH when cpack
# runs with it, else the time of the last commit (read now), else the time cpack runs.
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE CPACK_TAVRO_COMMIT_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_TAVRO_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
set(CPACK_TAVRO_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_TAVRO_CHANGELOG ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/finish-package.cmake)

# A source package holds the sources only, not builds or version-control files.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/out/")
include(CPack)

# Run by CPack on the staged files of the Debian package, before it packs them (see
# CPACK_PRE_BUILD_SCRIPTS in cmake/install.cmake): Debian's rules that `cmake --install` need
# not follow. Manual pages are compressed; the licence becomes the machine-readable copyright
# file and CHANGELOG.md the changelog, in place of the two files as installed; every file gets
# the build's date, so that two builds of one commit pack the same files.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
elseif(CPACK_TAVRO_COMMIT_TIME)
  set(epoch "${CPACK_TAVRO_COMMIT_TIME}")
else()
  string(TIMESTAMP epoch "%s" UTC)
endif()
# CPack reads it too when it writes the package's archives, after this script.
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")

# gzip -9n: the best compression, and no file name or time in the header.
function(compress file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endfunction()

file(GLOB pages "${root}/share/man/man*/*")
foreach(page IN LISTS pages)
  if(NOT page MATCHES "\\.gz$")
    compress("${page}")
  endif()
endforeach()

# The copyright file: copyright.in, with the holders and the terms taken from LICENSE (the
# terms from "Permission is hereby granted" on, each line indented by one blank, a blank line
# written " ." as the format asks).
file(READ "${CPACK_TAVRO_LICENSE}" licence)
if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEAR HOLDERS\"")
endif()
set(copyright "${CMAKE_MATCH_1}")
string(FIND "${licence}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "LICENSE does not hold the MIT licence's terms")
endif()
string(SUBSTRING "${licence}" ${start} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence " ${licence}")
configure_file("${CPACK_TAVRO_DEBIAN_DIR}/copyright.in" "${doc}/copyright" @ONLY)
file(REMOVE "${doc}/LICENSE")

# A package without a Debian revision is native: its changelog is changelog.gz, made from
# CHANGELOG.md.
execute_process(
  COMMAND awk -v "package=${CPACK_PACKAGE_NAME}" -v "maintainer=${CPACK_DEBIAN_PACKAGE_MAINTAINER}"
          -f "${CPACK_TAVRO_DEBIAN_DIR}/changelog.awk" "${CPACK_TAVRO_CHANGELOG}"
  OUTPUT_FILE "${doc}/changelog" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not make the changelog from CHANGELOG.md")
endif()
file(REMOVE "${doc}/CHANGELOG.md")
compress("${doc}/changelog")

execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@${epoch}" {} +
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not set the dates of the staged files")
endif()

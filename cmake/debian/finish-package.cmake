# Run by CPack on the staged files of the Debian package, before it packs them (see
# CPACK_PRE_BUILD_SCRIPTS in cmake/install.cmake): Debian's rules that `cmake --install` need
# not follow. Manual pages are compressed; the copyright file and a changelog are added; every
# file gets the build's date, so that two builds of one commit pack the same files.
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
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")  # string(TIMESTAMP) formats this time from here on
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)

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

file(COPY_FILE "${CPACK_TAVRO_DEBIAN_DIR}/copyright" "${doc}/copyright")
# A package without a Debian revision is native: its changelog is changelog.gz.
set(version "${CPACK_PACKAGE_VERSION}")
set(maintainer "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
configure_file("${CPACK_TAVRO_DEBIAN_DIR}/changelog.in" "${doc}/changelog" @ONLY)
compress("${doc}/changelog")

execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@${epoch}" {} +
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not set the dates of the staged files")
endif()

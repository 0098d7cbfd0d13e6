# The API reference: `cmake --build BUILD --target docs` runs Doxygen over the installed public
# headers (and the version header the build generates) into BUILD/docs/html. Any Doxygen warning
# fails the target, an undocumented public member among them (docs/Doxyfile.in says which
# warnings are on). The target is not part of `all`, so the build needs no Doxygen.
#
# `cmake --install BUILD --component docs` installs the reference built before under
# share/doc/commandhandler-qtN/html; a plain `cmake --install` leaves it out, so installing
# never needs Doxygen either.

find_package(Doxygen QUIET)

get_directory_property(CH_DOCS_HEADERS DIRECTORY ${PROJECT_SOURCE_DIR}/src DEFINITION CH_PUBLIC_HEADERS)
get_directory_property(CH_DOCS_GENERATED_DIR DIRECTORY ${PROJECT_SOURCE_DIR}/src DEFINITION CH_GENERATED_DIR)
list(APPEND CH_DOCS_HEADERS ${CH_DOCS_GENERATED_DIR}/commandhandler_version.h)
list(SORT CH_DOCS_HEADERS)
set(CH_DOCS_PAGES ${PROJECT_SOURCE_DIR}/docs/reference/mainpage.md ${PROJECT_SOURCE_DIR}/docs/architecture.md
                  ${PROJECT_SOURCE_DIR}/docs/ports.md)
# Hosts include the headers by their bare names from one installed folder.
set(CH_DOCS_STRIP_INC)
foreach(header ${CH_DOCS_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  list(APPEND CH_DOCS_STRIP_INC ${dir})
endforeach()
list(REMOVE_DUPLICATES CH_DOCS_STRIP_INC)
string(REPLACE ";" " " CH_DOCS_STRIP_INC "${CH_DOCS_STRIP_INC}")
set(CH_DOCS_INPUT ${CH_DOCS_HEADERS} ${CH_DOCS_PAGES})
string(REPLACE ";" " \\\n                         " CH_DOCS_INPUT "${CH_DOCS_INPUT}")
set(CH_DOCS_OUTPUT_DIR ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${CH_DOCS_OUTPUT_DIR}/Doxyfile @ONLY)

# Written only when Doxygen ran without a warning: a failed run leaves pages behind, and the
# next build must run it again rather than take those pages as up to date.
set(CH_DOCS_STAMP ${CH_DOCS_OUTPUT_DIR}/reference.stamp)
if(DOXYGEN_FOUND)
  add_custom_command(OUTPUT ${CH_DOCS_STAMP}
    # A stale page of a removed header must not survive into the install.
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CH_DOCS_OUTPUT_DIR}/html ${CH_DOCS_STAMP}
    COMMAND Doxygen::doxygen ${CH_DOCS_OUTPUT_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E touch ${CH_DOCS_STAMP}
    DEPENDS ${CH_DOCS_HEADERS} ${CH_DOCS_PAGES} ${CH_DOCS_OUTPUT_DIR}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Building the API reference (Doxygen; any warning fails)"
    VERBATIM)
  add_custom_target(docs DEPENDS ${CH_DOCS_STAMP})
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: Doxygen not found; install the Debian package doxygen"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()

set(CH_DOCS_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/doc/commandhandler${CH_SUFFIX})
install(CODE "
  if(NOT EXISTS \"${CH_DOCS_STAMP}\")
    message(FATAL_ERROR \"The API reference is not built: run cmake --build ${PROJECT_BINARY_DIR} --target docs first\")
  endif()" COMPONENT docs EXCLUDE_FROM_ALL)
install(DIRECTORY ${CH_DOCS_OUTPUT_DIR}/html DESTINATION ${CH_DOCS_INSTALL_DIR} COMPONENT docs EXCLUDE_FROM_ALL
        OPTIONAL)

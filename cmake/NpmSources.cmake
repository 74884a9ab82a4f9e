# Third-party C sources for the Windows builds, taken from npm packages that
# carry them (Debian ships these libraries for the native build only). Each
# is fetched once at configure time with `npm pack` into a cache directory
# shared by all build trees and never committed.
#
#   -DYOL_DEPS_DIR=DIR   where the fetched sources are kept (default .deps)

set(YOL_DEPS_DIR "${PROJECT_SOURCE_DIR}/.deps" CACHE PATH
    "Cache directory for third-party sources fetched at configure time")

# yol_fetch_npm_sources(<name> <package> <folder in the package>
#                       EXTRACT <paths under the folder>... NEEDS <files>...)
# Sets YOL_<name>_SOURCES to ${YOL_DEPS_DIR}/<name>, which then holds the
# extracted paths (and a SOURCE file naming the tarball). When the files it
# needs are there already, nothing is fetched.
function(yol_fetch_npm_sources name package folder)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "EXTRACT;NEEDS")
  set(dir "${YOL_DEPS_DIR}/${name}")
  set(YOL_${name}_SOURCES "${dir}" PARENT_SCOPE)
  set(hint "or put ${arg_NEEDS} into ${dir} yourself")

  set(missing "")
  foreach(file IN LISTS arg_NEEDS)
    if(NOT EXISTS "${dir}/${file}")
      list(APPEND missing "${file}")
    endif()
  endforeach()
  if(NOT missing)
    return()
  endif()

  # Several build trees may configure at once: one fetch, the others wait.
  file(MAKE_DIRECTORY "${YOL_DEPS_DIR}")
  file(LOCK "${YOL_DEPS_DIR}/${name}.lock" GUARD FUNCTION TIMEOUT 600
       RESULT_VARIABLE lock_result)
  if(NOT lock_result STREQUAL "0")
    message(FATAL_ERROR "${name}: cannot lock ${YOL_DEPS_DIR}/${name}.lock: ${lock_result}")
  endif()
  list(GET arg_NEEDS 0 first)
  if(EXISTS "${dir}/${first}")
    return()  # fetched by another tree meanwhile
  endif()

  find_program(YOL_NPM npm NO_CMAKE_FIND_ROOT_PATH)
  if(NOT YOL_NPM)
    message(FATAL_ERROR
      "${name}: npm not found. The Windows builds take these sources from the npm package "
      "${package}. Install npm (apt-get install npm), ${hint}.")
  endif()

  set(work "${YOL_DEPS_DIR}/${name}.fetch")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  message(STATUS "${name}: fetching ${package} with npm pack")
  execute_process(
    COMMAND "${YOL_NPM}" pack "${package}" --loglevel=error
    WORKING_DIRECTORY "${work}"
    RESULT_VARIABLE npm_result
    OUTPUT_VARIABLE npm_output
    ERROR_VARIABLE npm_error
    TIMEOUT 300)
  file(GLOB tarballs "${work}/*.tgz")
  list(LENGTH tarballs tarball_count)
  if(NOT npm_result EQUAL 0 OR NOT tarball_count EQUAL 1)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR
      "${name}: 'npm pack ${package}' failed (${npm_result}).\n${npm_output}${npm_error}\n"
      "Check network access to the npm registry, ${hint}.")
  endif()

  set(patterns "")
  foreach(path IN LISTS arg_EXTRACT)
    list(APPEND patterns "package/${folder}/${path}")
  endforeach()
  file(ARCHIVE_EXTRACT INPUT "${tarballs}" DESTINATION "${work}" PATTERNS ${patterns})
  set(extracted "${work}/package/${folder}")
  foreach(file IN LISTS arg_NEEDS)
    if(NOT EXISTS "${extracted}/${file}")
      file(REMOVE_RECURSE "${work}")
      message(FATAL_ERROR
        "${name}: ${tarballs} holds no package/${folder}/${file}; "
        "name a version of the package that does.")
    endif()
  endforeach()

  get_filename_component(tarball_name "${tarballs}" NAME)
  file(WRITE "${extracted}/SOURCE" "${tarball_name}\n")
  file(REMOVE_RECURSE "${dir}")
  file(RENAME "${extracted}" "${dir}")
  file(REMOVE_RECURSE "${work}")
  message(STATUS "${name}: sources from ${tarball_name} in ${dir}")
endfunction()

# SQLite for the Windows builds. Debian ships no SQLite for MinGW, so the
# amalgamation is taken from the better-sqlite3 npm package (which carries it
# under deps/sqlite3), fetched once at configure time into a cache directory
# shared by all build trees, and built here as a static library.
#
#   -DYOL_DEPS_DIR=DIR   where the fetched sources are kept (default .deps)
#
# Provides SQLite::SQLite3, as find_package(SQLite3) does on the native side.

set(YOL_DEPS_DIR "${PROJECT_SOURCE_DIR}/.deps" CACHE PATH
    "Cache directory for third-party sources fetched at configure time")
set(YOL_SQLITE_PACKAGE "better-sqlite3@12" CACHE STRING
    "npm package whose deps/sqlite3 holds the SQLite amalgamation")

function(yol_fetch_sqlite out_dir)
  set(dir "${YOL_DEPS_DIR}/sqlite3")
  set(${out_dir} "${dir}" PARENT_SCOPE)
  if(EXISTS "${dir}/sqlite3.c" AND EXISTS "${dir}/sqlite3.h")
    return()
  endif()

  # Several build trees may configure at once: one fetch, the others wait.
  file(MAKE_DIRECTORY "${YOL_DEPS_DIR}")
  file(LOCK "${YOL_DEPS_DIR}/sqlite3.lock" GUARD FUNCTION TIMEOUT 600
       RESULT_VARIABLE lock_result)
  if(NOT lock_result STREQUAL "0")
    message(FATAL_ERROR "SQLite: cannot lock ${YOL_DEPS_DIR}/sqlite3.lock: ${lock_result}")
  endif()
  if(EXISTS "${dir}/sqlite3.c" AND EXISTS "${dir}/sqlite3.h")
    return()
  endif()

  find_program(YOL_NPM npm NO_CMAKE_FIND_ROOT_PATH)
  if(NOT YOL_NPM)
    message(FATAL_ERROR
      "SQLite: npm not found. The Windows builds take the SQLite amalgamation from the npm "
      "package ${YOL_SQLITE_PACKAGE}. Install npm (apt-get install npm), or put sqlite3.c "
      "and sqlite3.h into ${dir} yourself.")
  endif()

  set(work "${YOL_DEPS_DIR}/sqlite3.fetch")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  message(STATUS "SQLite: fetching ${YOL_SQLITE_PACKAGE} with npm pack")
  execute_process(
    COMMAND "${YOL_NPM}" pack "${YOL_SQLITE_PACKAGE}" --loglevel=error
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
      "SQLite: 'npm pack ${YOL_SQLITE_PACKAGE}' failed (${npm_result}).\n"
      "${npm_output}${npm_error}\n"
      "Check network access to the npm registry, or put sqlite3.c and sqlite3.h into ${dir}.")
  endif()

  file(ARCHIVE_EXTRACT INPUT "${tarballs}" DESTINATION "${work}"
       PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  set(extracted "${work}/package/deps/sqlite3")
  if(NOT EXISTS "${extracted}/sqlite3.c" OR NOT EXISTS "${extracted}/sqlite3.h")
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR
      "SQLite: ${tarballs} holds no package/deps/sqlite3/sqlite3.c and sqlite3.h; "
      "set YOL_SQLITE_PACKAGE to a version that does.")
  endif()

  get_filename_component(tarball_name "${tarballs}" NAME)
  file(WRITE "${extracted}/SOURCE" "${tarball_name}\n")
  file(REMOVE_RECURSE "${dir}")
  file(RENAME "${extracted}" "${dir}")
  file(REMOVE_RECURSE "${work}")
  message(STATUS "SQLite: amalgamation from ${tarball_name} in ${dir}")
endfunction()

yol_fetch_sqlite(YOL_SQLITE_DIR)

# Third-party code: built without our warning flags and quietly.
add_library(yol_sqlite3 STATIC "${YOL_SQLITE_DIR}/sqlite3.c")
set_target_properties(yol_sqlite3 PROPERTIES LINKER_LANGUAGE C)
target_include_directories(yol_sqlite3 SYSTEM PUBLIC "${YOL_SQLITE_DIR}")
target_compile_definitions(yol_sqlite3 PRIVATE
  SQLITE_OMIT_LOAD_EXTENSION SQLITE_THREADSAFE=0 SQLITE_DEFAULT_MEMSTATUS=0)
target_compile_options(yol_sqlite3 PRIVATE -O2 -w)
add_library(SQLite::SQLite3 ALIAS yol_sqlite3)

# expat for the Windows builds. Debian ships no expat for MinGW, so its
# sources are taken from the node-expat npm package (which carries them under
# deps/libexpat), fetched once at configure time into the cache directory
# shared by all build trees (see Sqlite.cmake), and built here as a static
# library.
#
# Provides EXPAT::EXPAT, as find_package(EXPAT) does on the native side.

set(YOL_DEPS_DIR "${PROJECT_SOURCE_DIR}/.deps" CACHE PATH
    "Cache directory for third-party sources fetched at configure time")
set(YOL_EXPAT_PACKAGE "node-expat@2.4.1" CACHE STRING
    "npm package whose deps/libexpat holds the expat sources")

function(yol_fetch_expat out_dir)
  set(dir "${YOL_DEPS_DIR}/expat")
  set(${out_dir} "${dir}" PARENT_SCOPE)
  set(needed lib/xmlparse.c lib/xmlrole.c lib/xmltok.c lib/expat.h)
  set(complete TRUE)
  foreach(file IN LISTS needed)
    if(NOT EXISTS "${dir}/${file}")
      set(complete FALSE)
    endif()
  endforeach()
  if(complete)
    return()
  endif()

  # Several build trees may configure at once: one fetch, the others wait.
  file(MAKE_DIRECTORY "${YOL_DEPS_DIR}")
  file(LOCK "${YOL_DEPS_DIR}/expat.lock" GUARD FUNCTION TIMEOUT 600
       RESULT_VARIABLE lock_result)
  if(NOT lock_result STREQUAL "0")
    message(FATAL_ERROR "expat: cannot lock ${YOL_DEPS_DIR}/expat.lock: ${lock_result}")
  endif()
  if(EXISTS "${dir}/lib/xmlparse.c" AND EXISTS "${dir}/lib/expat.h")
    return()
  endif()

  find_program(YOL_NPM npm NO_CMAKE_FIND_ROOT_PATH)
  if(NOT YOL_NPM)
    message(FATAL_ERROR
      "expat: npm not found. The Windows builds take the expat sources from the npm "
      "package ${YOL_EXPAT_PACKAGE}. Install npm (apt-get install npm), or put expat's "
      "lib/ folder into ${dir} yourself.")
  endif()

  set(work "${YOL_DEPS_DIR}/expat.fetch")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}")
  message(STATUS "expat: fetching ${YOL_EXPAT_PACKAGE} with npm pack")
  execute_process(
    COMMAND "${YOL_NPM}" pack "${YOL_EXPAT_PACKAGE}" --loglevel=error
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
      "expat: 'npm pack ${YOL_EXPAT_PACKAGE}' failed (${npm_result}).\n"
      "${npm_output}${npm_error}\n"
      "Check network access to the npm registry, or put expat's lib/ folder into ${dir}.")
  endif()

  file(ARCHIVE_EXTRACT INPUT "${tarballs}" DESTINATION "${work}"
       PATTERNS package/deps/libexpat/lib package/deps/libexpat/COPYING)
  set(extracted "${work}/package/deps/libexpat")
  foreach(file IN LISTS needed)
    if(NOT EXISTS "${extracted}/${file}")
      file(REMOVE_RECURSE "${work}")
      message(FATAL_ERROR
        "expat: ${tarballs} holds no package/deps/libexpat/${file}; "
        "set YOL_EXPAT_PACKAGE to a version that does.")
    endif()
  endforeach()

  get_filename_component(tarball_name "${tarballs}" NAME)
  file(WRITE "${extracted}/SOURCE" "${tarball_name}\n")
  file(REMOVE_RECURSE "${dir}")
  file(RENAME "${extracted}" "${dir}")
  file(REMOVE_RECURSE "${work}")
  message(STATUS "expat: sources from ${tarball_name} in ${dir}")
endfunction()

yol_fetch_expat(YOL_EXPAT_DIR)

# Third-party code: built without our warning flags and quietly. On Windows
# xmlparse.c takes its configuration from lib/winconfig.h; it calls the ANSI
# LoadLibrary, so the project-wide UNICODE is undone here.
add_library(yol_expat STATIC
  "${YOL_EXPAT_DIR}/lib/xmlparse.c"
  "${YOL_EXPAT_DIR}/lib/xmlrole.c"
  "${YOL_EXPAT_DIR}/lib/xmltok.c")
set_target_properties(yol_expat PROPERTIES LINKER_LANGUAGE C)
target_include_directories(yol_expat SYSTEM PUBLIC "${YOL_EXPAT_DIR}/lib")
target_compile_definitions(yol_expat PUBLIC XML_STATIC)
target_compile_options(yol_expat PRIVATE -O2 -w -UUNICODE -U_UNICODE)
add_library(EXPAT::EXPAT ALIAS yol_expat)

# Shared build settings: warnings are errors on our own targets, sanitizers on
# request, static linking for the Windows builds.

if(YOL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  # With the sanitizers GCC 12 reports std::regex's own state copies as maybe
  # uninitialised (a false positive inside <regex>); the plain build keeps it.
  add_compile_options($<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  add_link_options(-fsanitize=address,undefined)
endif()

# -Wrestrict is off: GCC 12 reports std::string concatenations at -O3 as
# overlapping copies (a known false positive of that release). Clang has no
# such option and would reject it.
function(yol_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion
                                           $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict> -Werror)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/HeaderLibs.cmake)

if(WIN32)
  # No MinGW runtime DLLs next to the module: everything links in.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
  # Reproducible binaries: no link time in the PE header, no build paths in
  # the debug information or in __FILE__ (the build tree is mapped last, so
  # that it wins when it lies inside the source tree).
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                      -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  include(${CMAKE_CURRENT_LIST_DIR}/Sqlite.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/Expat.cmake)
  if(NOT YOL_DIST_ONLY)
    # GoogleTest from Debian's sources, built with the cross compilers.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  if(NOT YOL_FUZZ)
    find_package(GTest REQUIRED)
  endif()
  find_package(SQLite3 REQUIRED)
  find_package(EXPAT REQUIRED)
endif()

# What the Python tests share: Debian's python3 (python3-selenium and
# python3-requests are Debian's; not whatever python3 comes first on PATH),
# and the real logs in ../shared/testdata beside the checkout (a git worktree
# one level further down finds them one level further up). Tests that read
# them skip with a message when they are absent.
find_program(YOL_DEBIAN_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT YOL_DEBIAN_PYTHON)
  set(YOL_DEBIAN_PYTHON /usr/bin/python3)
endif()
set(_yol_shared "${PROJECT_SOURCE_DIR}/../shared/testdata")
if(NOT IS_DIRECTORY "${_yol_shared}" AND IS_DIRECTORY "${PROJECT_SOURCE_DIR}/../../shared/testdata")
  set(_yol_shared "${PROJECT_SOURCE_DIR}/../../shared/testdata")
endif()
set(YOL_MULTILOG_DATA "${_yol_shared}" CACHE PATH "Test data with multilog/ (real contest logs)")

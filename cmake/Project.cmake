# Shared build settings: warnings are errors on our own targets, sanitizers on
# request, static linking for the Windows builds.

if(YOL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# -Wrestrict is off: GCC 12 reports std::string concatenations at -O3 as
# overlapping copies (a known false positive of that release).
function(yol_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Wno-restrict -Werror)
endfunction()

if(WIN32)
  # No MinGW runtime DLLs next to the module: everything links in.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
  include(${CMAKE_CURRENT_LIST_DIR}/Sqlite.cmake)
  # GoogleTest from Debian's sources, built with the cross compilers.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
  find_package(SQLite3 REQUIRED)
endif()

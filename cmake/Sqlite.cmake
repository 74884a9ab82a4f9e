# SQLite for the Windows builds: the amalgamation that the better-sqlite3 npm
# package carries under deps/sqlite3, built here as a static library.
# Provides SQLite::SQLite3, as find_package(SQLite3) does on the native side.

include(${CMAKE_CURRENT_LIST_DIR}/NpmSources.cmake)
set(YOL_SQLITE_PACKAGE "better-sqlite3@12" CACHE STRING
    "npm package whose deps/sqlite3 holds the SQLite amalgamation")
yol_fetch_npm_sources(sqlite3 "${YOL_SQLITE_PACKAGE}" deps/sqlite3
  EXTRACT sqlite3.c sqlite3.h NEEDS sqlite3.c sqlite3.h)

# Third-party code: built without our warning flags and quietly.
add_library(yol_sqlite3 STATIC "${YOL_sqlite3_SOURCES}/sqlite3.c")
set_target_properties(yol_sqlite3 PROPERTIES LINKER_LANGUAGE C)
target_include_directories(yol_sqlite3 SYSTEM PUBLIC "${YOL_sqlite3_SOURCES}")
target_compile_definitions(yol_sqlite3 PRIVATE
  SQLITE_OMIT_LOAD_EXTENSION SQLITE_THREADSAFE=0 SQLITE_DEFAULT_MEMSTATUS=0)
target_compile_options(yol_sqlite3 PRIVATE -O2 -w)
add_library(SQLite::SQLite3 ALIAS yol_sqlite3)

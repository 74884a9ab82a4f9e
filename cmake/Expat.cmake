# expat for the Windows builds: the sources that the node-expat npm package
# carries under deps/libexpat, built here as a static library.
# Provides EXPAT::EXPAT, as find_package(EXPAT) does on the native side.

include(${CMAKE_CURRENT_LIST_DIR}/NpmSources.cmake)
set(YOL_EXPAT_PACKAGE "node-expat@2.4.1" CACHE STRING
    "npm package whose deps/libexpat holds the expat sources")
yol_fetch_npm_sources(expat "${YOL_EXPAT_PACKAGE}" deps/libexpat
  EXTRACT lib COPYING NEEDS lib/xmlparse.c lib/xmlrole.c lib/xmltok.c lib/expat.h)

# Third-party code: built without our warning flags and quietly. On Windows
# xmlparse.c takes its configuration from lib/winconfig.h; it calls the ANSI
# LoadLibrary, so the project-wide UNICODE is undone here.
add_library(yol_expat STATIC
  "${YOL_expat_SOURCES}/lib/xmlparse.c"
  "${YOL_expat_SOURCES}/lib/xmlrole.c"
  "${YOL_expat_SOURCES}/lib/xmltok.c")
set_target_properties(yol_expat PROPERTIES LINKER_LANGUAGE C)
target_include_directories(yol_expat SYSTEM PUBLIC "${YOL_expat_SOURCES}/lib")
target_compile_definitions(yol_expat PUBLIC XML_STATIC)
target_compile_options(yol_expat PRIVATE -O2 -w -UUNICODE -U_UNICODE)
add_library(EXPAT::EXPAT ALIAS yol_expat)

# Debian's header-only command-line and JSON libraries (CLI11, nlohmann-json)
# as two interface targets, yol::cli11 and yol::json, for every tool. Their
# headers are reached through a folder of links of their own, so that the
# cross compilers do not see the rest of /usr/include.
find_path(YOL_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(YOL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(yol_header_libs ${CMAKE_BINARY_DIR}/header-libs)
foreach(lib cli11 json)
  file(MAKE_DIRECTORY ${yol_header_libs}/${lib})
endforeach()
file(CREATE_LINK ${YOL_CLI11_INCLUDE}/CLI ${yol_header_libs}/cli11/CLI SYMBOLIC)
file(CREATE_LINK ${YOL_JSON_INCLUDE}/nlohmann ${yol_header_libs}/json/nlohmann SYMBOLIC)

add_library(yol_cli11 INTERFACE)
target_include_directories(yol_cli11 SYSTEM INTERFACE ${yol_header_libs}/cli11)
target_include_directories(yol_cli11 INTERFACE ${PROJECT_SOURCE_DIR}/tools)  # cli/CommandLine.h
add_library(yol::cli11 ALIAS yol_cli11)
add_library(yol_json INTERFACE)
target_include_directories(yol_json SYSTEM INTERFACE ${yol_header_libs}/json)
add_library(yol::json ALIAS yol_json)

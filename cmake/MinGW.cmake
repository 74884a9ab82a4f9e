# Shared part of the MinGW-w64 toolchain files: set YOL_MINGW_TRIPLET,
# CMAKE_SYSTEM_PROCESSOR and YOL_WINE_ARCH, then include this. The posix
# thread-model compilers are required: GoogleTest needs std::thread and
# std::mutex. Test programs run under Wine through tools/wine/run.sh, so plain
# add_test works.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${YOL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YOL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${YOL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${YOL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(_yol_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_yol_root}/tools/wine/run.sh;${YOL_WINE_ARCH}")
unset(_yol_root)

# Cross build for 32-bit Windows (the shipped module) with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(YOL_MINGW_TRIPLET i686-w64-mingw32)
set(YOL_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)

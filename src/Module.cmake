# The Windows shell: the module DLL the host loads. Only these sources include
# <windows.h>.

# The 64-bit build has no stdcall decoration: drop the "@n" from the
# right-hand names of the export list.
set(YOL_DEF ${PROJECT_SOURCE_DIR}/YOLContest.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  file(READ ${YOL_DEF} def_text)
  string(REGEX REPLACE "(= [A-Za-z_]+)@[0-9]+" "\\1" def_text "${def_text}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/YOLContest.def "${def_text}")
  set(YOL_DEF ${CMAKE_CURRENT_BINARY_DIR}/YOLContest.def)
endif()

# Windows-side pieces shared by the module, the tests and the host simulator.
add_library(yol_winshell STATIC
  logdb/AdoLogQuery.cpp
  ui/RegistryStore.cpp
)
target_link_libraries(yol_winshell PUBLIC yol_core oleaut32 ole32 uuid advapi32)
yol_warnings(yol_winshell)

add_library(YOLContest SHARED
  host/DoMain.cpp
  host/ModuleState.cpp
  ui/Dpi.cpp
  ui/MainForm.cpp
  ui/MainFormView.cpp
  ui/res/YOLContest.rc
  ${YOL_DEF}
)
set_target_properties(YOLContest PROPERTIES PREFIX "" OUTPUT_NAME YOLContest)
target_link_libraries(YOLContest PRIVATE yol_winshell user32 gdi32 shell32)
target_link_options(YOLContest PRIVATE -Wl,--enable-stdcall-fixup)
yol_warnings(YOLContest)

# The version resource takes its numbers from the project() line of the root
# CMakeLists.txt through a configured header.
configure_file(ui/res/version.h.in ${CMAKE_CURRENT_BINARY_DIR}/res/yol_version.h @ONLY)
target_include_directories(YOLContest PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
set_source_files_properties(ui/res/YOLContest.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/res/yol_version.h)

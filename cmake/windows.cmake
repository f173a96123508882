# The Windows module and its tests, cross-built with MinGW-w64. Included from the top
# CMakeLists.txt when the toolchain targets Windows (scripts/build-windows.sh).

add_library(mirehollow STATIC ${MH_SOURCES} ${MH_SOURCES_W32})
target_include_directories(mirehollow PUBLIC ${CMAKE_SOURCE_DIR}/src)
# Windows 7 APIs and narrow (ANSI) Win32 calls throughout.
# The package lies beside the module: an empty installed data directory means the module's folder.
target_compile_definitions(mirehollow PUBLIC
  _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX
  MH_DATA_DIR_DEFAULT="" MH_DATA_DIR_INSTALLED="")
target_link_libraries(mirehollow PUBLIC
  opengl32 glu32 gdi32 user32 winmm shlwapi shell32 advapi32 ole32 uuid windowscodecs ddraw dxguid)

# The screen-saver module "mhollow.scr": the program with its icon (group 101, painted by the
# Linux build's artgen with the rest of the woodland) and its display name (string 1). The
# Linux build also makes the package the tests point the saver at.
set(MH_HOST_BUILD_DIR "${CMAKE_SOURCE_DIR}/build" CACHE PATH
    "A Linux build of this source that has made its package (target mirehollow_data)")
set(MH_ICON ${MH_HOST_BUILD_DIR}/art/mirehollow.ico)
if(NOT EXISTS ${MH_ICON})
  message(FATAL_ERROR "The module's icon ${MH_ICON} is missing: build the Linux build's package first "
                      "(cmake --build ${MH_HOST_BUILD_DIR} --target mirehollow_data), or run "
                      "scripts/build-windows.sh, which does.")
endif()
enable_language(RC)
configure_file(${CMAKE_SOURCE_DIR}/src/shell/mhollow.rc.in ${CMAKE_BINARY_DIR}/mhollow.rc @ONLY)
add_executable(mhollow WIN32 ${CMAKE_SOURCE_DIR}/src/shell/mhollow_main.cpp ${CMAKE_BINARY_DIR}/mhollow.rc)
set_target_properties(mhollow PROPERTIES SUFFIX ".scr")
target_link_libraries(mhollow PRIVATE mirehollow)

# Tests run under Wine where it can run the architecture (64-bit Wine runs x86_64 only
# unless the 32-bit Wine, Debian's wine32:i386, is installed as well).
if(CMAKE_SIZEOF_VOID_P EQUAL 8 OR EXISTS /usr/lib/i386-linux-gnu/wine/i386-unix)
  set(MH_WINE_DEFAULT ON)
else()
  set(MH_WINE_DEFAULT OFF)
endif()
option(MH_WINE_TESTS "Run the tests of the Windows build under Wine" ${MH_WINE_DEFAULT})

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests)
endif()

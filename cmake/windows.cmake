# The Windows module and its tests, cross-built with MinGW-w64. Included from the top
# CMakeLists.txt when the toolchain targets Windows (scripts/build-windows.sh).

add_library(mirehollow STATIC ${MH_SOURCES} ${MH_SOURCES_W32})
target_include_directories(mirehollow PUBLIC ${CMAKE_SOURCE_DIR}/src)
# Windows 7 APIs and narrow (ANSI) Win32 calls throughout.
target_compile_definitions(mirehollow PUBLIC
  _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(mirehollow PUBLIC
  opengl32 glu32 gdi32 user32 winmm shlwapi shell32 advapi32 ole32 uuid windowscodecs)

# Tests run under Wine where it can run the architecture (64-bit Wine runs x86_64 only
# unless the 32-bit Wine is installed as well).
if(CMAKE_SIZEOF_VOID_P EQUAL 8 OR EXISTS /usr/lib/wine/i386-windows)
  set(MH_WINE_DEFAULT ON)
else()
  set(MH_WINE_DEFAULT OFF)
endif()
option(MH_WINE_TESTS "Run the tests of the Windows build under Wine" ${MH_WINE_DEFAULT})

include(CTest)
if(BUILD_TESTING)
  add_subdirectory(tests)
endif()

# Tests of the Windows build: GoogleTest cross-built from Debian's sources, every portable
# suite and the Windows files' own suites, run under Wine in a prefix of the build's own.

set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(mh_testsupport STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/support/glcontext.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/pkgbuild.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/testenv.cpp)
target_include_directories(mh_testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(mh_testsupport PUBLIC mirehollow gtest)
# Wine sees the Linux file system as drive Z:.
target_compile_definitions(mh_testsupport PUBLIC
  MH_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}" MH_BINARY_DIR="Z:${CMAKE_BINARY_DIR}")

# Suites bound to another platform's files or to the Linux tools stay out (the stills' command
# line is the X11 host's). Picture suites run on the system's decoder where the image library
# (which has no Windows build here) is missing, and skip what only that library reads.
file(GLOB_RECURSE MH_TEST_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
list(FILTER MH_TEST_FILES EXCLUDE REGEX "/(support|tools)/|(_x11|_posix|_egl|_ft)(_[a-z]+)*_test\\.cpp$|_gl(_[a-z]+)*_test\\.cpp$|_wine_test\\.cpp$")
list(FILTER MH_TEST_FILES EXCLUDE REGEX "/scene_stills_test\\.cpp$")
# Drawing suites known to need neither X11, the image library nor the Linux build's package:
# they run on the offscreen context of the WGL binding (a hidden window's back buffer).
foreach(s render/render_gl render/env_loop_mt_gl elements/desk_gl elements/firefly_gl
          elements/vesk_gadget_gl elements/err_gadget_gl elements/demo_gadget_gl)
  list(APPEND MH_TEST_FILES ${CMAKE_CURRENT_SOURCE_DIR}/${s}_test.cpp)
endforeach()

set(MH_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(MH_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(MH_WINE_TESTS)
  add_test(NAME wine_prefix COMMAND ${MH_WINE_RUN} ${MH_WINEPREFIX} --init)
  add_test(NAME wine_stop COMMAND ${MH_WINE_RUN} ${MH_WINEPREFIX} --stop)
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# The module end to end under Wine, on an X server of its own: the program is the Linux
# build's, and the tests of the prefix wait while it runs (it restarts the prefix's server).
if(MH_WINE_TESTS)
  set(MH_WINE_SAVER_TEST ${MH_HOST_BUILD_DIR}/tests/test_shell_saver_wine)
  add_test(NAME shell_saver_wine COMMAND ${MH_WINE_SAVER_TEST})
  set_tests_properties(shell_saver_wine PROPERTIES FIXTURES_REQUIRED wine RUN_SERIAL ON TIMEOUT 900
    ENVIRONMENT "MH_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/shell_saver_wine;MH_WINE_MODULE=$<TARGET_FILE:mhollow>;MH_WINE_RUN=${MH_WINE_RUN};MH_WINEPREFIX=${MH_WINEPREFIX};MH_WINE_PACKAGE=${MH_HOST_BUILD_DIR}/data/mirehollow.dat")
  # The module's stills against the Linux build's, on the tests' X server.
  add_test(NAME shell_stills_wine COMMAND ${MH_HOST_BUILD_DIR}/tests/test_shell_stills_wine)
  set_tests_properties(shell_stills_wine PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
    ENVIRONMENT "MH_TEST_TMP=${CMAKE_BINARY_DIR}/testtmp/shell_stills_wine;MH_WINE_MODULE=$<TARGET_FILE:mhollow>;MH_WINE_RUN=${MH_WINE_RUN};MH_WINEPREFIX=${MH_WINEPREFIX};MH_WINE_PACKAGE=${MH_HOST_BUILD_DIR}/data/mirehollow.dat")
endif()

foreach(f ${MH_TEST_FILES})
  file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${f})
  string(REGEX REPLACE "_test\\.cpp$" "" name ${rel})
  string(REPLACE "/" "_" name ${name})
  add_executable(test_${name} ${f})
  target_link_libraries(test_${name} PRIVATE mh_testsupport gtest_main)
  if(MH_WINE_TESTS)
    add_test(NAME ${name} COMMAND ${MH_WINE_RUN} ${MH_WINEPREFIX} $<TARGET_FILE:test_${name}>)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
      ENVIRONMENT "MH_TEST_TMP=Z:${CMAKE_BINARY_DIR}/testtmp/${name};MH_NO_MESSAGE_BOX=1;MH_SAVER_MODULE=Z:$<TARGET_FILE:mhollow>")
  endif()
endforeach()

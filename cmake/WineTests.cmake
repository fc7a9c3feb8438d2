# Test programs are Windows programs: ctest runs each one under Wine through
# a small wrapper that uses this build's own Wine prefix.
set(YV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/tools/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(YV_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${YV_WINE_RUN})

# GoogleTest from the machine's own source, built with the cross compiler
# (a prebuilt host library would not link into Windows programs).
set(YV_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest source folder (with googletest/ and googlemock/), built with the cross compiler for the test programs")
if(NOT EXISTS "${YV_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in YV_GOOGLETEST_SOURCE_DIR (${YV_GOOGLETEST_SOURCE_DIR}): "
                      "install Debian's googletest package (tools/setup-debian.sh does), point "
                      "-DYV_GOOGLETEST_SOURCE_DIR=<folder> at a GoogleTest source tree, or configure with "
                      "-DYV_BUILD_TESTS=OFF.")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${YV_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Making the prefix takes several seconds and must not race between two test
# programs started at once, so every test depends on this one.
add_test(NAME wine_prefix COMMAND ${YV_WINE_RUN} --start-session)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
add_test(NAME wine_server_stop COMMAND ${YV_WINE_RUN} --end-session)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)

# One test program per folder: ctest runs the program once, and the program
# runs all of its cases (Wine's start-up is paid once per program).
function(yv_add_test_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/src/resources/messages.rc)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} yvcore GTest::gmock GTest::gtest)
  yv_project_flags(${name})
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT 900)
endfunction()

# Test registration shared by every tests/ folder.
#
# Natively each GoogleTest case becomes a ctest test. In the Windows build each test
# program is one ctest test run under Wine (one wine start per program, not per case),
# after a fixture that prepares the build's Wine prefix.

if(CMAKE_CROSSCOMPILING)
  set(VARDOK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-setup.sh.in ${CMAKE_BINARY_DIR}/wine-setup.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

set(VARDOK_WINE_FIXTURE_ADDED FALSE)

# vardok_add_test(NAME SOURCES a.cpp ... LIBS lib ... [ENV "VAR=value" ...] [FILTER gtest-filter])
function(vardok_add_test name)
  cmake_parse_arguments(T "" "FILTER" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT TARGET ${name})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  endif()
  if(CMAKE_CROSSCOMPILING)
    if(NOT TEST wine_setup)
      add_test(NAME wine_setup COMMAND ${CMAKE_BINARY_DIR}/wine-setup.sh)
      set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine)
    endif()
    set(args)
    if(T_FILTER)
      set(args --gtest_filter=${T_FILTER})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${args})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
    if(T_ENV)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

# A second run of an existing test program under other conditions (code page 932, say).
# vardok_add_test_run(RUNNAME PROGRAM target ENV ... FILTER ...)
function(vardok_add_test_run runname)
  cmake_parse_arguments(T "" "PROGRAM;FILTER" "ENV" ${ARGN})
  set(args)
  if(T_FILTER)
    set(args --gtest_filter=${T_FILTER})
  endif()
  add_test(NAME ${runname} COMMAND ${T_PROGRAM} ${args})
  if(T_ENV)
    set_tests_properties(${runname} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${runname} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
  endif()
endfunction()

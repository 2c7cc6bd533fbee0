# Test registration shared by every tests/ folder.
#
# Natively each GoogleTest case becomes a ctest test. In the Windows build each test
# program is one ctest test run under Wine (one wine start per program, not per case),
# after a fixture that prepares the build's Wine prefix.

if(CMAKE_CROSSCOMPILING)
  set(VARDOK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # The product is 32-bit; the 64-bit build exists to run the same code under 64-bit
  # Wine where the kernel runs no 32-bit programs.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(VARDOK_WINEARCH win64)
    set(VARDOK_WINE /usr/lib/wine/wine64)
  else()
    set(VARDOK_WINEARCH win32)
    set(VARDOK_WINE wine)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  # The display of the tests that show windows (an Xvfb server the fixture starts).
  set(VARDOK_TEST_DISPLAY ":87" CACHE STRING "X display the Wine tests show their windows on")
  foreach(script wine-setup wine-teardown)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/${script}.sh.in ${CMAKE_BINARY_DIR}/${script}.sh
                   @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL)
  # GoogleTest 1.11 and later define these aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# vardok_wine_test(TEST [ENV "VAR=value" ...]): a test of the Windows build that runs
# under the build's Wine: after the fixture, with the test display, labelled "wine"
# (scripts/test.sh leaves these out where the machine cannot run 32-bit programs).
function(vardok_wine_test test)
  cmake_parse_arguments(W "" "" "ENV" ${ARGN})
  get_property(have_setup GLOBAL PROPERTY VARDOK_WINE_SETUP_ADDED)
  if(NOT have_setup)
    add_test(NAME wine_setup COMMAND ${CMAKE_BINARY_DIR}/wine-setup.sh)
    add_test(NAME wine_teardown COMMAND ${CMAKE_BINARY_DIR}/wine-teardown.sh)
    set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine LABELS wine)
    set_tests_properties(wine_teardown PROPERTIES FIXTURES_CLEANUP wine LABELS wine)
    set_property(GLOBAL PROPERTY VARDOK_WINE_SETUP_ADDED TRUE)
  endif()
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 1800 LABELS wine
    ENVIRONMENT "DISPLAY=${VARDOK_TEST_DISPLAY};${W_ENV}")
endfunction()

# vardok_add_test(NAME SOURCES a.cpp ... LIBS lib ... [ENV "VAR=value" ...] [FILTER gtest-filter])
function(vardok_add_test name)
  cmake_parse_arguments(T "" "FILTER" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT TARGET ${name})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(args)
    if(T_FILTER)
      set(args --gtest_filter=${T_FILTER})
    endif()
    add_test(NAME ${name} COMMAND ${name} ${args})
    vardok_wine_test(${name} ENV ${T_ENV})
  else()
    if(T_ENV)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${T_ENV}")
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
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
  if(CMAKE_CROSSCOMPILING)
    vardok_wine_test(${runname} ENV ${T_ENV})
  elseif(T_ENV)
    set_tests_properties(${runname} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

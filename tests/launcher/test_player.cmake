# The tests' own player, started by launcher tests in place of the real player
# (see test_player.cpp for its report and exit codes). Included from this folder's
# CMakeLists.txt.
add_executable(test_player ${CMAKE_CURRENT_LIST_DIR}/test_player.cpp)
target_link_libraries(test_player PRIVATE vardok_platform)
if(WIN32)
  # A windowed program, as the real player is; the runtime is static (toolchain).
  set_target_properties(test_player PROPERTIES WIN32_EXECUTABLE TRUE)
endif()

# The test player itself, started through the platform layer as the launcher starts
# it. Report and wait file are relative: they lie in each case's working folder.
vardok_add_test(test_player_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_player_test.cpp
  LIBS vardok_platform vardok_testsupport
  ENV "VARDOK_TEST_PLAYER_REPORT=report.txt" "VARDOK_TEST_PLAYER_WAIT_FILE=go")
add_dependencies(test_player_tests test_player)
if(CMAKE_CROSSCOMPILING)
  # Six programs started one after another: each start costs a Wine process.
  set_tests_properties(test_player_tests PROPERTIES TIMEOUT 1800)
endif()

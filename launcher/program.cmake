# The launcher program of the Windows builds, made in a build of its own.
#
# Every show carries the program, so it is built small: with the compilers of the win32
# thread model, whose static runtime brings no threads library (the posix model's
# links one the launcher never uses, some 30 KB with its unwind tables; the tests stay
# on the posix model, which GoogleTest needs for std::mutex), and with the plain
# libraries below the launcher built without unwind tables (see the top CMakeLists).
#
# The build configures this source tree again, with the same toolchain file and build
# type, VARDOK_THREAD_MODEL=win32 and VARDOK_LAUNCHER_ONLY, and writes Vardok.exe into
# this build's bin folder, where the imported target `vardok` names it.
include(ExternalProject)

set(program ${VARDOK_BIN_DIR}/Vardok.exe)
ExternalProject_Add(vardok_program
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/launcher-program
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DVARDOK_THREAD_MODEL=win32
    -DVARDOK_LAUNCHER_ONLY=ON
    -DVARDOK_BIN_DIR=${VARDOK_BIN_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vardok
  INSTALL_COMMAND ""
  # Its own build knows what changed; it is asked every time.
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS ${program})

add_executable(vardok IMPORTED GLOBAL)
set_target_properties(vardok PROPERTIES IMPORTED_LOCATION ${program})
add_dependencies(vardok vardok_program)

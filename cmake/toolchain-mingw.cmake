# What both Windows cross builds share (Debian's mingw-w64). The toolchain file of each
# build sets CMAKE_SYSTEM_PROCESSOR, VARDOK_MINGW (the compilers' prefix) and
# VARDOK_RC_TARGET, then includes this one.
#
# The thread model is posix, which GoogleTest needs for std::mutex, unless
# VARDOK_THREAD_MODEL says win32: the launcher's own build (launcher/program.cmake),
# whose static runtime then brings no threads library of its own.
set(CMAKE_SYSTEM_NAME Windows)

if(NOT VARDOK_THREAD_MODEL)
  set(VARDOK_THREAD_MODEL posix)
endif()
# The compiler checks' projects read this file again: hand them the model too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VARDOK_THREAD_MODEL)
set(CMAKE_C_COMPILER ${VARDOK_MINGW}-gcc-${VARDOK_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${VARDOK_MINGW}-g++-${VARDOK_THREAD_MODEL})
# llvm-windres rather than GNU windres: GNU windres upper-cases every control class it
# reads from a script, and the launcher's dialog must name "msctls_progress32" as written.
# The target makes an object that links into a program of the build's processor.
set(CMAKE_RC_COMPILER /usr/lib/llvm-14/bin/llvm-windres)
set(CMAKE_RC_FLAGS_INIT "--target=${VARDOK_RC_TARGET}")

set(CMAKE_FIND_ROOT_PATH /usr/${VARDOK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs need nothing but system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

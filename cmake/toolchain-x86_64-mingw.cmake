# Cross build for 64-bit Windows: the same Win32 code, run under 64-bit Wine on
# machines whose kernel runs no 32-bit programs (and so no 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARDOK_MINGW x86_64-w64-mingw32)
set(VARDOK_RC_TARGET pe-x86-64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

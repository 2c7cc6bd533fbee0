# Cross build for 32-bit Windows, the product. Test programs run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARDOK_MINGW i686-w64-mingw32)
set(VARDOK_RC_TARGET pe-i386)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)

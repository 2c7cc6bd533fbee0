# The launcher's resources: Vardok.rc with its generated icon and manifest.
#
#   vardok_add_launcher_resources(TARGET)  Windows build: links the compiled resources
#                                          into TARGET (the RC language, llvm-windres).
#   vardok_add_resource_image(TARGET)      both builds: adds to TARGET a generated source
#                                          defining g_resourceImage / g_resourceImageSize,
#                                          the bytes of Vardok.rc compiled to a .res file,
#                                          for the framework's native stand-in to read.
#
# Made at build time into <build>/launcher/res, each remade when what it comes from
# changes:
#   Vardok.ico       from Vardok.icon.txt (make_icon.py)
#   Vardok.manifest  from Vardok.manifest.in and version.h (make_manifest.py)
#   Vardok.res       from Vardok.rc, ../resource.h, version.h, the icon and the manifest
#   resource_image.cpp from Vardok.res (res_to_cpp.py, which also checks its layout)
#
# The script is compiled by llvm-windres in both builds: GNU windres upper-cases the
# progress bar's class name, which must stay "msctls_progress32". Its preprocessor is
# clang, and the script includes <winresrc.h> from the mingw-w64 headers.

include_guard(GLOBAL)

# Cached, so that the functions below see them from any folder that calls them.
set(VARDOK_RES_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "")
set(VARDOK_RES_BINARY_DIR ${CMAKE_BINARY_DIR}/launcher/res CACHE INTERNAL "")

find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Only the launcher compiles resources, so the language is enabled here rather than
  # for the whole project; the toolchain file names llvm-windres as the RC compiler.
  if(NOT CMAKE_RC_COMPILER_LOADED)
    enable_language(RC)
  endif()
  if(NOT CMAKE_RC_COMPILER MATCHES "llvm-windres")
    message(FATAL_ERROR "The launcher's resources need llvm-windres as the RC compiler "
                        "(CMAKE_RC_COMPILER is ${CMAKE_RC_COMPILER}): GNU windres upper-cases "
                        "the progress bar's class name.")
  endif()
  set(VARDOK_LLVM_WINDRES ${CMAKE_RC_COMPILER})
else()
  find_program(VARDOK_LLVM_WINDRES NAMES llvm-windres llvm-windres-14 HINTS /usr/lib/llvm-14/bin)
  if(NOT VARDOK_LLVM_WINDRES)
    message(FATAL_ERROR "llvm-windres not found (Debian package llvm-14, with clang-14): "
                        "the native build compiles the launcher's resources with it too.")
  endif()
endif()

set(VARDOK_RES_ICON ${VARDOK_RES_BINARY_DIR}/Vardok.ico CACHE INTERNAL "")
set(VARDOK_RES_MANIFEST ${VARDOK_RES_BINARY_DIR}/Vardok.manifest CACHE INTERNAL "")
set(VARDOK_RES_FILE ${VARDOK_RES_BINARY_DIR}/Vardok.res CACHE INTERNAL "")
set(VARDOK_RES_IMAGE_CPP ${VARDOK_RES_BINARY_DIR}/resource_image.cpp CACHE INTERNAL "")
# Everything Vardok.rc reads; the resource compiler reports no dependencies of its own.
set(VARDOK_RES_INPUTS
    ${VARDOK_RES_SOURCE_DIR}/Vardok.rc
    ${VARDOK_RES_SOURCE_DIR}/../resource.h
    ${VARDOK_RES_SOURCE_DIR}/version.h
    ${VARDOK_RES_ICON}
    ${VARDOK_RES_MANIFEST} CACHE INTERNAL "")

file(MAKE_DIRECTORY ${VARDOK_RES_BINARY_DIR})

# The product is an x86 program. The 64-bit test build (64-bit Wine, where 32-bit
# programs cannot run) must ask for the 64-bit common controls, or none load.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows" AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(VARDOK_MANIFEST_ARCH amd64 CACHE INTERNAL "")
else()
  set(VARDOK_MANIFEST_ARCH X86 CACHE INTERNAL "")
endif()

add_custom_command(
  OUTPUT ${VARDOK_RES_ICON}
  COMMAND ${Python3_EXECUTABLE} ${VARDOK_RES_SOURCE_DIR}/make_icon.py
          ${VARDOK_RES_SOURCE_DIR}/Vardok.icon.txt ${VARDOK_RES_ICON}
  DEPENDS ${VARDOK_RES_SOURCE_DIR}/make_icon.py ${VARDOK_RES_SOURCE_DIR}/Vardok.icon.txt
  COMMENT "Drawing the launcher's icon"
  VERBATIM)

add_custom_command(
  OUTPUT ${VARDOK_RES_MANIFEST}
  COMMAND ${Python3_EXECUTABLE} ${VARDOK_RES_SOURCE_DIR}/make_manifest.py
          ${VARDOK_RES_SOURCE_DIR}/version.h ${VARDOK_RES_SOURCE_DIR}/Vardok.manifest.in ${VARDOK_RES_MANIFEST}
          VARDOK_MANIFEST_ARCH=${VARDOK_MANIFEST_ARCH}
  DEPENDS ${VARDOK_RES_SOURCE_DIR}/make_manifest.py ${VARDOK_RES_SOURCE_DIR}/Vardok.manifest.in
          ${VARDOK_RES_SOURCE_DIR}/version.h
  COMMENT "Writing the launcher's manifest"
  VERBATIM)

add_custom_command(
  OUTPUT ${VARDOK_RES_FILE}
  COMMAND ${VARDOK_LLVM_WINDRES} --target=pe-i386 --output-format=res -I ${VARDOK_RES_BINARY_DIR}
          ${VARDOK_RES_SOURCE_DIR}/Vardok.rc -o ${VARDOK_RES_FILE}
  DEPENDS ${VARDOK_RES_INPUTS}
  COMMENT "Compiling the launcher's resources to Vardok.res"
  VERBATIM)

add_custom_command(
  OUTPUT ${VARDOK_RES_IMAGE_CPP}
  COMMAND ${Python3_EXECUTABLE} ${VARDOK_RES_SOURCE_DIR}/res_to_cpp.py ${VARDOK_RES_FILE} ${VARDOK_RES_IMAGE_CPP}
  DEPENDS ${VARDOK_RES_SOURCE_DIR}/res_to_cpp.py ${VARDOK_RES_FILE}
  COMMENT "Writing the launcher's resource image"
  VERBATIM)

# One owner for the generated files, so targets in any folder can wait for them.
add_custom_target(vardok_launcher_resources_generated
  DEPENDS ${VARDOK_RES_ICON} ${VARDOK_RES_MANIFEST} ${VARDOK_RES_FILE} ${VARDOK_RES_IMAGE_CPP})

function(vardok_add_launcher_resources target)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    return()
  endif()
  set(rc ${VARDOK_RES_SOURCE_DIR}/Vardok.rc)
  target_sources(${target} PRIVATE ${rc})
  # The icon and manifest are found on the script's include path; the other inputs are
  # listed because nothing scans a resource script for what it includes.
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    INCLUDE_DIRECTORIES ${VARDOK_RES_BINARY_DIR}
    OBJECT_DEPENDS "${VARDOK_RES_INPUTS}")
  add_dependencies(${target} vardok_launcher_resources_generated)
endfunction()

function(vardok_add_resource_image target)
  target_sources(${target} PRIVATE ${VARDOK_RES_IMAGE_CPP})
  add_dependencies(${target} vardok_launcher_resources_generated)
endfunction()

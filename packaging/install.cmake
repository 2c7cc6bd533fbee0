# What `cmake --install` puts where (the folders: packaging/layout.cmake).
#
# Natively: arq, its manual page, the documents, and the two Windows programs a show is
# made of, the launcher and the demo player. Only the Windows (i686) build makes those:
# VARDOK_WINDOWS_BUILD names its folder (scripts/package.sh sets it); without it arq
# is installed alone, and configure and install say so.
#
# A Windows build installs into one flat folder, as its zip unpacks: arq.exe with the
# launcher beside it, where arq looks first, the player, and the documents as text.

# What the install takes from this build's packaging folder rather than the sources.
set(packaging_made ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_made})

# The documents as Windows users open them: by a name Notepad takes, with CRLF lines.
function(vardok_text_for_windows source name)
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${packaging_made}/${name} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

# gzip -9n, as Debian wants manual pages and changelogs: the most compression, and no
# name or time in the header, so the same source gives the same bytes.
function(vardok_gzip source name)
  find_program(VARDOK_GZIP gzip REQUIRED)
  execute_process(COMMAND ${VARDOK_GZIP} -9n -c ${source}
    OUTPUT_FILE ${packaging_made}/${name} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

if(WIN32)
  install(TARGETS arq RUNTIME DESTINATION .)
  # By their files: the launcher comes from a build of its own, and both are linked
  # stripped already, so they go in as built and the zip's copies are the package's.
  install(PROGRAMS $<TARGET_FILE:vardok> $<TARGET_FILE:Player> DESTINATION .)
  vardok_text_for_windows(${CMAKE_SOURCE_DIR}/README.md README.txt)
  vardok_text_for_windows(${CMAKE_SOURCE_DIR}/player/README.md show-format.txt)
  install(FILES ${packaging_made}/README.txt ${packaging_made}/show-format.txt DESTINATION .)
  return()
endif()

install(TARGETS arq RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
vardok_gzip(${CMAKE_SOURCE_DIR}/tools/arq/arq.1 arq.1.gz)
install(FILES ${packaging_made}/arq.1.gz DESTINATION ${VARDOK_INSTALL_MAN_DIR})
vardok_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/copyright ${packaging_made}/changelog.gz
  DESTINATION ${VARDOK_INSTALL_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/player/README.md DESTINATION ${VARDOK_INSTALL_DOC_DIR} RENAME show-format.md)

set(VARDOK_WINDOWS_BUILD "" CACHE PATH
  "The Windows (i686) build whose launcher and player an install puts beside arq (empty: arq alone)")
if(VARDOK_WINDOWS_BUILD)
  # Programs of another system, which arq reads and copies: data here, never run.
  install(FILES ${VARDOK_WINDOWS_BUILD}/bin/Vardok.exe ${VARDOK_WINDOWS_BUILD}/bin/Player.exe
    DESTINATION ${VARDOK_INSTALL_DATA_DIR})
else()
  set(alone "VARDOK_WINDOWS_BUILD names no Windows build: the install puts arq without the launcher \
and the player, and arq show then needs --stub")
  message(STATUS "${alone}")
  install(CODE "message(STATUS \"${alone}\")")
endif()

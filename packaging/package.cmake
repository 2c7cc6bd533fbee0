# The packages scripts/package.sh makes with cpack from an install (packaging/install.cmake):
# natively a Debian package, in a Windows build a zip of the flat folder.
set(CPACK_PACKAGE_NAME vardok)
set(CPACK_PACKAGE_VENDOR "The Vardok developers")
set(CPACK_PACKAGE_CONTACT "Vardok maintainers <maintainers@users.noreply.c-seed-88c15eed.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running slide shows for Windows, and their archive tool")
# arq is built with its symbols (RelWithDebInfo); the packages carry it without them.
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(CPACK_PACKAGE_FILE_NAME vardok-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME vardok-${PROJECT_VERSION}-win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Debian's permissions whatever the umask of the one who packs: folders 0755, the
  # control files 0644.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
  # Under the summary, which CPack puts first.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vardok makes self-running slide shows for Windows: one program that carries a
show document and the player program in an archive behind its own image.
Started on Windows, it extracts both into the user's temporary folder under a
small progress window, runs the player on the show and removes both afterwards.
.
This package holds arq, the command-line tool that creates, lists, tests and
extracts Vardok archives and makes the shows (arq show), with the launcher
program and a demo slide player, both Windows programs, for it to build shows
from.")
endif()

include(CPack)

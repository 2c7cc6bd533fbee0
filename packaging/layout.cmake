# Where an install puts Vardok's files (packaging/install.cmake), known before the
# programs are defined: arq is built knowing where to look for the launcher.
include(GNUInstallDirs)

# Natively the usual Unix tree: bin/arq; the Windows programs, data on this system,
# under share/vardok; the documents under share/doc/vardok, the package's own name,
# where Debian looks for them (GNUInstallDirs would take the project's, Vardok).
set(VARDOK_INSTALL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/vardok)
set(VARDOK_INSTALL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vardok)
set(VARDOK_INSTALL_MAN_DIR ${CMAKE_INSTALL_MANDIR}/man1)

# The launcher's folder seen from arq's, whatever the prefix: ../share/vardok.
file(RELATIVE_PATH VARDOK_LAUNCHER_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${VARDOK_INSTALL_DATA_DIR})

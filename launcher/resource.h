// Resource ids of the launcher, shared by the resource script (res/Vardok.rc) and the code.
// Plain defines only: the resource compiler's preprocessor reads this file as well.
#pragma once

#define IDS_DISK_FULL 102  // no room for the show on the temporary folder's drive
#define IDS_NO_SHOW   103  // the file is damaged, or holds no show and player to run
#define IDS_NO_PLAYER 104  // the player was extracted but could not be started
#define IDS_NO_FOLDER 105  // the temporary folder cannot be used
#define IDI_VARDOK    128  // icon group: the program's icon, 32x32 and 16x16 at 16 colours
#define IDD_PROGRESS  131  // dialog template of the progress window
#define IDC_PROGRESS  1003 // the progress bar inside IDD_PROGRESS

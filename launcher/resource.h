// Resource ids of the launcher, shared by the resource script (res/Vardok.rc) and the code.
// Plain defines only: the resource compiler's preprocessor reads this file as well.
#pragma once

#define IDS_DISK_FULL 102  // the one message: no room for the show on the temporary folder's drive
#define IDI_VARDOK    128  // icon group: the program's icon, 32x32 and 16x16 at 16 colours
#define IDD_PROGRESS  131  // dialog template of the progress window
#define IDC_PROGRESS  1003 // the progress bar inside IDD_PROGRESS

// resource.h - identifiers of the program's own resources: the main menu's
// commands. The values are fixed: accelerators, the dialogs' callers and
// the tests all rely on them.
#ifndef RESOURCE_H
#define RESOURCE_H

#define IDM_SHOWGRID 101
#define IDM_GRAPHICS 102
#define IDM_SINGLEPLAYER 103
#define IDM_MULTIPLAYER 104
#define IDM_SHOWNEXT 105
#define IDM_PAUSE 106
#define IDM_CONTROLS 107

#define IDM_NEWGAME 24331
#define IDM_STARTSERVER 24332
#define IDM_CONNECT 24333
#define IDM_EXIT 24338
#define IDM_STOPGAME 24500

#endif // RESOURCE_H

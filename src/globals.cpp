// globals.cpp - the program-wide handles; the shell sets them at start-up.
#include "STAKKA.h"

HINSTANCE hinst = NULL;
HINSTANCE hinstDll = NULL;
HWND hwndMain = NULL;

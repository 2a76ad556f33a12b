// shell.h - the application shell: window classes, the main window and the
// main loop, split out of WinMain so that each can be built and driven on
// its own.
#ifndef SHELL_H
#define SHELL_H

#include <windows.h>

struct OPTIONS;
class StakkaGrid;

extern const char szAppname[]; // "Stakka", class name and title of the main window

// Registers "Stakka", "StakkaGrid", "StakkaNext", "Score", "Stats" and the
// key chooser's class, in that order. Returns 0 only when "Stakka" itself
// could not be registered; the others' results are not looked at.
int RegisterStakkaClasses(HINSTANCE hInstance);

// Creates the main window at op->windowpos, 394 wide and as tall as the
// caption, the menu bar and 424 pixels of client area. Null on failure.
HWND CreateMainWindow(HINSTANCE hInstance, OPTIONS* op);

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Runs the main loop until WM_QUIT and returns the quit message's parameter.
// Each pass takes at most one message (accelerators of hwndMain first), then
// offers the game a frame step. A pass that found no message waits for the
// next message, or, while a game runs unpaused, at most until the next step
// falls due.
int RunMainLoop(StakkaGrid* grid, HACCEL accel);

// ---- Seams for tests and the benchmark ----
// Called after every frame step the loop offers, with the step's due time
// and the frame time as they were before the step. Null removes it.
typedef void (*FRAMEHOOKPROC)(StakkaGrid* grid, DWORD dueBefore, DWORD timeBefore);
FRAMEHOOKPROC SetFrameHook(FRAMEHOOKPROC hook);

// 1 while the main window holds a loaded music module (from a game music
// start until the matching stop).
int GameMusicLoaded(void);

// How long an idle pass of the main loop would wait now, in milliseconds:
// INFINITE while no game runs or the game is paused; otherwise until a tick
// grain before the next step falls due, then 1 ms slices until it does.
DWORD FrameWaitTime(StakkaGrid* grid);

#endif // SHELL_H

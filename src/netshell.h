// netshell.h - the shell's side of network play: the Start Server and
// Connect commands, the menu states of a session, and the session as the
// opponent of this side's match (match.h); the "Stats" panel shows the
// waiting state or the opponent's well (oppview.h).
//
// One per process, like the main window it serves. Nothing here runs, and
// no socket exists, until a player chooses Start Server or Connect.
#ifndef NETSHELL_H
#define NETSHELL_H

#include <windows.h>

#include "match.h"
#include "netplay.h"

class StakkaGrid;

// Private messages of the main window.
#define WM_NETSOCKET (WM_USER + 40)    // socket events of the session
#define WM_NETLOOKUP (WM_USER + 42)    // a name lookup ended (wParam: its ticket)
#define NET_TIMER_ID 0x4E54            // heartbeat and silence timer of the main window

// Starts Winsock (no socket yet) and sets the menu states.
void NetShellInit(HWND hwnd, HMENU hmenu);
// Ends any session and releases what the panel made; before the grid goes.
void NetShellShutdown(StakkaGrid* grid);
// Start Server, Connect, Single Player, Multi Player; 1 if handled.
int NetShellCommand(HWND hwnd, StakkaGrid* grid, UINT id);
// New Game while no game runs: 1 when a session takes it over (it starts a
// match, asks the host for one, or there is nobody yet), 0 for single play.
int NetShellNewGame(StakkaGrid* grid);
// Stop Game and Pause were applied to the playfield: tell the other side.
void NetShellStopped(StakkaGrid* grid);
void NetShellPaused(StakkaGrid* grid);
// Window messages routed from the main window.
void NetShellSocket(StakkaGrid* grid, WPARAM wParam, LPARAM lParam);
void NetShellTimer(StakkaGrid* grid);
void NetShellLookup(StakkaGrid* grid, WPARAM ticket);
// After every pass of the main loop: sends this side's well when it changed.
void NetShellAfterStep(StakkaGrid* grid);

#endif // NETSHELL_H

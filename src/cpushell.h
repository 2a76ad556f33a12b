// cpushell.h - the computer opponent as the shell sees it: computer mode
// (entered from Options > Multi Player), the computer's side of the match,
// its well in the "Stats" panel, and its steps on the window thread.
//
// The computer's side is stepped after every pass of the main loop, as the
// player's playfield is, and a one-shot window timer armed for its next due
// step wakes that loop, so it keeps the game's clock without a thread and
// without waking the window when nothing is due. A menu's or a dialog's own
// message loop holds the player's piece still, and the computer's with it.
#ifndef CPUSHELL_H
#define CPUSHELL_H

#include <windows.h>

class Image;
class Match;
class StakkaGrid;

#define CPU_TIMER_ID 0x4350 // the computer's next step, on the main window

// 1 while computer mode is on.
int CpuShellActive(void);
// Enters computer mode at a strength (or changes it): `match` is the
// player's side, which then plays the computer; the panel shows the
// computer's empty well. Ends a match against an earlier computer first.
void CpuShellEnter(HWND hwnd, StakkaGrid* grid, Match* match, Image* rising, int strength);
// Leaves computer mode: a running match ends as after Stop Game, the panel
// goes back to the playfield. Nothing when computer mode is off.
void CpuShellLeave(void);
// Runs the computer's due step and arms the timer for the next one.
void CpuShellStep(void);
// The timer went off: it only woke the main loop, whose pass steps the
// computer. The timer goes until that pass arms it again.
void CpuShellTimer(void);

#endif // CPUSHELL_H

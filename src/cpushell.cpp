// cpushell.cpp - computer mode in the shell.
#include "cpushell.h"

#include <string.h>

#include "clock.h"
#include "cpumatch.h"
#include "grid.h"
#include "match.h"
#include "oppview.h"

namespace
{

const char* const kStrengthNames[NUM_STRENGTHS] = {"Easy", "Normal", "Hard"};
const char COMPUTER_NAME[] = "Computer";

// One main window, one computer.
struct CpuShell {
    int on;
    HWND hwnd;
    StakkaGrid* grid;
    Match* match;
    CpuSide side;
    OpponentView view;
    int timerArmed;
    DWORD timerDue; // tick count the armed timer was set for
    const char* shownBanner; // the computer's result shown beside its well, or null
};

CpuShell cpu;

void ShowComputerBoard(void*, const MATCHBOARD& board)
{
    // After a match the computer's result stands where its strength was.
    const char* banner = cpu.side.grid.banner;
    cpu.shownBanner = banner;
    cpu.view.SetTitle(COMPUTER_NAME, banner ? banner : kStrengthNames[cpu.side.Strength()]);
    cpu.view.ShowBoard(board);
}

void DisarmTimer()
{
    if (cpu.timerArmed)
        KillTimer(cpu.hwnd, CPU_TIMER_ID);
    cpu.timerArmed = 0;
}

} // namespace

int CpuShellActive(void)
{
    return cpu.on;
}

void CpuShellEnter(HWND hwnd, StakkaGrid* grid, Match* match, Image* rising, int strength)
{
    CpuShellLeave();
    cpu.on = 1;
    cpu.hwnd = hwnd;
    cpu.grid = grid;
    cpu.match = match;
    cpu.side.Begin(strength);
    cpu.side.Join(match, ShowComputerBoard, NULL);
    cpu.view.Begin(grid, rising);
    cpu.view.SetTitle(COMPUTER_NAME, kStrengthNames[cpu.side.Strength()]);
    cpu.shownBanner = NULL;
    MATCHBOARD empty;
    memset(&empty, 0, sizeof empty);
    empty.pieceColor = MATCH_NO_PIECE;
    cpu.view.ShowBoard(empty);
}

void CpuShellLeave(void)
{
    if (!cpu.on)
        return;
    cpu.match->SetGrid(cpu.grid);
    cpu.match->End(MATCH_STOPPED_HERE);
    cpu.match->SetOpponent(NULL);
    DisarmTimer();
    cpu.match->Leave(); // single play again, without the result
    cpu.view.End();
    cpu.on = 0;
}

void CpuShellTimer(void)
{
    // Stepping here would let the computer play on inside a menu's loop
    // while the player's piece waits for the main loop.
    DisarmTimer();
}

void CpuShellStep(void)
{
    if (!cpu.on)
        return;
    DWORD now = StkTickCount();
    cpu.side.Step(now);
    // The result can come with no change of the computer's well (its piece
    // had just landed when the player topped out): it is shown all the same.
    if (cpu.side.match.WellsShared() && cpu.side.grid.banner != cpu.shownBanner) {
        MATCHBOARD board;
        MatchSnapshot(cpu.side.grid, &board);
        ShowComputerBoard(NULL, board);
    }
    DWORD due = cpu.side.DueIn(StkTickCount());
    if (due == INFINITE) {
        DisarmTimer();
        return;
    }
    // Re-armed only when the due time moves: every pass of the main loop
    // comes here, and each SetTimer is a call into the system.
    DWORD at = now + due;
    if (cpu.timerArmed && cpu.timerDue == at)
        return;
    cpu.timerDue = at;
    cpu.timerArmed = SetTimer(cpu.hwnd, CPU_TIMER_ID, due ? due : 1, NULL) != 0;
}

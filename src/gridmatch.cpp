// gridmatch.cpp - what a two-player match does to the playfield: a game
// from nothing, its end with a result, rows risen under the well, and the
// way back to single play. The match's own rules are in match.cpp.
#include "grid.h"

#include "tetrad.h"

void StakkaGrid::StartMatchGame(GridHooks* h)
{
    if (active)
        Stop();
    // A match is fair: both sides start from nothing at the first speed,
    // with no piece left over from an earlier game.
    delete pActiveTetrad;
    pActiveTetrad = nullptr;
    delete pNextTetrad;
    pNextTetrad = nullptr;
    lines = 0;
    level = 0;
    score = 0;
    for (int t = 0; t < TETRAD_TYPES; t++)
        stats[t] = 0;
    delay_drop_normal = DELAY_DROP_START;
    delay_drop = DELAY_DROP_START;
    fallingFast = 0;
    paused = 0;
    nextFrame = 0; // the first piece enters at once
    curTime = 0;
    hooks = h;
    banner = nullptr;
    Reset();
    RepaintScore();
    RepaintNext();
}

void StakkaGrid::EndMatchGame(const char* result)
{
    // Called from a landing too: the frame loop then deletes a null piece.
    active = 0;
    paused = 0;
    delete pActiveTetrad;
    pActiveTetrad = nullptr;
    delete pNextTetrad;
    pNextTetrad = nullptr;
    if (!result)
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                field[x][y] = 0;
    banner = result;
    Redraw(REDRAW_ALL);
    RepaintNext();
    RepaintScore();
}

void StakkaGrid::LeaveMatch(GridHooks* h)
{
    if (hooks == h)
        hooks = nullptr;
    if (banner) {
        // The ended match's well goes with its result (as after Stop Game):
        // its risen cells have no picture without the match.
        banner = nullptr;
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                field[x][y] = 0;
        Redraw(REDRAW_ALL);
    }
}

int RaiseWellRows(int field[WELL_COLS][WELL_ROWS], int n, int hole)
{
    if (n <= 0)
        return 0;
    if (n > WELL_ROWS)
        n = WELL_ROWS;
    int out = 0;
    for (int x = 0; x < WELL_COLS; x++) {
        for (int y = 0; y < n; y++)
            if (field[x][y])
                out = 1;
        for (int y = 0; y + n < WELL_ROWS; y++)
            field[x][y] = field[x][y + n];
        for (int y = WELL_ROWS - n; y < WELL_ROWS; y++)
            field[x][y] = x == hole ? 0 : RISING_CELL;
    }
    return out;
}

int StakkaGrid::RaiseRows(int n, int hole)
{
    if (!active)
        return 0;
    int out = RaiseWellRows(field, n, hole);
    // The landed piece is still the falling piece; its cells have moved up
    // with the well, so it is hidden while the well is recomposed.
    Tetrad* landed = pActiveTetrad;
    pActiveTetrad = nullptr;
    Redraw(REDRAW_ALL);
    pActiveTetrad = landed;
    if (out && hooks)
        hooks->ToppedOut(this);
    return out;
}

// cpuplayer.cpp - the computer player's key presses on its playfield.
#include "cpuplayer.h"

#include "clock.h"
#include "grid.h"
#include "tetrad.h"

namespace {

// The computer's own key bindings: the playfield's key rules read them just
// as they read a player's.
const int kCpuKeys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};

// After this many refused moves for one piece it stops steering and lets
// the piece fall where it is.
const int MAX_REPLANS = 2;

} // namespace

CpuPlayer::CpuPlayer()
    : grid(nullptr), strength(STRENGTH_NORMAL), nextMove(0), replans(0), piece(0), lastPress(0),
      wait(0), dropHeld(0), plans(0)
{
    plan.count = 0;
}

void CpuPlayer::Begin(StakkaGrid* g, int s)
{
    grid = g;
    strength = (s >= 0 && s < NUM_STRENGTHS) ? s : STRENGTH_NORMAL;
    plan.count = 0;
    nextMove = 0;
    dropHeld = 0;
    // No piece has this number: the first piece of the game gets a plan.
    piece = (DWORD)-1;
}

DWORD CpuPlayer::PieceNumber() const
{
    // Every piece that starts to fall is counted once in the statistics.
    DWORD n = 0;
    for (int t = 0; t < TETRAD_TYPES; t++)
        n += grid->stats[t];
    return n;
}

void CpuPlayer::ReleaseDrop()
{
    if (!dropHeld)
        return;
    grid->KeyUp((UINT)kCpuKeys[KEY_DROP], kCpuKeys);
    dropHeld = 0;
}

void CpuPlayer::NewPiece(DWORD now)
{
    ReleaseDrop();
    piece = PieceNumber();
    planner.Plan(grid->field, *grid->pActiveTetrad, grid->pNextTetrad, strength, &plan);
    plans++;
    nextMove = 0;
    replans = 0;
    lastPress = now;
    wait = (DWORD)CpuStyle(strength).thinkMs;
}

int CpuPlayer::Fallen() const
{
    // The k-th wait of a plan is over once the piece is k rows lower.
    int k = 0;
    for (int i = 0; i <= nextMove && i < plan.count; i++)
        k += plan.moves[i] == CPU_FALL;
    return grid->pActiveTetrad->pos.y >= plan.startY + k;
}

void CpuPlayer::Press(int move, DWORD now)
{
    const Tetrad* t = grid->pActiveTetrad;
    LONG x = t->pos.x;
    int rot = t->currentrot;
    int key = KEY_DROP;
    if (move == CPU_LEFT)
        key = KEY_LEFT;
    if (move == CPU_RIGHT)
        key = KEY_RIGHT;
    if (move == CPU_TURN_CW)
        key = KEY_ROTATE_CW;
    if (move == CPU_TURN_CCW)
        key = KEY_ROTATE_CCW;
    grid->KeyDown((UINT)kCpuKeys[key], kCpuKeys);
    lastPress = now;
    wait = (DWORD)CpuStyle(strength).moveMs;
    if (key == KEY_DROP) {
        // Held until the piece lands, as a player holds the drop key.
        dropHeld = 1;
        nextMove++;
        return;
    }
    grid->KeyUp((UINT)kCpuKeys[key], kCpuKeys);
    if (t->pos.x != x || t->currentrot != rot) {
        nextMove++;
        return;
    }
    // Refused: the piece fell meanwhile and something is in the way. Plan
    // again from where it is, a few times at most.
    if (replans < MAX_REPLANS) {
        replans++;
        planner.Plan(grid->field, *t, grid->pNextTetrad, strength, &plan);
        plans++;
        nextMove = 0;
        return;
    }
    nextMove = plan.count;
}

void CpuPlayer::Step(DWORD now)
{
    if (!grid || !grid->active || grid->paused)
        return;
    if (!grid->pActiveTetrad) {
        ReleaseDrop(); // landed: the next piece starts at the normal speed
        return;
    }
    if (PieceNumber() != piece)
        NewPiece(now);
    if (nextMove >= plan.count)
        return;
    // Waits for gravity end as soon as the piece is low enough.
    while (nextMove < plan.count && plan.moves[nextMove] == CPU_FALL && Fallen())
        nextMove++;
    if (nextMove >= plan.count || plan.moves[nextMove] == CPU_FALL)
        return;
    if (!StkTimeReached(now, lastPress, lastPress + wait))
        return;
    Press(plan.moves[nextMove], now);
}

DWORD CpuPlayer::DueIn(DWORD now) const
{
    if (!grid || !grid->active || grid->paused || !grid->pActiveTetrad)
        return INFINITE;
    if (PieceNumber() != piece)
        return 0;
    if (nextMove >= plan.count)
        return INFINITE;
    if (plan.moves[nextMove] == CPU_FALL)
        return Fallen() ? 0 : INFINITE; // the playfield's own fall wakes us
    DWORD elapsed = now - lastPress;
    return elapsed >= wait ? 0 : wait - elapsed;
}

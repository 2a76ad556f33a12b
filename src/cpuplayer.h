// cpuplayer.h - the computer player's hands: it watches one playfield, asks
// the planner where each new piece should go, and presses the playfield's
// keys one at a time at the pace of its strength, on the game's clock.
//
// It sees what a player sees: the well, the falling piece and the next one.
// It acts only through the playfield's key rules (KeyDown / KeyUp), so the
// piece falls, turns and moves exactly as a player's would. No threads: the
// owner calls Step() from the window thread (or a headless loop) and may
// sleep until DueIn() says something is due.
#ifndef CPUPLAYER_H
#define CPUPLAYER_H

#include <windows.h>

#include "cpuplan.h"

class StakkaGrid;

class CpuPlayer {
public:
    CpuPlayer();
    // Plays grid (not owned) at a strength; forgets any plan.
    void Begin(StakkaGrid* grid, int strength);
    void Seed(DWORD seed) { planner.Seed(seed); }
    int Strength() const { return strength; }
    // Acts if a key press is due at `now`: plans for a new piece, presses
    // one key. Call after the playfield's own frame step.
    void Step(DWORD now);
    // Milliseconds from `now` until the next press is due; INFINITE while
    // there is nothing to press (no piece, paused, plan done).
    DWORD DueIn(DWORD now) const;
    // Decisions taken (plans made), for the benchmark and the tests.
    DWORD Plans() const { return plans; }
    // The planner itself, for the benchmark's tuning.
    CpuPlanner& Planner() { return planner; }

private:
    void NewPiece(DWORD now);
    void Press(int move, DWORD now);
    void ReleaseDrop();
    DWORD PieceNumber() const;
    int Fallen() const; // the wait at plan.moves[nextMove] is over

    StakkaGrid* grid;
    int strength;
    CpuPlanner planner;
    CPUPLAN plan;
    int nextMove;        // index into plan.moves
    int replans;         // plans made again for this piece after a refused move
    DWORD piece;         // number of the piece the plan is for
    DWORD lastPress;     // when the last key (or the new piece) was seen
    DWORD wait;          // from lastPress to the next press
    int dropHeld;        // the drop key is down until the piece lands
    DWORD plans;
};

#endif // CPUPLAYER_H

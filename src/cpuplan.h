// cpuplan.h - the computer player's planner: no windows, no threads.
//
// Given a well, the falling piece and the next piece, it chooses where the
// falling piece should land and returns the single moves and turns that take
// it there. Every trial placement is played on a windowless StakkaGrid with
// the playfield's own moves, turns, falls and clears, so the planner can only
// choose what a player could reach: no nudged turns, a refused move stays
// refused, and a piece goes down only by falling.
//
// A plan turns the piece first, then shifts it, then lets it fall (fast,
// where the strength uses the drop key). A turn that has no room yet (a
// long piece standing up in the top row) waits for the piece to fall a row
// or two first, as a player waits. If the piece has fallen meanwhile and a
// move is refused, the driver asks for a new plan from where it is.
#ifndef CPUPLAN_H
#define CPUPLAN_H

#include <windows.h>

#include "grid.h"
#include "stkdefs.h"

class Tetrad;

// One step of a plan, as a player's key press.
// CPU_FALL presses nothing: it waits until the piece has fallen one more row.
enum CPUMOVE { CPU_LEFT, CPU_RIGHT, CPU_TURN_CW, CPU_TURN_CCW, CPU_FAST_DROP, CPU_FALL };

enum {
    CPU_MAX_FALLS = 2,  // rows a piece may wait to fall before it turns
    // Longest plan: the falls, two turns, eleven shifts and the fast drop.
    CPU_MAX_MOVES = CPU_MAX_FALLS + 2 + WELL_COLS - 1 + 1
};
// The evaluation of a placement that loses the game.
const int CPU_LOST = -1000000000;

struct CPUPLAN {
    int count;                 // moves[0..count-1]
    int moves[CPU_MAX_MOVES];  // CPUMOVE values
    LONG startY;               // the piece's row when planned: CPU_FALL k waits for startY + k
    LONG x;                    // where the piece lands: its reference cell ...
    LONG y;
    int rot;                   // ... and orientation
    int score;                 // the evaluation of the chosen well (higher is better)
};

// How each strength plays (cpuplan.cpp keeps one row per STRENGTH_*).
struct CPUSTYLE {
    int thinkMs;     // pause after a new piece appears before the first move
    int moveMs;      // pause between two moves
    int fastDrop;    // 1: presses the drop key once in place
    int lookahead;   // 1: weighs where the next piece could go
    int noise;       // random spread added to every evaluation (0: always the best)
};
const CPUSTYLE& CpuStyle(int strength); // STRENGTH_EASY..STRENGTH_HARD; others: Normal

// Weights of the evaluation: each feature of the well after a placement is
// multiplied by its weight and the products are summed.
struct CPUWEIGHTS {
    int holes;        // empty cells under a settled cell of their column
    int covers;       // settled cells above the lowest hole of their column
    int height;       // sum of the column heights
    int bumps;        // sum of the height steps between neighbour columns
    int wells;        // 1 + 2 + ... + d for every column d below both neighbours
    int landing;      // height of the piece's lowest cell where it landed
    int danger;       // square of the height above the safe line
    int lines[TETRAD_CELLS + 1]; // reward for 0..4 rows cleared by the placement
};

class CpuPlanner {
public:
    CpuPlanner();
    ~CpuPlanner();
    // Replaces the evaluation's weights (the benchmark's tuning uses this).
    void SetWeights(const CPUWEIGHTS& w) { weights = w; }
    static const CPUWEIGHTS& DefaultWeights();
    // Seeds the generator of the random spread.
    void Seed(DWORD seed) { rng = seed ? seed : 1; }

    // Plans falling in `field`; next may be null. Returns 1 with a plan,
    // 0 when the piece cannot be placed anywhere from where it is (the
    // plan is then empty and the piece is left to fall).
    int Plan(const int field[WELL_COLS][WELL_ROWS], const Tetrad& falling, const Tetrad* next,
             int strength, CPUPLAN* plan);

    // The evaluation of a well as it is (the rows of the last placement
    // already cleared), with `cleared` rows cleared and the piece's lowest
    // cell landed at row `bottom`. Public for the benchmark.
    int Evaluate(const int field[WELL_COLS][WELL_ROWS], int cleared, int bottom) const;

private:
    // Where a piece is: enough to put one of the planner's pieces of the
    // same shape in the same place.
    struct PIECESTATE {
        POINT pos;
        POINT blocks[TETRAD_CELLS];
        int rot;
    };
    struct TRIAL {
        int falls;     // rows waited before turning
        int turns;     // -1 one turn counter-clockwise, 0..2 clockwise turns
        int shift;     // columns moved, negative to the left
        int cleared;
        int score;
    };
    // Every placement of piece from `start` reachable by turning, then
    // shifting, scored. Returns how many were written to out (at most cap).
    int Trials(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece, const PIECESTATE& start,
               TRIAL* out, int cap);
    // Turns the piece in sim (see TRIAL::turns), after letting it fall as
    // few rows as it needs (at most CPU_MAX_FALLS) for the turns to be
    // taken; sets *falls. 0 when they are refused anyway.
    int Turn(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece, const PIECESTATE& start,
             int turns, int* falls);
    // Lets the piece in sim fall to its landing: 1 when it landed (sim.field
    // is then the well after it, rows cleared).
    int Land(Tetrad* piece, int* cleared, int* bottom);
    // Plays one trial on sim: 1 when every move was taken and the piece
    // landed (sim.field is then the well after it, rows cleared).
    int Play(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece, const PIECESTATE& start,
             const TRIAL& trial, int* cleared, int* bottom);
    // The best evaluation over every placement of piece from start, or
    // CPU_LOST when it has no room.
    int BestPlacement(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece,
                      const PIECESTATE& start);
    Tetrad* Shape(DWORD type);  // this planner's own piece of a shape, or null
    static void Save(const Tetrad& from, PIECESTATE* to);
    static void Load(const PIECESTATE& from, Tetrad* to);
    int Noise(int spread);

    StakkaGrid sim;                // windowless: trials run on the playfield's own rules
    Tetrad* shapes[TETRAD_TYPES];  // one piece of every shape, reused by the trials
    CPUWEIGHTS weights;
    DWORD rng;

    CpuPlanner(const CpuPlanner&) = delete;
    CpuPlanner& operator=(const CpuPlanner&) = delete;
};

#endif // CPUPLAN_H

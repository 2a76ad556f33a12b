// cpuplan.cpp - the computer player's planner: trial placements on a
// windowless playfield, an evaluation of the well after each, a plan of moves.
#include "cpuplan.h"

#include <string.h>

#include "tetrad.h"

namespace {

// Easy thinks and moves slowly and picks loosely; Hard moves fast and also
// weighs the next piece. The spreads are in the evaluation's own units.
const CPUSTYLE kStyles[NUM_STRENGTHS] = {
    {700, 260, 1, 0, 200}, // STRENGTH_EASY
    {300, 120, 1, 0, 75},  // STRENGTH_NORMAL
    {60, 45, 1, 1, 0},     // STRENGTH_HARD
};

// Tuned by headless play: the benchmark's "tune" (a random search that keeps
// the weights surviving the most pieces at Normal) took the hand-made start
// {-80, -10, -5, -10, -8, -10, -20, {0, 20, 60, 120, 250}} from 533 to 2461
// pieces a game over 60 rounds.
const CPUWEIGHTS kDefaultWeights = {
    -125, -6, -5, -10, -6, -10, -22, {0, 15, 60, 90, 250},
};

// Rows a stack may reach before the danger feature starts to count.
const int SAFE_HEIGHT = 12;
// The placements of the falling piece that Hard follows with the next piece.
const int LOOKAHEAD_BEST = 4;
// Turning, then every shift, per orientation: 4 x 12 is plenty.
const int MAX_TRIALS = 64;

} // namespace

const CPUSTYLE& CpuStyle(int strength)
{
    if (strength < 0 || strength >= NUM_STRENGTHS)
        strength = STRENGTH_NORMAL;
    return kStyles[strength];
}

const CPUWEIGHTS& CpuPlanner::DefaultWeights()
{
    return kDefaultWeights;
}

CpuPlanner::CpuPlanner() : weights(kDefaultWeights), rng(1)
{
    // Rolls and shape numbers differ; the pieces are found by shape later.
    for (int roll = 0; roll < TETRAD_TYPES; roll++)
        shapes[roll] = CreateTetrad(roll);
}

CpuPlanner::~CpuPlanner()
{
    // The trial piece belongs to the planner, not to the playfield.
    sim.pActiveTetrad = nullptr;
    for (int k = 0; k < TETRAD_TYPES; k++)
        delete shapes[k];
}

Tetrad* CpuPlanner::Shape(DWORD type)
{
    for (int k = 0; k < TETRAD_TYPES; k++)
        if (shapes[k] && shapes[k]->type == type)
            return shapes[k];
    return nullptr;
}

void CpuPlanner::Save(const Tetrad& from, PIECESTATE* to)
{
    to->pos = from.pos;
    for (int k = 0; k < TETRAD_CELLS; k++)
        to->blocks[k] = from.blocks[k];
    to->rot = from.currentrot;
}

void CpuPlanner::Load(const PIECESTATE& from, Tetrad* to)
{
    to->pos = from.pos;
    for (int k = 0; k < TETRAD_CELLS; k++)
        to->blocks[k] = from.blocks[k];
    to->currentrot = from.rot;
}

int CpuPlanner::Noise(int spread)
{
    if (spread <= 0)
        return 0;
    // xorshift32: the planner's own, so the match's piece sequence is untouched.
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return (int)(rng % (DWORD)(2 * spread + 1)) - spread;
}

int CpuPlanner::Turn(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece,
                     const PIECESTATE& start, int turns, int* falls)
{
    int dir = turns < 0 ? -1 : 1;
    int count = turns < 0 ? 1 : turns;
    for (int fell = 0; fell <= CPU_MAX_FALLS; fell++) {
        Load(start, piece);
        // Falling as gravity does; a piece that would land instead cannot wait.
        for (int k = 0; k < fell; k++)
            if (sim.DropTetrad()) {
                memcpy(sim.field, field, sizeof sim.field);
                return 0;
            }
        // Each turn through the playfield's own operation.
        int taken = 1;
        for (int k = 0; k < count && taken; k++) {
            int before = piece->currentrot;
            sim.RotateTetrad(dir);
            taken = piece->currentrot != before;
        }
        if (taken) {
            *falls = fell;
            return 1;
        }
    }
    return 0;
}

int CpuPlanner::Land(Tetrad* piece, int* cleared, int* bottom)
{
    DWORD linesBefore = sim.lines;
    for (int fall = 0; fall <= WELL_ROWS; fall++) {
        int low = 0;
        for (int k = 0; k < TETRAD_CELLS; k++)
            if (piece->pos.y + piece->blocks[k].y > low)
                low = (int)(piece->pos.y + piece->blocks[k].y);
        if (sim.DropTetrad()) {
            *cleared = (int)(sim.lines - linesBefore);
            *bottom = low;
            return 1;
        }
    }
    return 0;
}

int CpuPlanner::Play(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece,
                     const PIECESTATE& start, const TRIAL& trial, int* cleared, int* bottom)
{
    memcpy(sim.field, field, sizeof sim.field);
    sim.pActiveTetrad = piece;
    int falls = 0;
    if (!Turn(field, piece, start, trial.turns, &falls) || falls != trial.falls)
        return 0;
    int dir = trial.shift < 0 ? -1 : 1;
    for (int k = 0; k < (trial.shift < 0 ? -trial.shift : trial.shift); k++) {
        LONG before = piece->pos.x;
        sim.ShiftTetrad(dir);
        if (piece->pos.x == before)
            return 0;
    }
    return Land(piece, cleared, bottom);
}

int CpuPlanner::Trials(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece,
                       const PIECESTATE& start, TRIAL* out, int cap)
{
    // Distinct orientations: none, one turn, two turns, one turn back.
    static const int kTurns[MAX_ROTATIONS] = {0, 1, 2, -1};
    int n = 0;
    memcpy(sim.field, field, sizeof sim.field);
    sim.pActiveTetrad = piece;
    for (int t = 0; t < piece->nrotations && t < MAX_ROTATIONS; t++) {
        int falls = 0;
        if (!Turn(field, piece, start, kTurns[t], &falls))
            continue;
        PIECESTATE turned;
        Save(*piece, &turned);
        for (int side = -1; side <= 1; side += 2) {
            Load(turned, piece);
            // Outwards one column at a time until a shift is refused; no shift
            // is tried once, in the right-hand pass.
            for (int s = 0; s < WELL_COLS && n < cap; s++) {
                if (s > 0) {
                    LONG before = piece->pos.x;
                    sim.ShiftTetrad(side);
                    if (piece->pos.x == before)
                        break;
                }
                if (s == 0 && side < 0)
                    continue;
                PIECESTATE here;
                Save(*piece, &here);
                int cleared = 0;
                int bottom = 0;
                if (Land(piece, &cleared, &bottom)) {
                    TRIAL& tr = out[n++];
                    tr.falls = falls;
                    tr.turns = kTurns[t];
                    tr.shift = side * s;
                    tr.cleared = cleared;
                    tr.score = Evaluate(sim.field, cleared, bottom);
                }
                // The next shift starts from here, in the well as it was.
                memcpy(sim.field, field, sizeof sim.field);
                Load(here, piece);
            }
        }
    }
    sim.pActiveTetrad = nullptr;
    return n;
}

int CpuPlanner::BestPlacement(const int field[WELL_COLS][WELL_ROWS], Tetrad* piece,
                              const PIECESTATE& start)
{
    memcpy(sim.field, field, sizeof sim.field);
    Load(start, piece);
    sim.pActiveTetrad = piece;
    int blocked = sim.isTetradBlocked();
    sim.pActiveTetrad = nullptr;
    if (blocked)
        return CPU_LOST; // the piece would have no room: the game is lost
    TRIAL trials[MAX_TRIALS];
    int n = Trials(field, piece, start, trials, MAX_TRIALS);
    int best = CPU_LOST;
    for (int i = 0; i < n; i++)
        if (trials[i].score > best)
            best = trials[i].score;
    return best;
}

int CpuPlanner::Plan(const int field[WELL_COLS][WELL_ROWS], const Tetrad& falling,
                     const Tetrad* next, int strength, CPUPLAN* plan)
{
    const CPUSTYLE& style = CpuStyle(strength);
    plan->count = 0;
    plan->score = CPU_LOST;
    Tetrad* piece = Shape(falling.type);
    if (!piece)
        return 0;
    PIECESTATE start;
    Save(falling, &start);
    TRIAL trials[MAX_TRIALS];
    int n = Trials(field, piece, start, trials, MAX_TRIALS);
    if (n == 0)
        return 0;

    Tetrad* nextPiece = next && style.lookahead ? Shape(next->type) : nullptr;
    if (nextPiece) {
        // The few best placements are judged again by the best place left
        // for the next piece after them.
        PIECESTATE nextStart;
        Save(*next, &nextStart);
        for (int pass = 0; pass < LOOKAHEAD_BEST && pass < n; pass++) {
            int top = pass;
            for (int i = pass + 1; i < n; i++)
                if (trials[i].score > trials[top].score)
                    top = i;
            TRIAL tmp = trials[pass];
            trials[pass] = trials[top];
            trials[top] = tmp;
        }
        int after[WELL_COLS][WELL_ROWS];
        for (int i = 0; i < LOOKAHEAD_BEST && i < n; i++) {
            int cleared = 0;
            int bottom = 0;
            Play(field, piece, start, trials[i], &cleared, &bottom);
            memcpy(after, sim.field, sizeof after);
            sim.pActiveTetrad = nullptr;
            int second = BestPlacement(after, nextPiece, nextStart);
            trials[i].score = second == CPU_LOST ? CPU_LOST : second + weights.lines[cleared];
        }
        n = n < LOOKAHEAD_BEST ? n : LOOKAHEAD_BEST;
    }

    int best = -1;
    int bestScore = CPU_LOST;
    for (int i = 0; i < n; i++) {
        int s = trials[i].score == CPU_LOST ? CPU_LOST : trials[i].score + Noise(style.noise);
        if (best < 0 || s > bestScore) {
            best = i;
            bestScore = s;
        }
    }
    const TRIAL& tr = trials[best];
    int cleared = 0;
    int bottom = 0;
    Play(field, piece, start, tr, &cleared, &bottom);
    sim.pActiveTetrad = nullptr;
    plan->startY = start.pos.y;
    plan->x = piece->pos.x;
    plan->y = piece->pos.y;
    plan->rot = piece->currentrot;
    plan->score = tr.score;
    for (int k = 0; k < tr.falls; k++)
        plan->moves[plan->count++] = CPU_FALL;
    int turnMove = tr.turns < 0 ? CPU_TURN_CCW : CPU_TURN_CW;
    for (int k = 0; k < (tr.turns < 0 ? 1 : tr.turns); k++)
        plan->moves[plan->count++] = turnMove;
    int shiftMove = tr.shift < 0 ? CPU_LEFT : CPU_RIGHT;
    for (int k = 0; k < (tr.shift < 0 ? -tr.shift : tr.shift); k++)
        plan->moves[plan->count++] = shiftMove;
    if (style.fastDrop)
        plan->moves[plan->count++] = CPU_FAST_DROP;
    return 1;
}

int CpuPlanner::Evaluate(const int field[WELL_COLS][WELL_ROWS], int cleared, int bottom) const
{
    int heights[WELL_COLS];
    int holes = 0;
    int covers = 0;
    int total = 0;
    int highest = 0;
    for (int x = 0; x < WELL_COLS; x++) {
        int top = 0;
        while (top < WELL_ROWS && field[x][top] == 0)
            top++;
        heights[x] = WELL_ROWS - top;
        total += heights[x];
        if (heights[x] > highest)
            highest = heights[x];
        // Cells above the lowest hole must all go before it can be filled.
        int lowestHole = -1;
        for (int y = top; y < WELL_ROWS; y++)
            if (field[x][y] == 0) {
                holes++;
                lowestHole = y;
            }
        for (int y = top; y < lowestHole; y++)
            if (field[x][y] != 0)
                covers++;
    }
    int bumps = 0;
    int wells = 0;
    for (int x = 0; x < WELL_COLS; x++) {
        if (x + 1 < WELL_COLS)
            bumps += heights[x] > heights[x + 1] ? heights[x] - heights[x + 1]
                                                 : heights[x + 1] - heights[x];
        // The walls count as high neighbours.
        int left = x > 0 ? heights[x - 1] : WELL_ROWS;
        int right = x + 1 < WELL_COLS ? heights[x + 1] : WELL_ROWS;
        int depth = (left < right ? left : right) - heights[x];
        if (depth > 0)
            wells += depth * (depth + 1) / 2;
    }
    int danger = highest > SAFE_HEIGHT ? (highest - SAFE_HEIGHT) * (highest - SAFE_HEIGHT) : 0;
    int landing = WELL_ROWS - bottom;
    if (cleared < 0 || cleared > TETRAD_CELLS)
        cleared = 0;
    return weights.holes * holes + weights.covers * covers + weights.height * total +
           weights.bumps * bumps + weights.wells * wells + weights.landing * landing +
           weights.danger * danger + weights.lines[cleared];
}

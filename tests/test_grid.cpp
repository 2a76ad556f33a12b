// Tests of the playfield's game rules: movement, keys, the frame loop,
// line clearing, scoring, game over, and a long soak of random games.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "clock.h"
#include "fake_display.h"
#include "grid.h"
#include "tetrad.h"

// Lets a test make piece allocation fail. The pieces are the only nothrow
// allocations in the program.
static int g_failPieceAlloc = 0;
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    if (g_failPieceAlloc)
        return nullptr;
    return std::malloc(n ? n : 1);
}

namespace {

const int kKeys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
const DWORD kStart = 100000;

struct GridTest : ::testing::Test {
    StakkaGrid* g = nullptr;

    void SetUp() override
    {
        StkClockDrive(1, kStart);
        srand(1);
        g_failPieceAlloc = 0;
        g = new StakkaGrid(nullptr, nullptr, nullptr);
        FakeDisplayClearLog();
    }
    void TearDown() override
    {
        delete g;
        g_failPieceAlloc = 0;
        StkClockDrive(0, 0);
    }

    // Puts a piece of the given roll in play at (x, y), in a running game.
    Tetrad* Give(int roll, LONG x, LONG y)
    {
        delete g->pActiveTetrad;
        g->pActiveTetrad = CreateTetrad(roll);
        g->pActiveTetrad->pos.x = x;
        g->pActiveTetrad->pos.y = y;
        g->active = 1;
        return g->pActiveTetrad;
    }
    void FillRow(int y, int hole = -1, int v = 1)
    {
        for (int x = 0; x < WELL_COLS; x++)
            g->field[x][y] = (x == hole) ? 0 : v;
    }
    // Runs frames until the game has a falling piece.
    void FirstPiece()
    {
        g->Reset();
        g->RunFrame();
        ASSERT_NE(nullptr, g->pActiveTetrad);
    }
    int CountCells(int v)
    {
        int n = 0;
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                n += g->field[x][y] == v;
        return n;
    }
    static std::vector<int> Band(int y)
    {
        return {y - 2, y - 1, y, y + 1, y + 2};
    }
};

} // namespace

// ---- Construction, starting, stopping, pausing ----------------------------

TEST_F(GridTest, NewPlayfieldIsIdleAndEmpty)
{
    EXPECT_EQ(0, g->Active());
    EXPECT_EQ(0, g->paused);
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_EQ(0u, g->nextFrame);
    EXPECT_EQ(50, g->delay_nextpiece);
    EXPECT_EQ(1500, g->delay_drop);
    EXPECT_EQ(1500, g->delay_drop_normal);
    EXPECT_EQ(25, g->delay_drop_fast);
    EXPECT_EQ(0u, g->lines + g->level + g->score);
    for (int t = 0; t < TETRAD_TYPES; t++)
        EXPECT_EQ(0u, g->stats[t]);
    EXPECT_EQ(WELL_COLS * WELL_ROWS, CountCells(0));
}

TEST_F(GridTest, ConstructionComposesTheWholeWellOnce)
{
    delete g;
    FakeDisplayClearLog();
    g = new StakkaGrid(nullptr, nullptr, nullptr);
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
}

TEST_F(GridTest, ResetStartsAGameWithAnEmptyWell)
{
    FillRow(21);
    g->Reset();
    EXPECT_EQ(1, g->Active());
    EXPECT_EQ(WELL_COLS * WELL_ROWS, CountCells(0));
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
}

TEST_F(GridTest, StopEndsTheGameAndEmptiesEverything)
{
    FirstPiece();
    FillRow(21, 3);
    FakeDisplayClearLog();
    g->Stop();
    EXPECT_EQ(0, g->Active());
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_EQ(WELL_COLS * WELL_ROWS, CountCells(0));
    // The whole well only; the next-piece panel is left alone.
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_EQ(0, FakeDisplayCount(CALL_REPAINT_NEXT));
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
}

TEST_F(GridTest, StopAndPauseDoNothingWithoutAGame)
{
    FillRow(21, 0);
    g->Stop();
    g->TogglePause();
    EXPECT_EQ(0, g->paused);
    EXPECT_EQ(11, CountCells(1));
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, PauseSwapsAndRepaintsTheWholeWell)
{
    FirstPiece();
    FakeDisplayClearLog();
    g->TogglePause();
    EXPECT_EQ(1, g->paused);
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));   // the pause screen
    g->TogglePause();
    EXPECT_EQ(0, g->paused);
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));   // the well again
}

TEST_F(GridTest, CountersAndPauseCarryAcrossStopAndReset)
{
    FirstPiece();
    g->lines = 37;
    g->level = 3;
    g->score = 4200;
    g->stats[4] = 9;
    g->delay_drop_normal = 1320;
    g->fallingFast = 1;
    g->rotating = 1;
    DWORD next = g->nextFrame;
    g->TogglePause();
    g->Stop();
    EXPECT_EQ(1, g->paused);
    // While stopped the pause cannot be switched.
    g->TogglePause();
    EXPECT_EQ(1, g->paused);
    g->Reset();
    EXPECT_EQ(1, g->Active());
    EXPECT_EQ(1, g->paused);          // the new game begins paused
    EXPECT_EQ(37u, g->lines);
    EXPECT_EQ(3u, g->level);
    EXPECT_EQ(4200u, g->score);
    EXPECT_EQ(9u, g->stats[4]);
    EXPECT_EQ(1320, g->delay_drop_normal);
    EXPECT_EQ(1, g->fallingFast);
    EXPECT_EQ(1, g->rotating);
    EXPECT_EQ(next, g->nextFrame);
    // Paused: frames do nothing until the pause is switched off.
    StkClockAdvance(100000);
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    g->TogglePause();
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    // The fall speed reached runs on into the new game.
    EXPECT_EQ(1320, g->delay_drop);
}

// ---- Random choice ---------------------------------------------------------

TEST_F(GridTest, NextTetradFollowsTheGeneratorModuloSeven)
{
    for (unsigned seed : {1u, 2u, 99u}) {
        srand(seed);
        std::vector<int> rolls;
        for (int i = 0; i < 50; i++)
            rolls.push_back(rand() % 7);
        srand(seed);
        static const DWORD typeOfRoll[7] = {0, 1, 6, 2, 3, 4, 5};
        for (int i = 0; i < 50; i++) {
            Tetrad* t = g->NextTetrad();
            ASSERT_NE(nullptr, t);
            EXPECT_EQ(typeOfRoll[rolls[i]], t->type);
            EXPECT_EQ(0, t->currentrot);
            EXPECT_EQ(6, t->pos.x);
            delete t;
        }
    }
}

// ---- Shifting --------------------------------------------------------------

TEST_F(GridTest, ShiftMovesOneColumnAndRepaintsFiveBands)
{
    Tetrad* t = Give(2, 6, 10);
    g->ShiftTetrad(-1);
    EXPECT_EQ(5, t->pos.x);
    EXPECT_EQ(Band(10), FakeDisplayRedraws());
    FakeDisplayClearLog();
    g->ShiftTetrad(+1);
    EXPECT_EQ(6, t->pos.x);
    EXPECT_EQ(Band(10), FakeDisplayRedraws());
}

TEST_F(GridTest, ShiftIsRefusedAtBothEdges)
{
    Tetrad* t = Give(0, 0, 10);       // block in columns 0..1
    g->ShiftTetrad(-1);
    EXPECT_EQ(0, t->pos.x);
    t->pos.x = 10;                    // columns 10..11
    g->ShiftTetrad(+1);
    EXPECT_EQ(10, t->pos.x);
    t = Give(1, 1, 5);                // flat line in columns 0..3
    g->ShiftTetrad(-1);
    EXPECT_EQ(1, t->pos.x);
    t->pos.x = 9;                     // columns 8..11
    g->ShiftTetrad(+1);
    EXPECT_EQ(9, t->pos.x);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, ShiftIsRefusedBySettledCells)
{
    Tetrad* t = Give(0, 5, 10);       // columns 5..6, rows 10..11
    g->field[4][11] = 3;
    g->ShiftTetrad(-1);
    EXPECT_EQ(5, t->pos.x);
    g->field[7][10] = 3;
    g->ShiftTetrad(+1);
    EXPECT_EQ(5, t->pos.x);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, ShiftIgnoresBadDirectionsAndAMissingPiece)
{
    Tetrad* t = Give(0, 5, 10);
    for (int dir : {0, 2, -2, 7})
        g->ShiftTetrad(dir);
    EXPECT_EQ(5, t->pos.x);
    delete g->pActiveTetrad;
    g->pActiveTetrad = nullptr;
    g->ShiftTetrad(-1);
    g->RotateTetrad(1);
    g->SetDelayDropFast();
    EXPECT_EQ(0, g->DropTetrad());
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, ShiftNearTheTopAsksForRowsAboveTheWellToo)
{
    // Bands above row 0 are passed on and ignored by the display.
    Give(2, 6, 1);
    g->ShiftTetrad(1);
    EXPECT_EQ((std::vector<int>{-1, 0, 1, 2, 3}), FakeDisplayRedraws());
}

// ---- Turning ---------------------------------------------------------------

TEST_F(GridTest, FlatLineInRowZeroCannotTurnButCanOneRowLower)
{
    Tetrad* t = Give(1, 6, 0);
    g->RotateTetrad(+1);
    EXPECT_EQ(0, t->currentrot);
    EXPECT_EQ(-1, t->blocks[0].x);
    EXPECT_EQ(0, t->blocks[0].y);
    g->RotateTetrad(-1);
    EXPECT_EQ(0, t->currentrot);
    EXPECT_TRUE(FakeDisplayLog().empty());
    EXPECT_EQ(0, g->DropTetrad());
    g->RotateTetrad(+1);
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(0, t->blocks[0].x);
    EXPECT_EQ(-1, t->blocks[0].y);
}

TEST_F(GridTest, TurnRefusedBySettledCellKeepsOrientation)
{
    Tetrad* t = Give(2, 6, 10);       // tee, would turn its left cell down
    g->field[6][11] = 5;
    g->RotateTetrad(+1);
    EXPECT_EQ(0, t->currentrot);
    g->RotateTetrad(-1);              // orientation 3 puts a cell at (6, 11) too
    EXPECT_EQ(0, t->currentrot);
    EXPECT_EQ(-1, t->blocks[1].x);
    EXPECT_TRUE(FakeDisplayLog().empty());
    g->field[6][11] = 0;
    g->RotateTetrad(-1);
    EXPECT_EQ(3, t->currentrot);
    EXPECT_EQ(Band(10), FakeDisplayRedraws());
}

TEST_F(GridTest, TurnRefusedAtTheWallWithoutNudging)
{
    Tetrad* t = Give(1, 6, 5);
    g->RotateTetrad(1);               // upright at column 6
    ASSERT_EQ(1, t->currentrot);
    t->pos.x = 0;                     // upright in column 0
    g->RotateTetrad(1);               // flat would reach column -1
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(0, t->pos.x);
    t->pos.x = 10;                    // flat would reach column 12
    g->RotateTetrad(-1);
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(10, t->pos.x);
}

TEST_F(GridTest, BlockNeverTurns)
{
    Tetrad* t = Give(0, 5, 5);
    g->RotateTetrad(1);
    g->RotateTetrad(-1);
    EXPECT_EQ(0, t->currentrot);
    EXPECT_EQ(1, t->blocks[1].x);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

// ---- Falling and landing ---------------------------------------------------

TEST_F(GridTest, DropFallsOneRowAndRepaintsAroundTheNewRow)
{
    Tetrad* t = Give(3, 4, 5);
    EXPECT_EQ(0, g->DropTetrad());
    EXPECT_EQ(6, t->pos.y);
    EXPECT_EQ(Band(6), FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
}

TEST_F(GridTest, PieceReachingTheBottomLandsAtTheNextStep)
{
    Tetrad* t = Give(2, 4, 20);       // tee: rows 19..20
    EXPECT_EQ(0, g->DropTetrad());    // now rows 20..21
    EXPECT_EQ(21, t->pos.y);
    FakeDisplayClearLog();
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(21, t->pos.y);
    EXPECT_EQ(3, g->field[4][21]);    // tee colour 2 leaves 3s
    EXPECT_EQ(3, g->field[3][21]);
    EXPECT_EQ(3, g->field[5][21]);
    EXPECT_EQ(3, g->field[4][20]);
    EXPECT_EQ(4, CountCells(3));
    // No clear: nothing to repaint, the settled cells look like the piece.
    EXPECT_TRUE(FakeDisplayLog().empty());
    // The landed piece is still the falling piece until the frame loop
    // deletes it.
    EXPECT_EQ(t, g->pActiveTetrad);

    t = Give(0, 8, 20);
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(4, CountCells(1));      // block colour 0 leaves 1s
}

TEST_F(GridTest, PieceRestingOnTheStackLandsAtTheNextStep)
{
    for (int x = 0; x <= 6; x++)
        g->field[x][15] = 2;
    Give(0, 5, 13);                   // rows 13..14, columns 5..6, on the ledge
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(1, g->field[5][14]);
    EXPECT_EQ(1, g->field[6][13]);
}

TEST_F(GridTest, RestingPieceSlidesOverAGapAndFallsOn)
{
    for (int x = 0; x <= 6; x++)
        g->field[x][15] = 2;
    Tetrad* t = Give(0, 5, 13);
    g->ShiftTetrad(1);
    g->ShiftTetrad(1);                // columns 7..8, over the gap
    EXPECT_EQ(7, t->pos.x);
    EXPECT_EQ(0, g->DropTetrad());
    EXPECT_EQ(14, t->pos.y);
    EXPECT_EQ(WELL_COLS * WELL_ROWS - 7, CountCells(0));
}

TEST_F(GridTest, RestingPieceSlidOffTheStackFallsOnThroughFrames)
{
    g->Reset();
    for (int x = 0; x <= 6; x++)
        g->field[x][15] = 2;
    Tetrad* t = Give(0, 5, 13);
    g->curTime = StkTickCount();
    g->nextFrame = g->curTime + 1500;
    g->ShiftTetrad(1);
    g->ShiftTetrad(1);
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(t, g->pActiveTetrad);
    EXPECT_EQ(14, t->pos.y);
}

TEST_F(GridTest, CellsOutsideTheWellAreNeverRead)
{
    // A piece placed partly outside the well (only a broken caller could
    // do it) is reported blocked and lands without writing outside.
    Tetrad* t = Give(1, -1, -1);
    EXPECT_EQ(1, g->isTetradBlocked());
    EXPECT_EQ(1, g->DropTetrad());
    t = Give(1, 12, 30);
    EXPECT_EQ(1, g->isTetradBlocked());
    EXPECT_EQ(1, g->DropTetrad());
    (void)t;
    EXPECT_EQ(0, g->isFullRow(-1));
    EXPECT_EQ(0, g->isFullRow(22));
    EXPECT_EQ(0, g->isEmptyRow(-1));
    EXPECT_EQ(0, g->isEmptyRow(22));
    g->ClearRow(-1);
    g->ClearRow(22);
    g->DropRows(21, 3);
    g->DropRows(40, 1);
}

TEST_F(GridTest, BlockedTestLooksOnlyAtThePiecesCells)
{
    Give(2, 6, 1);
    EXPECT_EQ(0, g->isTetradBlocked());
    g->field[6][1] = 0;
    g->field[4][1] = 7;               // beside, not under
    EXPECT_EQ(0, g->isTetradBlocked());
    g->field[7][1] = 7;
    EXPECT_EQ(1, g->isTetradBlocked());
}

// ---- Keys ------------------------------------------------------------------

TEST_F(GridTest, KeysMoveAndTurnThePiece)
{
    Tetrad* t = Give(2, 6, 10);
    g->KeyDown(VK_LEFT, kKeys);
    EXPECT_EQ(5, t->pos.x);
    g->KeyDown(VK_RIGHT, kKeys);
    g->KeyDown(VK_RIGHT, kKeys);
    EXPECT_EQ(7, t->pos.x);
    g->KeyDown(VK_UP, kKeys);
    EXPECT_EQ(1, t->currentrot);
    g->KeyUp(VK_UP, kKeys);
    g->KeyDown(VK_CONTROL, kKeys);
    EXPECT_EQ(0, t->currentrot);
}

TEST_F(GridTest, HeldTurnKeyTurnsOnceAndEitherReleaseFreesBoth)
{
    Tetrad* t = Give(2, 6, 10);
    g->KeyDown(VK_UP, kKeys);
    g->KeyDown(VK_UP, kKeys);         // auto-repeat
    g->KeyDown(VK_UP, kKeys);
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(1, g->rotating);
    g->KeyDown(VK_CONTROL, kKeys);    // the other turn key is held off too
    EXPECT_EQ(1, t->currentrot);
    g->KeyUp(VK_CONTROL, kKeys);      // releasing the other key frees both
    EXPECT_EQ(0, g->rotating);
    g->KeyDown(VK_UP, kKeys);
    EXPECT_EQ(2, t->currentrot);
    g->KeyUp(VK_LEFT, kKeys);         // other keys do not free turning
    EXPECT_EQ(1, g->rotating);
}

TEST_F(GridTest, RefusedOrImpossibleTurnStillHoldsTheKey)
{
    Give(0, 5, 5);                    // block never turns
    g->KeyDown(VK_UP, kKeys);
    EXPECT_EQ(1, g->rotating);
    g->KeyUp(VK_UP, kKeys);
    Tetrad* t = Give(1, 6, 0);        // flat line in row 0: refused
    g->KeyDown(VK_CONTROL, kKeys);
    EXPECT_EQ(1, g->rotating);
    EXPECT_EQ(0, t->currentrot);
}

TEST_F(GridTest, SharedBindingsLetTheLaterTestWin)
{
    const int same[NUM_KEYS] = {'A', 'A', 'B', 'B', 'C'};
    Tetrad* t = Give(2, 6, 10);
    g->KeyDown('A', same);
    EXPECT_EQ(7, t->pos.x);           // right wins
    g->KeyDown('B', same);
    EXPECT_EQ(3, t->currentrot);      // counter-clockwise wins
}

TEST_F(GridTest, OneKeyBoundToEverythingDoesEverything)
{
    const int all[NUM_KEYS] = {'Q', 'Q', 'Q', 'Q', 'Q'};
    Tetrad* t = Give(2, 6, 10);
    g->curTime = 5000;
    g->nextFrame = 6500;
    g->KeyDown('Q', all);
    EXPECT_EQ(7, t->pos.x);
    EXPECT_EQ(3, t->currentrot);
    EXPECT_EQ(1, g->fallingFast);
    EXPECT_EQ(5025u, g->nextFrame);
    g->KeyUp('Q', all);
    EXPECT_EQ(0, g->rotating);
    EXPECT_EQ(0, g->fallingFast);
}

TEST_F(GridTest, FastDropSchedulesFromTheLastFrameTime)
{
    Give(2, 6, 5);
    g->curTime = 8000;
    g->nextFrame = 8010;              // the normal step was due sooner
    g->KeyDown(VK_DOWN, kKeys);
    EXPECT_EQ(1, g->fallingFast);
    EXPECT_EQ(25, g->delay_drop);
    EXPECT_EQ(8025u, g->nextFrame);
    // Repeats of the held key change nothing.
    g->curTime = 8025;
    g->KeyDown(VK_DOWN, kKeys);
    EXPECT_EQ(8025u, g->nextFrame);
    // Releasing restores the normal interval but keeps the schedule.
    g->delay_drop_normal = 1380;
    g->KeyUp(VK_DOWN, kKeys);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_EQ(1380, g->delay_drop);
    EXPECT_EQ(8025u, g->nextFrame);
}

TEST_F(GridTest, FastDropWrapsItsScheduleAcrossTheTickWrap)
{
    Give(2, 6, 5);
    g->curTime = 0xFFFFFFF0u;
    g->SetDelayDropFast();
    EXPECT_EQ(0x9u, g->nextFrame);
}

TEST_F(GridTest, DropKeyHeldThroughALandingDoesNotSpeedTheNextPiece)
{
    FirstPiece();
    g->KeyDown(VK_DOWN, kKeys);
    int guard = 0;
    while (g->pActiveTetrad && guard++ < 100) {
        StkClockAdvance(25);
        g->RunFrame();
    }
    ASSERT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(1, g->fallingFast);
    StkClockAdvance(50);
    g->RunFrame();
    ASSERT_NE(nullptr, g->pActiveTetrad);
    EXPECT_EQ(1500, g->delay_drop);
    g->KeyDown(VK_DOWN, kKeys);       // still held: auto-repeat does nothing
    EXPECT_EQ(1500, g->delay_drop);
    g->KeyUp(VK_DOWN, kKeys);
    g->KeyDown(VK_DOWN, kKeys);       // a fresh press works
    EXPECT_EQ(25, g->delay_drop);
}

// ---- The frame loop --------------------------------------------------------

TEST_F(GridTest, FirstPieceEntersAtTheFirstFrame)
{
    g->Reset();
    FakeDisplayClearLog();
    StkClockResetReads();
    g->RunFrame();
    ASSERT_NE(nullptr, g->pActiveTetrad);
    ASSERT_NE(nullptr, g->pNextTetrad);
    EXPECT_EQ(1u, StkClockReads());
    EXPECT_EQ(kStart, g->curTime);
    EXPECT_EQ(kStart + 1500, g->nextFrame);
    EXPECT_EQ(1500, g->delay_drop);
    DWORD counted = 0;
    for (int t = 0; t < TETRAD_TYPES; t++)
        counted += g->stats[t];
    EXPECT_EQ(1u, counted);
    EXPECT_EQ(1u, g->stats[g->pActiveTetrad->type]);
    // Next panel, then the whole well.
    ASSERT_EQ(2u, FakeDisplayLog().size());
    EXPECT_EQ(CALL_REPAINT_NEXT, FakeDisplayLog()[0].kind);
    EXPECT_EQ(CALL_REDRAW, FakeDisplayLog()[1].kind);
    EXPECT_EQ(REDRAW_ALL, FakeDisplayLog()[1].line);
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
}

TEST_F(GridTest, FirstRollIsTheFallingPieceSecondTheWaitingOne)
{
    srand(77);
    int r1 = rand() % 7, r2 = rand() % 7, r3 = rand() % 7;
    static const DWORD typeOfRoll[7] = {0, 1, 6, 2, 3, 4, 5};
    srand(77);
    g->Reset();
    g->RunFrame();
    EXPECT_EQ(typeOfRoll[r1], g->pActiveTetrad->type);
    EXPECT_EQ(typeOfRoll[r2], g->pNextTetrad->type);
    Tetrad* waiting = g->pNextTetrad;
    delete g->pActiveTetrad;
    g->pActiveTetrad = nullptr;
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(waiting, g->pActiveTetrad);   // moved, not copied
    EXPECT_EQ(typeOfRoll[r3], g->pNextTetrad->type);
}

TEST_F(GridTest, NewPieceWaitsAFullIntervalBeforeItsFirstFall)
{
    FirstPiece();
    LONG y = g->pActiveTetrad->pos.y;
    StkClockAdvance(1499);
    g->RunFrame();
    EXPECT_EQ(y, g->pActiveTetrad->pos.y);
    StkClockAdvance(1);
    g->RunFrame();
    EXPECT_EQ(y + 1, g->pActiveTetrad->pos.y);
    EXPECT_EQ(kStart + 3000, g->nextFrame);
}

TEST_F(GridTest, LateFrameDelaysRatherThanCatchesUp)
{
    FirstPiece();
    LONG y = g->pActiveTetrad->pos.y;
    StkClockAdvance(5000);            // three intervals late
    g->RunFrame();
    g->RunFrame();
    EXPECT_EQ(y + 1, g->pActiveTetrad->pos.y);
    EXPECT_EQ(kStart + 5000 + 1500, g->nextFrame);
}

TEST_F(GridTest, LandingWaitsFiftyMillisecondsDuringWhichKeysDoNothing)
{
    FirstPiece();
    Tetrad* t = Give(0, 3, 20);
    g->curTime = StkTickCount();
    g->nextFrame = g->curTime;
    g->RunFrame();                    // lands
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    (void)t;
    EXPECT_EQ(StkTickCount() + 50, g->nextFrame);
    int before[WELL_COLS][WELL_ROWS];
    std::memcpy(before, g->field, sizeof before);
    DWORD next = g->nextFrame;
    FakeDisplayClearLog();
    for (UINT vk : {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN}) {
        g->KeyDown(vk, kKeys);
        g->KeyUp(vk, kKeys);
    }
    EXPECT_EQ(0, std::memcmp(before, g->field, sizeof before));
    EXPECT_EQ(next, g->nextFrame);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_TRUE(FakeDisplayLog().empty());
    StkClockAdvance(49);
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    StkClockAdvance(1);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

TEST_F(GridTest, NothingHappensWhilePausedOrStopped)
{
    FirstPiece();
    g->TogglePause();
    Tetrad* t = g->pActiveTetrad;
    LONG y = t->pos.y;
    DWORD next = g->nextFrame, cur = g->curTime;
    FakeDisplayClearLog();
    StkClockResetReads();
    StkClockAdvance(10000);
    for (int i = 0; i < 10; i++)
        g->RunFrame();
    EXPECT_EQ(0u, StkClockReads());   // not even the clock is read
    EXPECT_EQ(y, t->pos.y);
    EXPECT_EQ(next, g->nextFrame);
    EXPECT_EQ(cur, g->curTime);
    EXPECT_TRUE(FakeDisplayLog().empty());
    // Keys still act behind the pause screen.
    g->KeyDown(VK_LEFT, kKeys);
    EXPECT_EQ(5, t->pos.x);
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));   // still the pause screen
    // The step that fell due during the pause happens at the first frame.
    g->TogglePause();
    g->RunFrame();
    EXPECT_EQ(y + 1, t->pos.y);

    g->Stop();
    StkClockResetReads();
    FakeDisplayClearLog();
    StkClockAdvance(10000);
    g->RunFrame();
    EXPECT_EQ(0u, StkClockReads());
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, LevelChangeTakesEffectWithTheNextPiece)
{
    FirstPiece();
    g->lines = 9;
    for (int x = 0; x < WELL_COLS; x++)
        if (x < 3 || x > 4)
            g->field[x][21] = 4;
    Give(0, 3, 20);                   // fills the hole
    g->curTime = StkTickCount();
    g->nextFrame = g->curTime;
    g->delay_drop = 1500;
    g->RunFrame();                    // lands, clears, level 1
    EXPECT_EQ(1u, g->level);
    EXPECT_EQ(1440, g->delay_drop_normal);
    EXPECT_EQ(1500, g->delay_drop);   // not yet
    StkClockAdvance(50);
    g->RunFrame();
    EXPECT_EQ(1440, g->delay_drop);
    EXPECT_EQ(StkTickCount() + 1440, g->nextFrame);
}

TEST_F(GridTest, SecondGameWaitsForTheScheduleLeftByTheFirst)
{
    FirstPiece();
    g->Stop();
    DWORD left = g->nextFrame;
    ASSERT_EQ(kStart + 1500, left);
    StkClockAdvance(700);
    g->Reset();
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    StkClockAdvance(800);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

TEST_F(GridTest, FirstGameAfterALongUptimeStartsAtOnce)
{
    // Past 2^31 ms of uptime a signed comparison with the initial
    // nextFrame of 0 would wait for weeks.
    StkClockDrive(1, 0x90000000u);
    g->Reset();
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

TEST_F(GridTest, TickWrapDoesNotStallTheGame)
{
    StkClockDrive(1, 0xFFFFFFFFu - 1000);
    g->Reset();
    g->RunFrame();
    ASSERT_NE(nullptr, g->pActiveTetrad);
    ASSERT_LT(g->nextFrame, g->curTime);   // scheduled past the wrap
    LONG y = g->pActiveTetrad->pos.y;
    StkClockAdvance(1000);            // 0xFFFFFFFF: not due yet
    g->RunFrame();
    EXPECT_EQ(y, g->pActiveTetrad->pos.y);
    StkClockAdvance(500);             // wrapped, due
    g->RunFrame();
    EXPECT_EQ(y + 1, g->pActiveTetrad->pos.y);
    // And the game goes on after the wrap.
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(y + 2, g->pActiveTetrad->pos.y);
}

TEST_F(GridTest, StepScheduledJustBeforeTheWrapIsDueAfterIt)
{
    // A plain greater-than test would wait for the 49.7 days of the wrap.
    FirstPiece();
    LONG y = g->pActiveTetrad->pos.y;
    g->curTime = 0xFFFFFF00u;
    g->nextFrame = 0xFFFFFFF0u;
    StkClockDrive(1, 0xFFFFFFEFu);
    g->RunFrame();
    EXPECT_EQ(y, g->pActiveTetrad->pos.y);
    StkClockDrive(1, 5);
    g->RunFrame();
    EXPECT_EQ(y + 1, g->pActiveTetrad->pos.y);
    EXPECT_EQ(5u + 1500, g->nextFrame);
}

TEST_F(GridTest, PieceAllocationFailureRetriesInsteadOfCrashing)
{
    g->Reset();
    g_failPieceAlloc = 1;
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(1, g->Active());
    EXPECT_EQ(kStart + 50, g->nextFrame);
    // Memory back: the game goes on at the next try.
    g_failPieceAlloc = 0;
    StkClockAdvance(50);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    EXPECT_NE(nullptr, g->pNextTetrad);

    // Only the waiting piece fails: the game goes on without a preview and
    // makes it when the next piece is taken.
    delete g->pActiveTetrad;
    g->pActiveTetrad = nullptr;
    g_failPieceAlloc = 1;
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    g_failPieceAlloc = 0;
    delete g->pActiveTetrad;
    g->pActiveTetrad = nullptr;
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    EXPECT_NE(nullptr, g->pNextTetrad);
}

// ---- Line clearing and scoring --------------------------------------------

TEST_F(GridTest, LandingThatCompletesOneRowScoresAHundred)
{
    g->Reset();
    for (int x = 0; x < WELL_COLS; x++)
        if (x < 4 || x > 7)
            g->field[x][21] = 2;
    g->field[0][20] = 6;              // above the cleared row
    Tetrad* t = Give(1, 5, 21);       // flat line, columns 4..7, row 21
    (void)t;
    FakeDisplayClearLog();
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(1u, g->lines);
    EXPECT_EQ(100u, g->score);
    EXPECT_EQ(0u, g->level);
    EXPECT_EQ(6, g->field[0][21]);    // moved down
    EXPECT_EQ(1, CountCells(6));
    EXPECT_EQ(WELL_COLS * WELL_ROWS - 1, CountCells(0));
    // Only the cleared span is repainted, and the score panel.
    EXPECT_EQ(std::vector<int>{21}, FakeDisplayRedraws());
    EXPECT_EQ(1, FakeDisplayCount(CALL_REPAINT_SCORE));
    // The repainted row shows the well without the landed piece.
    for (int x = 0; x < WELL_COLS; x++)
        EXPECT_EQ(g->field[x][21], FakeDisplayScreen().cell[x][21]) << x;
}

TEST_F(GridTest, FourRowsAtOnceScoreTwoThousand)
{
    g->Reset();
    for (int y = 18; y <= 21; y++)
        FillRow(y, 11, 5);
    g->field[3][17] = 1;
    Give(1, 11, 17);
    g->RotateTetrad(1);               // upright in column 11, rows 16..19
    ASSERT_EQ(1, g->pActiveTetrad->currentrot);
    ASSERT_EQ(0, g->DropTetrad());    // rows 17..20
    ASSERT_EQ(0, g->DropTetrad());    // rows 18..21
    FakeDisplayClearLog();
    ASSERT_EQ(1, g->DropTetrad());
    EXPECT_EQ(4u, g->lines);
    EXPECT_EQ(2000u, g->score);
    EXPECT_EQ(1, g->field[3][21]);
    EXPECT_EQ(WELL_COLS * WELL_ROWS - 1, CountCells(0));
    EXPECT_EQ((std::vector<int>{18, 19, 20, 21}), FakeDisplayRedraws());
}

TEST_F(GridTest, PointsForTwoAndThreeRows)
{
    g->IncLines(2);
    EXPECT_EQ(500u, g->score);
    g->IncLines(3);
    EXPECT_EQ(1500u, g->score);
    g->IncLines(1);
    EXPECT_EQ(1600u, g->score);
    EXPECT_EQ(6u, g->lines);
    EXPECT_EQ(3, FakeDisplayCount(CALL_REPAINT_SCORE));
    // Nonsense counts change nothing and repaint nothing.
    g->IncLines(0);
    g->IncLines(-3);
    EXPECT_EQ(6u, g->lines);
    EXPECT_EQ(3, FakeDisplayCount(CALL_REPAINT_SCORE));
}

TEST_F(GridTest, RowsNineteenAndTwentyOneClearWhileTwentyStays)
{
    g->Reset();
    // Rows 16..21 are settled with column 0 open; rows 18 and 20 also miss
    // column 5, so an upright line dropped into column 0 (rows 18..21)
    // completes only rows 19 and 21.
    for (int y = 16; y <= 21; y++)
        FillRow(y, 0, 1 + (y % 7));
    g->field[5][18] = 0;
    g->field[5][20] = 0;
    g->field[9][16] = 0;
    g->field[2][17] = 0;
    int before[WELL_COLS][WELL_ROWS];
    std::memcpy(before, g->field, sizeof before);
    Tetrad* t = Give(1, 0, 19);
    g->RotateTetrad(1);               // upright: column 0, rows 18..21
    ASSERT_EQ(1, t->currentrot);
    FakeDisplayClearLog();
    ASSERT_EQ(1, g->DropTetrad());
    before[0][18] = before[0][19] = before[0][20] = before[0][21] = 2;   // line colour 1
    for (int x = 0; x < WELL_COLS; x++) {
        EXPECT_EQ(before[x][20], g->field[x][21]) << x;   // 20 moves down one
        EXPECT_EQ(before[x][18], g->field[x][20]) << x;   // the rest by two
        EXPECT_EQ(before[x][17], g->field[x][19]) << x;
        EXPECT_EQ(before[x][16], g->field[x][18]) << x;
    }
    EXPECT_TRUE(g->isEmptyRow(17));
    EXPECT_TRUE(g->isEmptyRow(16));
    EXPECT_EQ(2u, g->lines);
    EXPECT_EQ(500u, g->score);
    // The span of cleared rows, 19..21, is repainted at once; the score
    // panel once.
    EXPECT_EQ((std::vector<int>{19, 20, 21}), FakeDisplayRedraws());
    EXPECT_EQ(1, FakeDisplayCount(CALL_REPAINT_SCORE));
}

TEST_F(GridTest, CheckClearLinesReportsBottomAndTopRow)
{
    for (int y = 19; y <= 21; y++)
        FillRow(y, 0);
    g->field[0][20] = 0;
    g->field[4][20] = 0;
    Tetrad* t = Give(1, 0, 20);
    // Cells in rows 19, 20, 21 and 21 again: a row met twice counts once.
    t->blocks[0] = {0, -1};
    t->blocks[1] = {0, 0};
    t->blocks[2] = {0, 1};
    t->blocks[3] = {0, 1};
    g->field[0][19] = g->field[0][20] = g->field[0][21] = 2;
    int l[2] = {-5, -5};
    ASSERT_EQ(1, g->CheckClearLines(l));
    EXPECT_EQ(21, l[0]);
    EXPECT_EQ(19, l[1]);
}

TEST_F(GridTest, FullRowZeroClearsLikeAnyOther)
{
    for (int y = 0; y < WELL_ROWS; y++)
        FillRow(y, y == 0 ? -1 : (y % WELL_COLS), 4);
    Tetrad* t = Give(0, 0, 0);        // its cells: rows 0 and 1
    (void)t;
    int l[2] = {-5, -5};
    ASSERT_EQ(1, g->CheckClearLines(l));
    EXPECT_EQ(0, l[0]);
    EXPECT_EQ(0, l[1]);
    EXPECT_TRUE(g->isEmptyRow(0));
    // Nothing above row 0 to move; the rest stays.
    for (int y = 1; y < WELL_ROWS; y++)
        EXPECT_EQ(0, g->field[y % WELL_COLS][y]) << y;
    EXPECT_EQ(1u, g->lines);
}

TEST_F(GridTest, NonEmptyRowZeroMovesDownWhenRowsBelowClear)
{
    for (int y = 0; y < WELL_ROWS; y++)
        FillRow(y, y == 1 ? -1 : (y % WELL_COLS), 4);
    g->field[0][0] = 7;
    g->field[5][0] = 0;
    Give(0, 3, 0);                    // rows 0..1
    int l[2];
    ASSERT_EQ(1, g->CheckClearLines(l));
    EXPECT_EQ(1, l[0]);
    EXPECT_EQ(7, g->field[0][1]);
    EXPECT_EQ(0, g->field[5][1]);
    EXPECT_TRUE(g->isEmptyRow(0));
}

TEST_F(GridTest, NoClearLeavesTheOutputAlone)
{
    FillRow(21, 3);
    Give(0, 5, 20);
    int l[2] = {-7, -9};
    EXPECT_EQ(0, g->CheckClearLines(l));
    EXPECT_EQ(-7, l[0]);
    EXPECT_EQ(-9, l[1]);
    EXPECT_EQ(0u, g->lines);
    EXPECT_EQ(0, FakeDisplayCount(CALL_REPAINT_SCORE));
}

TEST_F(GridTest, TenthLineRaisesTheLevel)
{
    for (int i = 0; i < 9; i++)
        g->IncLines(1);
    EXPECT_EQ(0u, g->level);
    EXPECT_EQ(1500, g->delay_drop_normal);
    g->IncLines(1);
    EXPECT_EQ(1u, g->level);
    EXPECT_EQ(1440, g->delay_drop_normal);
}

TEST_F(GridTest, ThreeRowsFromEightToElevenRaiseTheLevelOnce)
{
    g->lines = 8;
    g->IncLines(3);
    EXPECT_EQ(11u, g->lines);
    EXPECT_EQ(1u, g->level);
    EXPECT_EQ(1440, g->delay_drop_normal);
}

TEST_F(GridTest, FallIntervalFloorsAtAHundredFromLevelTwentyFour)
{
    for (int level = 1; level <= 40; level++) {
        for (int i = 0; i < 10; i++)
            g->IncLines(1);
        ASSERT_EQ((DWORD)level, g->level);
        int want = 1500 - 60 * level;
        if (want < 100)
            want = 100;
        EXPECT_EQ(want, g->delay_drop_normal) << level;
    }
    EXPECT_EQ(400u, g->lines);
}

TEST_F(GridTest, SortOrdersLargestFirst)
{
    int a[4] = {3, 21, 7, 19};
    g->sort(a, 4);
    EXPECT_EQ((std::vector<int>{21, 19, 7, 3}), std::vector<int>(a, a + 4));
    int b[4] = {1, 2, 3, 4};
    g->sort(b, 3);                    // only the first three
    EXPECT_EQ((std::vector<int>{3, 2, 1, 4}), std::vector<int>(b, b + 4));
    int c[1] = {5};
    g->sort(c, 1);
    g->sort(c, 0);
    EXPECT_EQ(5, c[0]);
}

TEST_F(GridTest, DropRowsMovesTheBandAndStopsAtAnEmptyRow)
{
    g->field[2][5] = 1;               // above an empty row: stays
    g->field[3][7] = 2;
    g->field[4][8] = 3;
    g->DropRows(8, 2);
    EXPECT_EQ(3, g->field[4][10]);
    EXPECT_EQ(2, g->field[3][9]);
    EXPECT_EQ(1, g->field[2][5]);
    EXPECT_TRUE(g->isEmptyRow(7));
    EXPECT_TRUE(g->isEmptyRow(8));
    // A start above row 0 moves nothing.
    g->field[0][0] = 6;
    g->DropRows(-1, 1);
    EXPECT_EQ(6, g->field[0][0]);
    // Row 0 moves like any other.
    g->DropRows(0, 3);
    EXPECT_EQ(6, g->field[0][3]);
    EXPECT_EQ(0, g->field[0][0]);
}

TEST_F(GridTest, RowPredicates)
{
    EXPECT_TRUE(g->isEmptyRow(21));
    EXPECT_FALSE(g->isFullRow(21));
    FillRow(21, 11);
    EXPECT_FALSE(g->isEmptyRow(21));
    EXPECT_FALSE(g->isFullRow(21));
    g->field[11][21] = 7;
    EXPECT_TRUE(g->isFullRow(21));
    g->ClearRow(21);
    EXPECT_TRUE(g->isEmptyRow(21));
}

// ---- Game over -------------------------------------------------------------

TEST_F(GridTest, BlockedNewPieceEndsTheGameWithTheFill)
{
    g->Reset();
    g->field[6][0] = 1;               // every shape covers (6, 0)
    srand(5);
    int roll = rand() % 7;
    static const DWORD typeOfRoll[7] = {0, 1, 6, 2, 3, 4, 5};
    srand(5);
    FakeDisplayClearLog();
    g->RunFrame();
    EXPECT_EQ(0, g->Active());
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_EQ(1u, g->stats[typeOfRoll[roll]]);
    int c_last = 0;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int c = g->field[x][y];
            EXPECT_GE(c, 1);
            EXPECT_LE(c, 7);
            if (x > 0) {
                EXPECT_NE(g->field[x - 1][y], c) << x << "," << y;
            }
            EXPECT_NE(c_last, c) << x << "," << y;
            c_last = c;
        }
    // Next panel and well for the entering piece, then the well with the fill.
    ASSERT_EQ(3u, FakeDisplayLog().size());
    EXPECT_EQ(CALL_REPAINT_NEXT, FakeDisplayLog()[0].kind);
    EXPECT_EQ(REDRAW_ALL, FakeDisplayLog()[1].line);
    EXPECT_EQ(REDRAW_ALL, FakeDisplayLog()[2].line);
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
    // The fill stays while no game runs, and frames do nothing.
    int fill[WELL_COLS][WELL_ROWS];
    std::memcpy(fill, g->field, sizeof fill);
    StkClockAdvance(10000);
    g->RunFrame();
    EXPECT_EQ(0, std::memcmp(fill, g->field, sizeof fill));
    g->Reset();
    EXPECT_EQ(WELL_COLS * WELL_ROWS, CountCells(0));
}

TEST_F(GridTest, GameOverFillFollowsTheGenerator)
{
    // Rebuild the fill from the same seed independently.
    g->Reset();
    g->field[6][0] = 1;
    srand(11);
    int expect[WELL_COLS][WELL_ROWS];
    rand();
    rand();                           // the falling and the waiting piece
    int c_last = 0;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int c;
            do
                c = rand() % 7 + 1;
            while ((x > 0 && c == expect[x - 1][y]) || c == c_last);
            expect[x][y] = c_last = c;
        }
    srand(11);
    g->RunFrame();
    EXPECT_EQ(0, std::memcmp(expect, g->field, sizeof expect));
}

// ---- Soak ------------------------------------------------------------------

namespace {

// Independent model of a landing: the cells written, full rows removed,
// everything above them moved down (without relying on the band rule).
struct Expect {
    int field[WELL_COLS][WELL_ROWS];
    int cleared;
};

Expect ModelLanding(const StakkaGrid& g)
{
    Expect e;
    std::memcpy(e.field, g.field, sizeof e.field);
    const Tetrad* t = g.pActiveTetrad;
    for (int k = 0; k < 4; k++)
        e.field[t->pos.x + t->blocks[k].x][t->pos.y + t->blocks[k].y] = t->color + 1;
    int out[WELL_COLS][WELL_ROWS] = {};
    int dst = WELL_ROWS - 1;
    e.cleared = 0;
    for (int y = WELL_ROWS - 1; y >= 0; y--) {
        int full = 1;
        for (int x = 0; x < WELL_COLS; x++)
            full &= e.field[x][y] != 0;
        if (full) {
            e.cleared++;
            continue;
        }
        for (int x = 0; x < WELL_COLS; x++)
            out[x][dst] = e.field[x][y];
        dst--;
    }
    std::memcpy(e.field, out, sizeof out);
    return e;
}

int CanFall(const StakkaGrid& g)
{
    const Tetrad* t = g.pActiveTetrad;
    for (int k = 0; k < 4; k++) {
        LONG x = t->pos.x + t->blocks[k].x, y = t->pos.y + t->blocks[k].y + 1;
        if (y >= WELL_ROWS || g.field[x][y])
            return 0;
    }
    return 1;
}

int RollOfType(DWORD type)
{
    static const int roll[TETRAD_TYPES] = {0, 1, 3, 4, 5, 6, 2};
    return roll[type];
}

// A rough player for the soak: for each new piece it picks the orientation
// and column that leave the lowest stack with the fewest holes, so games
// last long enough to clear rows of every count and reach high levels.
struct Plan {
    int rot;
    LONG x;
};

Plan ChoosePlacement(const StakkaGrid& g)
{
    const Tetrad* t = g.pActiveTetrad;
    Plan best{t->currentrot, t->pos.x};
    double bestScore = -1e18;
    Tetrad* probe = CreateTetrad(RollOfType(t->type));
    for (int rot = 0; rot < probe->nrotations; rot++) {
        if (rot > 0) {
            POINT c[4];
            int nr;
            probe->Turned(1, c, &nr);
            for (int k = 0; k < 4; k++)
                probe->blocks[k] = c[k];
            probe->currentrot = nr;
        }
        for (LONG x = -2; x < WELL_COLS + 2; x++) {
            auto fits = [&](LONG y) {
                for (int k = 0; k < 4; k++) {
                    LONG cx = x + probe->blocks[k].x, cy = y + probe->blocks[k].y;
                    if (cx < 0 || cx >= WELL_COLS || cy < 0 || cy >= WELL_ROWS || g.field[cx][cy])
                        return false;
                }
                return true;
            };
            LONG y = t->pos.y;
            if (!fits(y))
                continue;
            while (fits(y + 1))
                y++;
            int f[WELL_COLS][WELL_ROWS];
            std::memcpy(f, g.field, sizeof f);
            for (int k = 0; k < 4; k++)
                f[x + probe->blocks[k].x][y + probe->blocks[k].y] = 1;
            int cleared = 0, aggregate = 0, holes = 0, bump = 0, prevH = -1;
            for (int row = 0; row < WELL_ROWS; row++) {
                int full = 1;
                for (int cx = 0; cx < WELL_COLS; cx++)
                    full &= f[cx][row] != 0;
                cleared += full;
            }
            for (int cx = 0; cx < WELL_COLS; cx++) {
                int h = 0, seen = 0;
                for (int row = 0; row < WELL_ROWS; row++) {
                    if (f[cx][row] && !seen) {
                        seen = 1;
                        h = WELL_ROWS - row;
                    } else if (!f[cx][row] && seen) {
                        holes++;
                    }
                }
                aggregate += h;
                if (prevH >= 0)
                    bump += std::abs(h - prevH);
                prevH = h;
            }
            double score = 3.0 * cleared * cleared - 0.5 * aggregate - 3.5 * holes - 0.2 * bump;
            if (score > bestScore) {
                bestScore = score;
                best.rot = rot;
                best.x = x;
            }
        }
    }
    delete probe;
    return best;
}

// The cells of every orientation of every shape, by type, made once.
struct OrientationTable {
    POINT cells[TETRAD_TYPES][MAX_ROTATIONS][TETRAD_CELLS];
};

const OrientationTable& Orientations()
{
    static OrientationTable table;
    static bool made = false;
    if (!made) {
        for (int roll = 0; roll < TETRAD_TYPES; roll++) {
            Tetrad* t = CreateTetrad(roll);
            for (int r = 0; r < t->nrotations; r++) {
                for (int k = 0; k < 4; k++)
                    table.cells[t->type][r][k] = t->blocks[k];
                POINT c[4];
                int nr;
                if (t->Turned(1, c, &nr)) {
                    for (int k = 0; k < 4; k++)
                        t->blocks[k] = c[k];
                    t->currentrot = nr;
                }
            }
            delete t;
        }
        made = true;
    }
    return table;
}

struct Totals {
    long games = 0, steps = 0, pieces = 0, clears[5] = {0, 0, 0, 0, 0};
};

void CheckInvariants(const StakkaGrid& g, DWORD lines, DWORD score, DWORD pieces, bool gap,
                     long step)
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            ASSERT_TRUE(g.field[x][y] >= 0 && g.field[x][y] <= 7) << step;
    if (const Tetrad* t = g.pActiveTetrad) {
        ASSERT_TRUE(t->currentrot >= 0 && t->currentrot < t->nrotations) << step;
        for (int k = 0; k < 4; k++) {
            LONG x = t->pos.x + t->blocks[k].x, y = t->pos.y + t->blocks[k].y;
            ASSERT_TRUE(x >= 0 && x < WELL_COLS && y >= 0 && y < WELL_ROWS) << step;
            ASSERT_EQ(0, g.field[x][y]) << step;
        }
        // Its cells are exactly its orientation's as the shape defines it.
        ASSERT_LT(t->type, (DWORD)TETRAD_TYPES);
        const POINT* want = Orientations().cells[t->type][t->currentrot];
        for (int k = 0; k < 4; k++) {
            ASSERT_EQ(want[k].x, t->blocks[k].x) << step;
            ASSERT_EQ(want[k].y, t->blocks[k].y) << step;
        }
    }
    if (g.active) {
        // Settled cells form one unbroken band of rows at the bottom.
        int seenEmpty = 0;
        for (int y = WELL_ROWS - 1; y >= 0; y--) {
            int empty = 1;
            for (int x = 0; x < WELL_COLS; x++)
                empty &= g.field[x][y] == 0;
            if (empty) {
                seenEmpty = 1;
            } else {
                ASSERT_FALSE(seenEmpty) << "gap in the stack at step " << step;
            }
        }
    }
    ASSERT_EQ(lines, g.lines) << step;
    ASSERT_EQ(score, g.score) << step;
    ASSERT_EQ(g.lines / 10, g.level) << step;
    int want = 1500 - 60 * (int)g.level;
    ASSERT_EQ(want < 100 ? 100 : want, g.delay_drop_normal) << step;
    // Every piece taken is counted once and shown in the next panel once.
    DWORD counted = 0;
    for (int t = 0; t < TETRAD_TYPES; t++)
        counted += g.stats[t];
    ASSERT_EQ(pieces, counted) << step;
    if (!gap) {
        ASSERT_TRUE(FakeDisplayShowsTruth(g)) << step;
    }
}

} // namespace

TEST_F(GridTest, SoakRandomGamesKeepEveryInvariant)
{
    const int kGames = 2000;
    const long kGreedyPieces = 80;    // a played game is stopped after this many
    static const DWORD kPoints[5] = {0, 100, 500, 1000, 2000};
    std::mt19937 rng(20261206);
    Totals tot;
    DWORD lines = 0, score = 0, nextRepaints = 0, scoreRepaints = 0, clearings = 0;
    DWORD t0 = GetTickCount();
    srand(424242);
    FakeDisplayClearLog();
    for (int game = 0; game < kGames; game++) {
        // A third of the games start shortly before the tick count wraps.
        DWORD base = (game % 3 == 0) ? 0xFFFFFFFFu - (rng() % 20000) : (DWORD)rng();
        StkClockDrive(1, base);
        g->Reset();
        bool gap = false;
        long steps = 0;
        // Odd games are played with intent (plus noise), even ones at random.
        const bool greedy = game % 2 == 1;
        const long firstPiece = tot.pieces;
        long plannedFor = -1;
        Plan plan{0, 0};
        while (g->Active()) {
            ASSERT_LT(steps, 400000) << "game " << game << " stalled";
            steps++;
            unsigned r = rng() % 100;
            // Pauses are short: most of the play happens unpaused.
            if (g->paused && rng() % 4 == 0)
                r = 97;
            if (r < 55 || r >= 99) {
                // Time passes: mostly exactly to the next step, sometimes
                // less, sometimes not at all.
                DWORD ahead = g->nextFrame - StkTickCount();
                if (ahead > 1500 || r >= 99)
                    ahead = 0;
                StkClockAdvance((rng() % 4) ? ahead : rng() % (ahead + 1));
                bool willLand = g->pActiveTetrad && !g->paused &&
                                StkTimeReached(StkTickCount(), g->curTime, g->nextFrame) &&
                                !CanFall(*g);
                Expect e{};
                if (willLand)
                    e = ModelLanding(*g);
                Tetrad* before = g->pActiveTetrad;
                g->RunFrame();
                if (willLand) {
                    ASSERT_EQ(nullptr, g->pActiveTetrad);
                    ASSERT_EQ(0, std::memcmp(e.field, g->field, sizeof e.field))
                        << "landing at step " << steps << " of game " << game;
                    lines += e.cleared;
                    score += kPoints[e.cleared];
                    tot.clears[e.cleared]++;
                    clearings += e.cleared > 0;
                    gap = e.cleared > 0;
                } else if (!before && (g->pActiveTetrad || !g->Active())) {
                    gap = false;
                    tot.pieces++;
                }
            } else if (r < 97 && greedy && g->pActiveTetrad && rng() % 10) {
                const Tetrad* t = g->pActiveTetrad;
                if (plannedFor != tot.pieces) {
                    plannedFor = tot.pieces;
                    plan = ChoosePlacement(*g);
                    g->KeyUp(VK_DOWN, kKeys);
                    g->KeyUp(VK_UP, kKeys);
                } else if (t->currentrot != plan.rot) {
                    if (g->rotating)
                        g->KeyUp(VK_UP, kKeys);
                    else
                        g->KeyDown(VK_UP, kKeys);
                } else if (t->pos.x != plan.x) {
                    g->KeyDown(t->pos.x < plan.x ? VK_RIGHT : VK_LEFT, kKeys);
                } else {
                    g->KeyDown(VK_DOWN, kKeys);
                }
            } else if (r < 97) {
                UINT vk = kKeys[rng() % NUM_KEYS];
                if (rng() % 3 == 0)
                    g->KeyUp(vk, kKeys);
                else
                    g->KeyDown(vk, kKeys);
            } else if (r < 98) {
                if (g->paused || rng() % 8 == 0)
                    g->TogglePause();
            } else if (rng() % 50 == 0 || tot.pieces - firstPiece > kGreedyPieces) {
                g->Stop();
                gap = false;
            }
            nextRepaints += FakeDisplayCount(CALL_REPAINT_NEXT);
            scoreRepaints += FakeDisplayCount(CALL_REPAINT_SCORE);
            for (const FakeCall& c : FakeDisplayLog())
                ASSERT_TRUE(c.kind != CALL_REDRAW || c.line == REDRAW_ALL ||
                            (c.line >= -2 && c.line <= 23)) << c.line;
            FakeDisplayClearLog();
            ASSERT_EQ(clearings, scoreRepaints) << steps;
            CheckInvariants(*g, lines, score, nextRepaints, gap, steps);
            if (HasFatalFailure())
                return;
        }
        tot.games++;
        tot.steps += steps;
    }
    DWORD ms = GetTickCount() - t0;
    std::printf("[ soak     ] %ld games, %ld steps, %ld pieces, clears of 1/2/3/4 rows: "
                "%ld/%ld/%ld/%ld, lines %lu, level %lu, %lu ms\n",
                tot.games, tot.steps, tot.pieces, tot.clears[1], tot.clears[2], tot.clears[3],
                tot.clears[4], (unsigned long)g->lines, (unsigned long)g->level,
                (unsigned long)ms);
    EXPECT_EQ(kGames, tot.games);
    EXPECT_EQ((DWORD)tot.pieces, nextRepaints);
    // The random play must reach the cases worth soaking.
    EXPECT_GT(tot.clears[1], 0);
    EXPECT_GT(tot.clears[2], 0);
    EXPECT_GT(tot.clears[3], 0);
    EXPECT_GT(tot.clears[4], 0);
    EXPECT_GT(g->level, 24u);         // past the interval floor
}

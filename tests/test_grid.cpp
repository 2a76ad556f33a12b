// Tests of the playfield's game rules: movement, keys, the frame loop,
// line clearing, scoring, game over, and a long soak of random games.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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
const DWORD kTypeOfRoll[7] = {0, 1, 6, 2, 3, 4, 5};

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
    // Like Give, with the next step due now.
    Tetrad* GiveDue(int roll, LONG x, LONG y)
    {
        Tetrad* t = Give(roll, x, y);
        g->curTime = g->nextFrame = StkTickCount();
        return t;
    }
    void DropActive()
    {
        delete g->pActiveTetrad;
        g->pActiveTetrad = nullptr;
    }
    void FillRow(int y, int hole = -1, int v = 1)
    {
        for (int x = 0; x < WELL_COLS; x++)
            g->field[x][y] = (x == hole) ? 0 : v;
    }
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
    static std::vector<int> Band(int y) { return {y - 2, y - 1, y, y + 1, y + 2}; }
};

const int kAllCells = WELL_COLS * WELL_ROWS;

} // namespace

// ---- Construction, starting, stopping, pausing ----------------------------

TEST_F(GridTest, NewPlayfieldIsIdleEmptyAndComposedOnce)
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
    EXPECT_EQ(kAllCells, CountCells(0));
    delete g;
    FakeDisplayClearLog();
    g = new StakkaGrid(nullptr, nullptr, nullptr);
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
}

TEST_F(GridTest, ResetAndStopEmptyTheWellAndRepaintItOnly)
{
    FillRow(21);
    g->Reset();
    EXPECT_EQ(1, g->Active());
    EXPECT_EQ(kAllCells, CountCells(0));
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    g->RunFrame();
    FillRow(21, 3);
    FakeDisplayClearLog();
    g->Stop();
    EXPECT_EQ(0, g->Active());
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_EQ(kAllCells, CountCells(0));
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_EQ(0, FakeDisplayCount(CALL_REPAINT_NEXT));
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
    // Without a game, Stop and pause do nothing at all.
    FillRow(21, 0);
    FakeDisplayClearLog();
    g->Stop();
    g->TogglePause();
    EXPECT_EQ(0, g->paused);
    EXPECT_EQ(11, CountCells(1));
    EXPECT_TRUE(FakeDisplayLog().empty());
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
    g->TogglePause();                 // cannot be switched while stopped
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
    StkClockAdvance(100000);
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    g->TogglePause();
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    EXPECT_EQ(1320, g->delay_drop);   // the fall speed reached runs on
}

// ---- Random choice ---------------------------------------------------------

TEST_F(GridTest, PiecesFollowTheGeneratorModuloSeven)
{
    // The first roll falls, the second waits; the waiting piece is moved,
    // not copied, when it enters.
    srand(77);
    int r1 = rand() % 7, r2 = rand() % 7, r3 = rand() % 7;
    srand(77);
    FirstPiece();
    EXPECT_EQ(kTypeOfRoll[r1], g->pActiveTetrad->type);
    EXPECT_EQ(kTypeOfRoll[r2], g->pNextTetrad->type);
    Tetrad* waiting = g->pNextTetrad;
    DropActive();
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(waiting, g->pActiveTetrad);
    EXPECT_EQ(kTypeOfRoll[r3], g->pNextTetrad->type);
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
    // Near the top, bands above row 0 are passed on for the display to ignore.
    Give(2, 6, 1);
    FakeDisplayClearLog();
    g->ShiftTetrad(1);
    EXPECT_EQ((std::vector<int>{-1, 0, 1, 2, 3}), FakeDisplayRedraws());
}

TEST_F(GridTest, ShiftIsRefusedAtBothEdgesAndBySettledCells)
{
    // roll, x at the left wall, x at the right wall
    const int edges[][3] = {{0, 0, 10}, {1, 1, 9}};
    for (const auto& e : edges) {
        Tetrad* t = Give(e[0], e[1], 10);
        g->ShiftTetrad(-1);
        EXPECT_EQ(e[1], t->pos.x);
        t->pos.x = e[2];
        g->ShiftTetrad(+1);
        EXPECT_EQ(e[2], t->pos.x);
    }
    Tetrad* t = Give(0, 5, 10);       // columns 5..6, rows 10..11
    g->field[4][11] = 3;
    g->ShiftTetrad(-1);
    g->field[7][10] = 3;
    g->ShiftTetrad(+1);
    EXPECT_EQ(5, t->pos.x);
    EXPECT_TRUE(FakeDisplayLog().empty());
}

TEST_F(GridTest, BrokenCallsAreHarmlessAndStayInsideTheWell)
{
    Tetrad* t = Give(2, 5, 10);
    for (int dir : {0, 2, -2, 7}) {
        g->ShiftTetrad(dir);
        g->RotateTetrad(dir);
    }
    EXPECT_EQ(5, t->pos.x);
    EXPECT_EQ(0, t->currentrot);
    DropActive();
    g->ShiftTetrad(-1);
    g->RotateTetrad(1);
    g->SetDelayDropFast();
    EXPECT_EQ(0, g->DropTetrad());
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_TRUE(FakeDisplayLog().empty());
    // A piece placed partly outside the well (only a broken caller could
    // do it) is reported blocked and lands without writing outside.
    Give(1, -1, -1);
    EXPECT_EQ(1, g->isTetradBlocked());
    EXPECT_EQ(1, g->DropTetrad());
    Give(1, 12, 30);
    EXPECT_EQ(1, g->isTetradBlocked());
    EXPECT_EQ(1, g->DropTetrad());
    for (int row : {-1, 22}) {
        EXPECT_EQ(0, g->isFullRow(row));
        EXPECT_EQ(0, g->isEmptyRow(row));
        g->ClearRow(row);
    }
    g->DropRows(21, 3);
    g->DropRows(40, 1);

    int a[4] = {3, 21, 7, 19};
    g->sort(a, 4);
    EXPECT_EQ((std::vector<int>{21, 19, 7, 3}), std::vector<int>(a, a + 4));
    int b[4] = {1, 2, 3, 4};
    g->sort(b, 3);                    // only the first three
    g->sort(b, 0);
    EXPECT_EQ((std::vector<int>{3, 2, 1, 4}), std::vector<int>(b, b + 4));

    g->field[2][5] = 1;               // above an empty row: stays
    g->field[3][7] = 2;
    g->field[4][8] = 3;
    g->DropRows(8, 2);
    EXPECT_EQ(3, g->field[4][10]);
    EXPECT_EQ(2, g->field[3][9]);
    EXPECT_EQ(1, g->field[2][5]);
    EXPECT_TRUE(g->isEmptyRow(7));
    EXPECT_TRUE(g->isEmptyRow(8));
    g->field[0][0] = 6;
    g->DropRows(-1, 1);               // a start above row 0 moves nothing
    EXPECT_EQ(6, g->field[0][0]);
    g->DropRows(0, 3);
    EXPECT_EQ(6, g->field[0][3]);
    EXPECT_EQ(0, g->field[0][0]);
}

// ---- Turning ---------------------------------------------------------------

TEST_F(GridTest, FlatLineInRowZeroCannotTurnButCanOneRowLower)
{
    Tetrad* t = Give(1, 6, 0);
    g->RotateTetrad(+1);
    g->RotateTetrad(-1);
    EXPECT_EQ(0, t->currentrot);
    EXPECT_EQ(-1, t->blocks[0].x);
    EXPECT_EQ(0, t->blocks[0].y);
    EXPECT_TRUE(FakeDisplayLog().empty());
    EXPECT_EQ(0, g->DropTetrad());
    g->RotateTetrad(+1);
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(0, t->blocks[0].x);
    EXPECT_EQ(-1, t->blocks[0].y);
}

TEST_F(GridTest, RefusedTurnKeepsOrientationWithoutNudging)
{
    Tetrad* t = Give(2, 6, 10);       // tee, would turn its left cell down
    g->field[6][11] = 5;
    g->RotateTetrad(+1);
    g->RotateTetrad(-1);              // orientation 3 puts a cell at (6, 11) too
    EXPECT_EQ(0, t->currentrot);
    EXPECT_EQ(-1, t->blocks[1].x);
    EXPECT_TRUE(FakeDisplayLog().empty());
    g->field[6][11] = 0;
    g->RotateTetrad(-1);
    EXPECT_EQ(3, t->currentrot);
    EXPECT_EQ(Band(10), FakeDisplayRedraws());

    t = Give(1, 6, 5);
    g->RotateTetrad(1);               // upright
    ASSERT_EQ(1, t->currentrot);
    for (LONG x : {0, 10}) {          // flat would reach column -1 / 12
        t->pos.x = x;
        g->RotateTetrad(x ? -1 : 1);
        EXPECT_EQ(1, t->currentrot);
        EXPECT_EQ(x, t->pos.x);
    }
}

// ---- Falling and landing ---------------------------------------------------

TEST_F(GridTest, PieceReachingTheBottomLandsAtTheNextStep)
{
    Tetrad* t = Give(2, 4, 20);       // tee: rows 19..20
    EXPECT_EQ(0, g->DropTetrad());    // now rows 20..21
    EXPECT_EQ(21, t->pos.y);
    EXPECT_EQ(Band(21), FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));
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
    // Still the falling piece until the frame loop deletes it.
    EXPECT_EQ(t, g->pActiveTetrad);
    Give(0, 8, 20);
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(4, CountCells(1));      // block colour 0 leaves 1s
}

TEST_F(GridTest, RestingPieceSlidesOverAGapAndFallsOnElseLands)
{
    g->Reset();
    for (int x = 0; x <= 6; x++)
        g->field[x][15] = 2;
    Tetrad* t = GiveDue(0, 5, 13);    // rows 13..14 on the ledge
    g->nextFrame += 1500;
    g->ShiftTetrad(1);
    g->ShiftTetrad(1);                // columns 7..8, over the gap
    EXPECT_EQ(7, t->pos.x);
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(t, g->pActiveTetrad);
    EXPECT_EQ(14, t->pos.y);
    EXPECT_EQ(kAllCells - 7, CountCells(0));
    Give(0, 5, 13);                   // left on the ledge it lands
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(1, g->field[5][14]);
    EXPECT_EQ(1, g->field[6][13]);
}

// ---- Keys ------------------------------------------------------------------

TEST_F(GridTest, KeysMoveAndTurnAndAHeldTurnKeyTurnsOnce)
{
    Tetrad* t = Give(2, 6, 10);
    g->KeyDown(VK_LEFT, kKeys);
    EXPECT_EQ(5, t->pos.x);
    g->KeyDown(VK_RIGHT, kKeys);
    g->KeyDown(VK_RIGHT, kKeys);
    EXPECT_EQ(7, t->pos.x);
    g->KeyDown(VK_UP, kKeys);
    g->KeyDown(VK_UP, kKeys);         // auto-repeat
    g->KeyDown(VK_CONTROL, kKeys);    // the other turn key is held off too
    EXPECT_EQ(1, t->currentrot);
    EXPECT_EQ(1, g->rotating);
    g->KeyUp(VK_CONTROL, kKeys);      // releasing the other key frees both
    EXPECT_EQ(0, g->rotating);
    g->KeyDown(VK_CONTROL, kKeys);
    EXPECT_EQ(0, t->currentrot);
    g->KeyUp(VK_LEFT, kKeys);         // other keys do not free turning
    EXPECT_EQ(1, g->rotating);
    g->KeyUp(VK_UP, kKeys);
    // A refused or impossible turn still holds the key.
    Give(0, 5, 5);
    g->KeyDown(VK_UP, kKeys);
    EXPECT_EQ(1, g->rotating);
    g->KeyUp(VK_UP, kKeys);
    t = Give(1, 6, 0);
    g->KeyDown(VK_CONTROL, kKeys);
    EXPECT_EQ(1, g->rotating);
    EXPECT_EQ(0, t->currentrot);
}

TEST_F(GridTest, OneKeyBoundToEverythingDoesEverythingLaterTestsWinning)
{
    const int all[NUM_KEYS] = {'Q', 'Q', 'Q', 'Q', 'Q'};
    Tetrad* t = Give(2, 6, 10);
    g->curTime = 5000;
    g->nextFrame = 6500;
    g->KeyDown('Q', all);
    EXPECT_EQ(7, t->pos.x);           // right wins over left
    EXPECT_EQ(3, t->currentrot);      // counter-clockwise wins
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
    g->curTime = 8025;
    g->KeyDown(VK_DOWN, kKeys);       // repeats change nothing
    EXPECT_EQ(8025u, g->nextFrame);
    // Releasing restores the normal interval but keeps the schedule.
    g->delay_drop_normal = 1380;
    g->KeyUp(VK_DOWN, kKeys);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_EQ(1380, g->delay_drop);
    EXPECT_EQ(8025u, g->nextFrame);
    // The schedule wraps with the tick count.
    g->curTime = 0xFFFFFFF0u;
    g->SetDelayDropFast();
    EXPECT_EQ(0x9u, g->nextFrame);
}

TEST_F(GridTest, DropKeyHeldThroughALandingDoesNotSpeedTheNextPiece)
{
    FirstPiece();
    g->KeyDown(VK_DOWN, kKeys);
    for (int guard = 0; g->pActiveTetrad && guard < 100; guard++) {
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

TEST_F(GridTest, StepsComeAFullIntervalApartAndLateOnesDoNotCatchUp)
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
    StkClockAdvance(5000);            // three intervals late
    g->RunFrame();
    g->RunFrame();
    EXPECT_EQ(y + 2, g->pActiveTetrad->pos.y);
    EXPECT_EQ(kStart + 6500 + 1500, g->nextFrame);
}

TEST_F(GridTest, LandingWaitsFiftyMillisecondsDuringWhichKeysDoNothing)
{
    FirstPiece();
    GiveDue(0, 3, 20);
    g->RunFrame();                    // lands
    EXPECT_EQ(nullptr, g->pActiveTetrad);
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
    FakeDisplayClearLog();
    g->TogglePause();
    EXPECT_EQ(1, g->paused);
    EXPECT_EQ(std::vector<int>{REDRAW_ALL}, FakeDisplayRedraws());
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));   // the pause screen
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
    EXPECT_TRUE(FakeDisplayShowsTruth(*g));   // the well again
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
    FillRow(21, 3, 4);
    g->field[4][21] = 0;
    GiveDue(0, 3, 20);                // fills the hole
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
    ASSERT_EQ(kStart + 1500, g->nextFrame);
    StkClockAdvance(700);
    g->Reset();
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    StkClockAdvance(800);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

TEST_F(GridTest, TickWrapDoesNotStallTheGame)
{
    // Past 2^31 ms of uptime a signed comparison with the initial
    // nextFrame of 0 would wait for weeks.
    StkClockDrive(1, 0x90000000u);
    FirstPiece();
    g->Stop();

    StkClockDrive(1, 0xFFFFFFFFu - 1000);
    FirstPiece();
    ASSERT_LT(g->nextFrame, g->curTime);   // scheduled past the wrap
    LONG y = g->pActiveTetrad->pos.y;
    StkClockAdvance(1000);            // 0xFFFFFFFF: not due yet
    g->RunFrame();
    EXPECT_EQ(y, g->pActiveTetrad->pos.y);
    StkClockAdvance(500);             // wrapped, due
    g->RunFrame();
    EXPECT_EQ(y + 1, g->pActiveTetrad->pos.y);
    StkClockAdvance(1500);
    g->RunFrame();
    EXPECT_EQ(y + 2, g->pActiveTetrad->pos.y);

    // A step scheduled just before the wrap is due just after it; a plain
    // greater-than test would wait 49.7 days.
    g->curTime = 0xFFFFFF00u;
    g->nextFrame = 0xFFFFFFF0u;
    StkClockDrive(1, 0xFFFFFFEFu);
    g->RunFrame();
    EXPECT_EQ(y + 2, g->pActiveTetrad->pos.y);
    StkClockDrive(1, 5);
    g->RunFrame();
    EXPECT_EQ(y + 3, g->pActiveTetrad->pos.y);
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
    g_failPieceAlloc = 0;
    StkClockAdvance(50);
    g->RunFrame();
    EXPECT_NE(nullptr, g->pActiveTetrad);
    EXPECT_NE(nullptr, g->pNextTetrad);
    // Only the waiting piece fails: no preview until the next piece enters.
    for (int fail : {1, 0}) {
        DropActive();
        g_failPieceAlloc = fail;
        StkClockAdvance(1500);
        g->RunFrame();
        EXPECT_NE(nullptr, g->pActiveTetrad);
        EXPECT_EQ(fail == 0, g->pNextTetrad != nullptr);
    }
}

// ---- Line clearing and scoring --------------------------------------------

TEST_F(GridTest, LandingThatCompletesOneRowScoresAHundred)
{
    g->Reset();
    FillRow(21, -1, 2);
    for (int x = 4; x <= 7; x++)
        g->field[x][21] = 0;
    g->field[0][20] = 6;              // above the cleared row
    Give(1, 5, 21);                   // flat line, columns 4..7, row 21
    FakeDisplayClearLog();
    EXPECT_EQ(1, g->DropTetrad());
    EXPECT_EQ(1u, g->lines);
    EXPECT_EQ(100u, g->score);
    EXPECT_EQ(0u, g->level);
    EXPECT_EQ(6, g->field[0][21]);    // moved down
    EXPECT_EQ(kAllCells - 1, CountCells(0));
    // Only the cleared span is repainted, and the score panel, showing the
    // well without the landed piece.
    EXPECT_EQ(std::vector<int>{21}, FakeDisplayRedraws());
    EXPECT_EQ(1, FakeDisplayCount(CALL_REPAINT_SCORE));
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
    ASSERT_EQ(0, g->DropTetrad());
    ASSERT_EQ(0, g->DropTetrad());    // rows 18..21
    FakeDisplayClearLog();
    ASSERT_EQ(1, g->DropTetrad());
    EXPECT_EQ(4u, g->lines);
    EXPECT_EQ(2000u, g->score);
    EXPECT_EQ(1, g->field[3][21]);
    EXPECT_EQ(kAllCells - 1, CountCells(0));
    EXPECT_EQ((std::vector<int>{18, 19, 20, 21}), FakeDisplayRedraws());
}

TEST_F(GridTest, PointsForTwoAndThreeRowsAndNonsenseCounts)
{
    g->IncLines(2);
    EXPECT_EQ(500u, g->score);
    g->IncLines(3);
    EXPECT_EQ(1500u, g->score);
    g->IncLines(1);
    EXPECT_EQ(1600u, g->score);
    EXPECT_EQ(6u, g->lines);
    EXPECT_EQ(3, FakeDisplayCount(CALL_REPAINT_SCORE));
    g->IncLines(0);
    g->IncLines(-3);
    EXPECT_EQ(6u, g->lines);
    EXPECT_EQ(3, FakeDisplayCount(CALL_REPAINT_SCORE));
    // A landing without a full row leaves the output and counters alone.
    FillRow(21, 3);
    Give(0, 5, 20);
    int l[2] = {-7, -9};
    EXPECT_EQ(0, g->CheckClearLines(l));
    EXPECT_EQ(-7, l[0]);
    EXPECT_EQ(-9, l[1]);
    EXPECT_EQ(6u, g->lines);
}

TEST_F(GridTest, RowsNineteenAndTwentyOneClearWhileTwentyStays)
{
    g->Reset();
    // Rows 16..21 are settled with column 0 open; rows 18 and 20 also miss
    // column 5, so an upright line in column 0 completes only 19 and 21.
    for (int y = 16; y <= 21; y++)
        FillRow(y, 0, 1 + (y % 7));
    g->field[5][18] = g->field[5][20] = 0;
    g->field[9][16] = g->field[2][17] = 0;
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
    EXPECT_EQ((std::vector<int>{19, 20, 21}), FakeDisplayRedraws());
    EXPECT_EQ(1, FakeDisplayCount(CALL_REPAINT_SCORE));
}

TEST_F(GridTest, FullRowZeroClearsLikeAnyOther)
{
    for (int y = 0; y < WELL_ROWS; y++)
        FillRow(y, y == 0 ? -1 : (y % WELL_COLS), 4);
    Give(0, 0, 0);                    // its cells: rows 0 and 1
    int l[2] = {-5, -5};
    ASSERT_EQ(1, g->CheckClearLines(l));
    EXPECT_EQ(0, l[0]);
    EXPECT_EQ(0, l[1]);
    EXPECT_TRUE(g->isEmptyRow(0));
    for (int y = 1; y < WELL_ROWS; y++)   // nothing above row 0 to move
        EXPECT_EQ(0, g->field[y % WELL_COLS][y]) << y;
    EXPECT_EQ(1u, g->lines);

}

TEST_F(GridTest, LevelsComeEveryTenLinesDownToTheIntervalFloor)
{
    for (int i = 0; i < 9; i++)
        g->IncLines(1);
    EXPECT_EQ(0u, g->level);
    EXPECT_EQ(1500, g->delay_drop_normal);
    g->IncLines(1);
    EXPECT_EQ(1u, g->level);
    EXPECT_EQ(1440, g->delay_drop_normal);
    // Three rows taking the lines from 8 to 11 raise the level once.
    g->lines = 8;
    g->level = 0;
    g->delay_drop_normal = 1500;
    g->IncLines(3);
    EXPECT_EQ(11u, g->lines);
    EXPECT_EQ(1u, g->level);
    EXPECT_EQ(1440, g->delay_drop_normal);
    // level: interval
    const int want[][2] = {{2, 1380}, {23, 120}, {24, 100}, {25, 100}, {40, 100}};
    int level = 1;
    for (const auto& w : want) {
        for (; level < w[0]; level++)
            for (int i = 0; i < 10; i++)
                g->IncLines(1);
        ASSERT_EQ((DWORD)w[0], g->level);
        EXPECT_EQ(w[1], g->delay_drop_normal) << w[0];
    }
}

// ---- Game over -------------------------------------------------------------

TEST_F(GridTest, BlockedNewPieceEndsTheGameWithTheFill)
{
    g->Reset();
    g->field[6][0] = 1;               // every shape covers (6, 0)
    srand(5);
    int roll = rand() % 7;
    srand(5);
    FakeDisplayClearLog();
    g->RunFrame();
    EXPECT_EQ(0, g->Active());
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_EQ(1u, g->stats[kTypeOfRoll[roll]]);
    int c_last = 0;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int c = g->field[x][y];
            EXPECT_TRUE(c >= 1 && c <= 7) << c;
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
    EXPECT_EQ(kAllCells, CountCells(0));
}

// ---- Soak ------------------------------------------------------------------

namespace {

typedef int Field[WELL_COLS][WELL_ROWS];

// 1 if piece `t`'s cells, placed at (px, py), lie inside the well on free cells.
int Fits(const Field f, const Tetrad* t, LONG px, LONG py)
{
    for (int k = 0; k < 4; k++) {
        LONG x = px + t->blocks[k].x, y = py + t->blocks[k].y;
        if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS || f[x][y])
            return 0;
    }
    return 1;
}

// Independent model of a landing at (px, py): the cells written, full rows
// removed, everything above them moved down. Returns the rows removed.
int Settle(const Field f, const Tetrad* t, LONG px, LONG py, Field out)
{
    Field w;
    std::memcpy(w, f, sizeof w);
    for (int k = 0; k < 4; k++)
        w[px + t->blocks[k].x][py + t->blocks[k].y] = t->color + 1;
    std::memset(out, 0, sizeof w);
    int dst = WELL_ROWS - 1, cleared = 0;
    for (int y = WELL_ROWS - 1; y >= 0; y--) {
        int full = 1;
        for (int x = 0; x < WELL_COLS; x++)
            full &= w[x][y] != 0;
        cleared += full;
        for (int x = 0; x < WELL_COLS && !full; x++)
            out[x][dst] = w[x][y];
        dst -= !full;
    }
    return cleared;
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
    static const int kRollOfType[TETRAD_TYPES] = {0, 1, 3, 4, 5, 6, 2};
    const Tetrad* t = g.pActiveTetrad;
    Plan best{t->currentrot, t->pos.x};
    double bestScore = -1e18;
    std::unique_ptr<Tetrad> probe(CreateTetrad(kRollOfType[t->type]));
    for (int rot = 0; rot < probe->nrotations; rot++) {
        POINT c[4];
        int nr;
        if (rot > 0 && probe->Turned(1, c, &nr)) {
            std::memcpy(probe->blocks, c, sizeof c);
            probe->currentrot = nr;
        }
        for (LONG x = -2; x < WELL_COLS + 2; x++) {
            LONG y = t->pos.y;
            if (!Fits(g.field, probe.get(), x, y))
                continue;
            while (Fits(g.field, probe.get(), x, y + 1))
                y++;
            Field f;
            int cleared = Settle(g.field, probe.get(), x, y, f);
            int aggregate = 0, holes = 0, bump = 0, prevH = -1;
            for (int cx = 0; cx < WELL_COLS; cx++) {
                int h = 0;
                for (int row = 0; row < WELL_ROWS; row++) {
                    if (f[cx][row] && !h)
                        h = WELL_ROWS - row;
                    else if (!f[cx][row] && h)
                        holes++;
                }
                aggregate += h;
                bump += prevH >= 0 ? std::abs(h - prevH) : 0;
                prevH = h;
            }
            double score = 3.0 * cleared * cleared - 0.5 * aggregate - 3.5 * holes - 0.2 * bump;
            if (score > bestScore) {
                bestScore = score;
                best = Plan{rot, x};
            }
        }
    }
    return best;
}

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
    }
    ASSERT_EQ(lines, g.lines) << step;
    ASSERT_EQ(score, g.score) << step;
    ASSERT_EQ(g.lines / 10, g.level) << step;
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
    long games = 0, steps = 0, pieces = 0, clears[5] = {0, 0, 0, 0, 0};
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
        long gameSteps = 0;
        // Odd games are played with intent (plus noise), even ones at random.
        const bool greedy = game % 2 == 1;
        const long firstPiece = pieces;
        long plannedFor = -1;
        Plan plan{0, 0};
        while (g->Active()) {
            ASSERT_LT(gameSteps, 400000) << "game " << game << " stalled";
            gameSteps++;
            unsigned r = rng() % 100;
            if (g->paused && rng() % 4 == 0)
                r = 97;                   // pauses are short
            if (r < 55 || r >= 99) {
                // Time passes: mostly exactly to the next step, sometimes
                // less, sometimes not at all.
                DWORD ahead = g->nextFrame - StkTickCount();
                if (ahead > 1500 || r >= 99)
                    ahead = 0;
                StkClockAdvance((rng() % 4) ? ahead : rng() % (ahead + 1));
                bool willLand = g->pActiveTetrad && !g->paused &&
                                StkTimeReached(StkTickCount(), g->curTime, g->nextFrame) &&
                                !Fits(g->field, g->pActiveTetrad, g->pActiveTetrad->pos.x,
                                      g->pActiveTetrad->pos.y + 1);
                Field want;
                int cleared = willLand ? Settle(g->field, g->pActiveTetrad, g->pActiveTetrad->pos.x,
                                                g->pActiveTetrad->pos.y, want)
                                       : 0;
                Tetrad* before = g->pActiveTetrad;
                g->RunFrame();
                if (willLand) {
                    ASSERT_EQ(nullptr, g->pActiveTetrad);
                    ASSERT_EQ(0, std::memcmp(want, g->field, sizeof want))
                        << "landing at step " << gameSteps << " of game " << game;
                    lines += cleared;
                    score += kPoints[cleared];
                    clears[cleared]++;
                    clearings += cleared > 0;
                    gap = cleared > 0;
                } else if (!before && (g->pActiveTetrad || !g->Active())) {
                    gap = false;
                    pieces++;
                }
            } else if (r < 97 && greedy && g->pActiveTetrad && rng() % 10) {
                const Tetrad* t = g->pActiveTetrad;
                if (plannedFor != pieces) {
                    plannedFor = pieces;
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
            } else if (rng() % 50 == 0 || pieces - firstPiece > kGreedyPieces) {
                g->Stop();
                gap = false;
            }
            nextRepaints += FakeDisplayCount(CALL_REPAINT_NEXT);
            scoreRepaints += FakeDisplayCount(CALL_REPAINT_SCORE);
            for (const FakeCall& c : FakeDisplayLog())
                ASSERT_TRUE(c.kind != CALL_REDRAW || c.line == REDRAW_ALL ||
                            (c.line >= -2 && c.line <= 23)) << c.line;
            FakeDisplayClearLog();
            ASSERT_EQ(clearings, scoreRepaints) << gameSteps;
            CheckInvariants(*g, lines, score, nextRepaints, gap, gameSteps);
            if (HasFatalFailure())
                return;
        }
        games++;
        steps += gameSteps;
    }
    std::printf("[ soak     ] %ld games, %ld steps, %ld pieces, clears of 1/2/3/4 rows: "
                "%ld/%ld/%ld/%ld, level %lu, %lu ms\n",
                games, steps, pieces, clears[1], clears[2], clears[3], clears[4],
                (unsigned long)g->level, (unsigned long)(GetTickCount() - t0));
    EXPECT_EQ(kGames, games);
    EXPECT_EQ((DWORD)pieces, nextRepaints);
    // The random play must reach the cases worth soaking.
    for (int n = 1; n <= 4; n++)
        EXPECT_GT(clears[n], 0) << n;
    EXPECT_GT(g->level, 24u);         // past the interval floor
}

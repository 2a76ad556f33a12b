// The playfield's game rules: moves and turns refused at walls and by settled cells, keys,
// the frame loop and its waits, levels, and a soak of random games (points, game over)
// checked landing by landing against a model of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <random>

#include "clock.h"
#include "grid.h"
#include "options.h"
#include "testkit.h"
#include "tetrad.h"

// Lets a test make piece allocation fail: the pieces are the only nothrow allocations.
static int g_failPieceAlloc = 0;
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return g_failPieceAlloc ? nullptr : std::malloc(n ? n : 1);
}

namespace {

const int* const kKeys = defaultkeys;
const DWORD kStart = 100000;
const DWORD kPoints[5] = {0, 100, 500, 1000, 2000};
typedef int Field[WELL_COLS][WELL_ROWS];

// StakkaGrid's display members, modelled: counts of the panel repaints and the well as the
// window shows it, recomposed band by band as Redraw() does.
struct Counts {
    int nextRepaints, scoreRepaints, redraws;
    int badBands; // neither REDRAW_ALL nor in -2..23
} fake;
Field shown;   // -1: never composed
int pauseShown;

// The well as the window must show it, or 0 if the piece lies outside the well.
int Truth(const StakkaGrid& g, Field out, int top, int bottom)
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = top; y <= bottom; y++)
            out[x][y] = g.field[x][y];
    if (const Tetrad* t = g.pActiveTetrad)
        for (const POINT& b : t->blocks) {
            const LONG x = t->pos.x + b.x, y = t->pos.y + b.y;
            if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS)
                return 0;
            if (y >= top && y <= bottom)
                out[x][y] = t->color + 1;
        }
    return 1;
}

// 1 if the window shows g's well and falling piece (or the pause screen) exactly.
int ShowsTruth(const StakkaGrid& g)
{
    Field want;
    if (pauseShown != g.paused || !Truth(g, want, 0, WELL_ROWS - 1))
        return 0;
    return g.paused || std::memcmp(want, shown, sizeof want) == 0;
}

} // namespace

StakkaGrid::StakkaGrid(HWND hwnd, HINSTANCE hinstDll, OPTIONS* op)
    : hwndParent(hwnd), hDll(hinstDll), opt(op)
{
    std::memset(shown, 0xFF, sizeof shown);
    pauseShown = 0;
    InitGameState();
    Setup();
}

StakkaGrid::~StakkaGrid()
{
    delete pActiveTetrad;
    delete pNextTetrad;
}

void StakkaGrid::Redraw(int line)
{
    fake.redraws++;
    if (line == REDRAW_ALL) {
        pauseShown = paused;
        if (!paused)
            Truth(*this, shown, 0, WELL_ROWS - 1);
        return;
    }
    if (line < -2 || line > WELL_ROWS + 1)
        fake.badBands++;
    if (line < 0 || line >= WELL_ROWS)
        return;
    pauseShown = paused;
    if (!paused)
        Truth(*this, shown, line, std::min(line + 1, WELL_ROWS - 1));
}

void StakkaGrid::RepaintNext() { fake.nextRepaints++; }
void StakkaGrid::RepaintScore() { fake.scoreRepaints++; }
void StakkaGrid::Draw(HDC) {}
int StakkaGrid::ToggleGrid() { return 0; }
int StakkaGrid::TogglePreview() { return 0; }
void StakkaGrid::UpdateGfxOptions() {}
void StakkaGrid::SetupGfxOptionData(GFXOPTIONSDATA&) {}

namespace {

struct GridTest : ::testing::Test {
    StakkaGrid* g = nullptr;
    void SetUp() override
    {
        StkClockDrive(1, kStart);
        srand(1);
        fake = {};
        g = new StakkaGrid(nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        delete g;
        g_failPieceAlloc = 0;
        StkClockDrive(0, 0);
    }
    // A piece of the given roll in play at (x, y), in a running game, its step due now.
    Tetrad* Give(int roll, LONG x, LONG y)
    {
        delete g->pActiveTetrad;
        Tetrad* t = CreateTetrad(roll);
        g->pActiveTetrad = t;
        t->pos = {x, y};
        g->active = 1;
        g->curTime = StkTickCount();
        g->nextFrame = g->curTime;
        return t;
    }
    void Step(DWORD ms)
    {
        StkClockAdvance(ms);
        g->RunFrame();
    }
};

} // namespace

const POINT NO_CELL = {-1, -1};
enum Action { SHIFT, TURN };

TEST_F(GridTest, MovesAndTurnsMadeOrRefusedByWallsAndCellsRedrawFiveBands)
{
    struct Move {
        const char* what;
        int roll;
        POINT at, settled;
        Action action;
        int dir;
        bool moves;
    };
    const Move moves[] = {
        {"square next to the left wall", 0, {1, 10}, NO_CELL, SHIFT, -1, true},
        {"line next to the right wall", 1, {8, 10}, NO_CELL, SHIFT, +1, true},
        {"square against a cell on the right", 0, {5, 10}, {7, 10}, SHIFT, +1, false},
        {"square by a cell above it", 0, {5, 10}, {7, 9}, SHIFT, +1, true},
        {"flat line in row 0, clockwise", 1, {6, 0}, NO_CELL, TURN, +1, false},
        {"flat line in row 1", 1, {6, 1}, NO_CELL, TURN, +1, true},
        {"tee over a cell, clockwise", 2, {6, 10}, {6, 11}, TURN, +1, false},
        {"tee beside a cell", 2, {6, 10}, {7, 11}, TURN, +1, true},
        {"the square never turns", 0, {5, 5}, NO_CELL, TURN, +1, false},
        {"shift by two", 2, {6, 10}, NO_CELL, SHIFT, 2, false},
        {"turn by none", 2, {6, 10}, NO_CELL, TURN, 0, false},
    };
    for (const Move& m : moves) {
        SCOPED_TRACE(m.what);
        std::memset(g->field, 0, sizeof g->field);
        Tetrad* t = Give(m.roll, m.at.x, m.at.y);
        if (m.settled.x >= 0)
            g->field[m.settled.x][m.settled.y] = 3;
        g->Redraw(REDRAW_ALL);
        POINT before[4];
        std::memcpy(before, t->blocks, sizeof before);
        fake.redraws = 0; // then only the five bands around the piece
        if (m.action == TURN)
            g->RotateTetrad(m.dir);
        else
            g->ShiftTetrad(m.dir);
        POINT wantAt = m.at;
        int wantRot = 0;
        if (m.moves && m.action == SHIFT)
            wantAt.x += m.dir;
        if (m.moves && m.action == TURN)
            wantRot = (m.dir + t->nrotations) % t->nrotations;
        EXPECT_EQ(wantAt, t->pos);
        EXPECT_EQ(wantRot, t->currentrot);
        const bool cellsTurned = std::memcmp(before, t->blocks, sizeof before) != 0;
        EXPECT_EQ(m.moves && m.action == TURN, cellsTurned);
        EXPECT_EQ(m.moves ? 5 : 0, fake.redraws) << "bands redrawn";
        EXPECT_TRUE(ShowsTruth(*g));
    }
    // A piece partly outside the well (only a broken caller could place it) lands at once.
    for (POINT p : {POINT{-1, -1}, POINT{5, 22}}) {
        Give(1, p.x, p.y);
        EXPECT_EQ(1, g->DropTetrad());
    }
    Field empty = {};
    EXPECT_EQ(0, std::memcmp(empty, g->field, sizeof empty));   // nothing written off the well
}

TEST_F(GridTest, KeysAHeldTurnKeyTurnsOnceAndTheDropKeyKeepsTheSchedule)
{
    // Repeats, the other turn key and other keys' releases do not turn again.
    struct KeyStep {
        UINT vk;
        bool pressed;
        LONG column;
        int orientation;
    };
    const KeyStep script[] = {
        {VK_LEFT, true, 5, 0},     {VK_RIGHT, true, 6, 0},    {VK_UP, true, 6, 1},
        {VK_UP, true, 6, 1},       {VK_CONTROL, true, 6, 1},  {VK_LEFT, false, 6, 1},
        {VK_UP, true, 6, 1},       {VK_CONTROL, false, 6, 1}, {VK_CONTROL, true, 6, 0},
        {VK_CONTROL, false, 6, 0},
    };
    Tetrad* t = Give(2, 6, 10);
    for (const KeyStep& k : script) {
        if (k.pressed)
            g->KeyDown(k.vk, kKeys);
        else
            g->KeyUp(k.vk, kKeys);
        EXPECT_EQ(std::make_pair(k.column, k.orientation), std::make_pair(t->pos.x, t->currentrot))
            << "step " << &k - script << ": column, orientation";
    }
    // The drop key: the fast step comes 25 ms after the last frame, also across the wrap;
    // repeats change nothing; release keeps the schedule.
    for (DWORD last : {8000u, 0xFFFFFFF0u}) {
        g->curTime = last;
        g->nextFrame = last + 10;
        g->KeyDown(VK_DOWN, kKeys);
        g->curTime += 5;
        g->KeyDown(VK_DOWN, kKeys);
        EXPECT_EQ(last + 25, g->nextFrame);
        g->delay_drop_normal = 1380;
        g->KeyUp(VK_DOWN, kKeys);
        EXPECT_EQ(1380, g->delay_drop);
        EXPECT_FALSE(g->fallingFast);
        EXPECT_EQ(last + 25, g->nextFrame);
    }
}

TEST_F(GridTest, FrameLoopStepsTheLandingWaitPauseStopAndANewGame)
{
    g->Reset();
    StkClockResetReads();
    g->RunFrame();                    // the first piece enters at once
    Tetrad* t = g->pActiveTetrad;
    ASSERT_NE(nullptr, t);
    ASSERT_NE(nullptr, g->pNextTetrad);
    EXPECT_EQ(1u, StkClockReads());
    EXPECT_EQ(1u, g->stats[t->type]);
    EXPECT_EQ(1, fake.nextRepaints);
    LONG y = t->pos.y;
    Step(1499);
    EXPECT_EQ(y, t->pos.y);
    Step(1);
    Step(5000);                       // three intervals late: one step, no catching up
    g->RunFrame();
    EXPECT_EQ(y + 2, t->pos.y);
    EXPECT_EQ(kStart + 8000, g->nextFrame);
    // Paused, a frame does not even read the clock; keys still act.
    g->TogglePause();
    StkClockResetReads();
    Step(10000);
    EXPECT_EQ(0u, StkClockReads());
    EXPECT_EQ(y + 2, t->pos.y);
    g->KeyDown(VK_LEFT, kKeys);
    EXPECT_TRUE(ShowsTruth(*g));
    g->TogglePause();
    g->RunFrame();                    // the step that fell due in the pause
    EXPECT_EQ(y + 3, t->pos.y);
    EXPECT_TRUE(ShowsTruth(*g));
    // The landing: the colour is written, the piece goes, and 50 ms pass in which keys do nothing.
    Give(2, 4, 21);
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    for (POINT p : {POINT{4, 21}, POINT{3, 21}, POINT{5, 21}, POINT{4, 20}})
        EXPECT_EQ(3, g->field[p.x][p.y]);
    Field landed;
    std::memcpy(landed, g->field, sizeof landed);
    for (int i = 0; i < NUM_KEYS; i++) {
        g->KeyDown(kKeys[i], kKeys);
        g->KeyUp(kKeys[i], kKeys);
    }
    EXPECT_EQ(0, std::memcmp(landed, g->field, sizeof landed));
    Tetrad* waiting = g->pNextTetrad;
    Step(49);
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    Step(1);
    EXPECT_EQ(waiting, g->pActiveTetrad);   // the piece shown as next is the one that enters
    // Stop empties the well; with no game there is nothing to pause.
    g->Stop();
    Field empty = {};
    EXPECT_EQ(0, std::memcmp(empty, g->field, sizeof empty));
    g->TogglePause();
    EXPECT_FALSE(g->Active());
    EXPECT_EQ(nullptr, g->pNextTetrad);
    EXPECT_FALSE(g->paused);
}

TEST_F(GridTest, LevelsAndTheirFallIntervalNonsenseRowCountsChangeNothing)
{
    // Nonsense counts of rows change nothing (the soak checks the points of real clears).
    for (int n : {-3, -1, 0})
        g->IncLines(n);
    EXPECT_EQ(std::make_pair(0ul, 0ul), std::make_pair(g->score, g->lines)) << "score, lines";
    EXPECT_EQ(0, fake.scoreRepaints);
    // Lines give the level and its normal fall interval; a clear raises the level once at most.
    struct Level {
        DWORD lines, level;
        int interval;
    };
    const Level levels[] = {
        {10, 1, 1440}, {19, 1, 1440}, {23, 2, 1380}, {230, 23, 120}, {240, 24, 100}, {400, 40, 100},
    };
    g->lines = 0;
    g->level = 0;
    g->delay_drop_normal = 1500;
    for (const Level& l : levels) {
        while (g->lines + 4 <= l.lines)
            g->IncLines(4);
        if (g->lines < l.lines)
            g->IncLines((int)(l.lines - g->lines));
        EXPECT_EQ(std::make_pair(l.level, l.interval), std::make_pair(g->level, g->delay_drop_normal))
            << l.lines << " lines: level, interval";
    }
    // The new interval waits for the next piece.
    g->Reset();
    g->RunFrame();
    g->delay_drop = 1500;
    g->delay_drop_normal = 700;
    Step(1500);
    EXPECT_EQ(1500, g->delay_drop);
    delete g->pActiveTetrad;
    g->pActiveTetrad = nullptr;
    Step(1500);
    EXPECT_EQ(StkTickCount() + 700, g->nextFrame);
}

TEST_F(GridTest, PieceAllocationFailureRetriesInsteadOfCrashing)
{
    g->Reset();
    g_failPieceAlloc = 1;
    g->RunFrame();
    EXPECT_EQ(nullptr, g->pActiveTetrad);
    EXPECT_TRUE(g->Active());
    g_failPieceAlloc = 0;
    Step(50);
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

// ---- Soak --------------------------------------------------------------------------------

namespace {

int Fits(const Field f, const Tetrad* t, int dy)
{
    for (const POINT& b : t->blocks) {
        const LONG x = t->pos.x + b.x, y = t->pos.y + dy + b.y;
        if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS || f[x][y])
            return 0;
    }
    return 1;
}

// The landing as the rules describe it: cells written, full rows removed, the rest moved
// down. Returns the rows removed; span gets the lowest and highest of them.
int Settle(const Field f, const Tetrad* t, Field out, int span[2])
{
    Field w;
    std::memcpy(w, f, sizeof w);
    for (const POINT& b : t->blocks)
        w[t->pos.x + b.x][t->pos.y + b.y] = t->color + 1;
    std::memset(out, 0, sizeof w);
    int dst = WELL_ROWS - 1;
    int cleared = 0;
    for (int y = WELL_ROWS - 1; y >= 0; y--) {
        bool full = true;
        for (int x = 0; x < WELL_COLS; x++)
            full = full && w[x][y] != 0;
        if (!full) {
            for (int x = 0; x < WELL_COLS; x++)
                out[x][dst] = w[x][y];
            dst--;
            continue;
        }
        cleared++;
        if (cleared == 1)
            span[0] = y;
        span[1] = y;
    }
    return cleared;
}

} // namespace

TEST_F(GridTest, SoakRandomGamesLandingByLandingAgainstTheModel)
{
    std::mt19937 rng(20261206);
    long clears[5] = {};
    long pieces = 0;
    long stops = 0;
    DWORD lines = 0;
    DWORD score = 0;
    srand(424242);
    for (int game = 0; game < 6000; game++) {
        SCOPED_TRACE(game);
        // A third of the games start shortly before the tick count wraps.
        StkClockDrive(1, game % 3 ? (DWORD)rng() : 0xFFFFFFFFu - rng() % 20000);
        g->Reset();
        // Rows left from earlier play, with holes mostly in one column and some by a wall, so
        // that random landings clear rows of every count, apart and together.
        const unsigned column = rng() % WELL_COLS;
        for (int y = WELL_ROWS - 8; y < WELL_ROWS; y++) {
            for (int x = 0; x < WELL_COLS; x++)
                g->field[x][y] = 1 + rng() % 7;
            g->field[rng() % 3 ? column : rng() % WELL_COLS][y] = 0;
            if (rng() % 3 == 0)
                g->field[rng() % 2 ? 0 : WELL_COLS - 1][y] = 0;
        }
        g->Redraw(REDRAW_ALL);
        const long first = pieces;
        long steps = 0;
        bool gap = false;                    // rows above a clear wait for the next piece
        while (g->Active()) {
            ASSERT_LT(++steps, 100000);
            unsigned r = rng() % 100;
            Tetrad* t = g->pActiveTetrad;
            if (r < 55) {
                DWORD ahead = g->nextFrame - StkTickCount();
                StkClockAdvance(ahead > 1500 ? 0 : (rng() % 4 ? ahead : rng() % (ahead + 1)));
                bool lands = t && !g->paused &&
                             StkTimeReached(StkTickCount(), g->curTime, g->nextFrame) &&
                             !Fits(g->field, t, 1);
                Field want;
                int span[2] = {0, -1};
                int cleared = lands ? Settle(g->field, t, want, span) : 0;
                g->RunFrame();
                if (lands) {
                    ASSERT_EQ(nullptr, g->pActiveTetrad);
                    ASSERT_EQ(0, std::memcmp(want, g->field, sizeof want));
                    // The cleared span shows the well at once, the landed piece hidden.
                    for (int y = span[1]; cleared && y <= span[0]; y++)
                        for (int x = 0; x < WELL_COLS; x++)
                            ASSERT_EQ(g->field[x][y], shown[x][y]) << x << "," << y;
                    lines += cleared;
                    score += kPoints[cleared];
                    clears[cleared]++;
                    gap = cleared > 0;
                } else if (!t && (g->pActiveTetrad || !g->Active())) {
                    gap = false;
                    pieces++;
                }
            } else if (r < 97) {
                const UINT vk = kKeys[rng() % NUM_KEYS];
                if (rng() % 3)
                    g->KeyDown(vk, kKeys);
                else
                    g->KeyUp(vk, kKeys);
            } else if (r < 99) {
                if (g->paused || rng() % 8 == 0)
                    g->TogglePause();
            } else if (rng() % 50 == 0 || pieces - first > 80) {
                g->Stop();              // a stopped game's preview is repainted empty
                stops++;
                gap = false;
            }
            // The well, the counters and the screen stay true at every step.
            if (const Tetrad* a = g->pActiveTetrad) {
                ASSERT_LT(a->currentrot, a->nrotations);
                ASSERT_TRUE(Fits(g->field, a, 0)) << "the falling piece overlaps";
            }
            if (!gap) {
                ASSERT_TRUE(ShowsTruth(*g)) << "step " << steps;
            }
            ASSERT_EQ((DWORD)pieces, std::accumulate(g->stats, g->stats + TETRAD_TYPES, 0u));
            ASSERT_EQ(std::make_pair(lines, score), std::make_pair(g->lines, g->score))
                << "lines, score";
            ASSERT_EQ(lines / 10, g->level);
            ASSERT_EQ(clears[1] + clears[2] + clears[3] + clears[4], fake.scoreRepaints);
            ASSERT_EQ(pieces + stops, fake.nextRepaints);
            ASSERT_EQ(0, fake.badBands);
        }
    }
    for (int n = 1; n <= 4; n++)
        EXPECT_GT(clears[n], 0) << n;
    for (DWORD s : g->stats)   // every shape comes, about one time in seven
        EXPECT_GT(s, (DWORD)pieces / 9);
    EXPECT_GT(g->level, 24u);         // past the interval floor
}

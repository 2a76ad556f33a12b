// The playfield's game rules: moves and turns refused at walls and by settled cells, keys,
// the frame loop and its waits, points, levels, game over, and a soak of random games checked
// landing by landing against a model of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <random>

#include "clock.h"
#include "grid.h"
#include "tetrad.h"

// Lets a test make piece allocation fail: the pieces are the only nothrow allocations.
static int g_failPieceAlloc = 0;
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return g_failPieceAlloc ? nullptr : std::malloc(n ? n : 1);
}

namespace {

const int kKeys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
const DWORD kStart = 100000;
const DWORD kPoints[5] = {0, 100, 500, 1000, 2000};
typedef int Field[WELL_COLS][WELL_ROWS];

// StakkaGrid's display members, modelled: counts of the panel repaints and the well as the
// window shows it, recomposed band by band as Redraw() does.
struct Counts {
    int nextRepaints, scoreRepaints, redraws, badBands;   // bad: not REDRAW_ALL nor in -2..23
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
            LONG x = t->pos.x + b.x, y = t->pos.y + b.y;
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
    return pauseShown == g.paused && Truth(g, want, 0, WELL_ROWS - 1) &&
           (g.paused || std::memcmp(want, shown, sizeof want) == 0);
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
    fake.badBands += line != REDRAW_ALL && (line < -2 || line > WELL_ROWS + 1);
    if (line != REDRAW_ALL && (line < 0 || line >= WELL_ROWS))
        return;
    pauseShown = paused;
    if (!paused)
        Truth(*this, shown, line == REDRAW_ALL ? 0 : line,
              line == REDRAW_ALL || line + 1 >= WELL_ROWS ? WELL_ROWS - 1 : line + 1);
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
        Tetrad* t = g->pActiveTetrad = CreateTetrad(roll);
        t->pos = {x, y};
        g->active = 1;
        g->curTime = g->nextFrame = StkTickCount();
        return t;
    }
    void Step(DWORD ms)
    {
        StkClockAdvance(ms);
        g->RunFrame();
    }
};

} // namespace

TEST_F(GridTest, MovesAndTurnsRefusedAtTheWallsAndBySettledCells)
{
    // roll, x, y, settled cell (-1: none), action (shift or turn), direction, moved
    const struct {
        int roll, x, y, sx, sy, turn, dir, moved;
    } cases[] = {
        {0, 0, 10, -1, 0, 0, -1, 0},   {0, 10, 10, -1, 0, 0, +1, 0},  {0, 1, 10, -1, 0, 0, -1, 1},
        {1, 1, 10, -1, 0, 0, -1, 0},   {1, 9, 10, -1, 0, 0, +1, 0},   {1, 8, 10, -1, 0, 0, +1, 1},
        {0, 5, 10, 4, 11, 0, -1, 0},   {0, 5, 10, 7, 10, 0, +1, 0},   {0, 5, 10, 7, 9, 0, +1, 1},
        {1, 6, 0, -1, 0, 1, +1, 0},    {1, 6, 0, -1, 0, 1, -1, 0},    // flat line in row 0
        {1, 6, 1, -1, 0, 1, +1, 1},    {2, 6, 10, 6, 11, 1, +1, 0},   {2, 6, 10, 6, 11, 1, -1, 0},
        {2, 6, 10, 7, 11, 1, +1, 1},   {3, 0, 10, -1, 0, 1, +1, 0},   {4, 11, 10, -1, 0, 1, +1, 0},
        {2, 6, 21, -1, 0, 1, +1, 0},   {0, 5, 5, -1, 0, 1, +1, 0},    // the block never turns
        {2, 6, 10, -1, 0, 0, 2, 0},    {2, 6, 10, -1, 0, 1, 0, 0},    // no such direction
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::memset(g->field, 0, sizeof g->field);
        Tetrad* t = Give(c.roll, c.x, c.y);
        if (c.sx >= 0)
            g->field[c.sx][c.sy] = 3;
        g->Redraw(REDRAW_ALL);
        POINT before[4];
        std::memcpy(before, t->blocks, sizeof before);
        fake.redraws = 0;   // then only the five bands around the piece
        c.turn ? g->RotateTetrad(c.dir) : g->ShiftTetrad(c.dir);
        EXPECT_EQ(c.x + (c.turn ? 0 : c.moved * c.dir) + c.y * 100, t->pos.x + t->pos.y * 100);
        EXPECT_EQ(c.turn && c.moved ? (c.dir + t->nrotations) % t->nrotations : 0, t->currentrot);
        EXPECT_EQ(c.moved && c.turn, std::memcmp(before, t->blocks, sizeof before) != 0);
        EXPECT_EQ(c.moved ? 5 : 0, fake.redraws);
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
    // key, pressed (1) or released (0) -> column and orientation after it; repeats, the other
    // turn key and other keys' releases do not turn again
    const int script[][4] = {{VK_LEFT, 1, 5, 0}, {VK_RIGHT, 1, 6, 0},   {VK_UP, 1, 6, 1},
                             {VK_UP, 1, 6, 1},   {VK_CONTROL, 1, 6, 1}, {VK_LEFT, 0, 6, 1},
                             {VK_UP, 1, 6, 1},   {VK_CONTROL, 0, 6, 1}, {VK_CONTROL, 1, 6, 0},
                             {VK_CONTROL, 0, 6, 0}};
    Tetrad* t = Give(2, 6, 10);
    for (const auto& k : script) {
        k[1] ? g->KeyDown(k[0], kKeys) : g->KeyUp(k[0], kKeys);
        EXPECT_EQ(k[2] * 10 + k[3], t->pos.x * 10 + t->currentrot) << &k - script;
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
        EXPECT_EQ(1380 * 10 + g->fallingFast, g->delay_drop * 10);
        EXPECT_EQ(last + 25, g->nextFrame);
    }
}

TEST_F(GridTest, FrameLoopStepsTheLandingWaitPauseStopAndANewGame)
{
    g->Reset();
    StkClockResetReads();
    g->RunFrame();                    // the first piece enters at once
    Tetrad* t = g->pActiveTetrad;
    ASSERT_TRUE(t && g->pNextTetrad);
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
    for (UINT vk : kKeys)
        g->KeyDown(vk, kKeys), g->KeyUp(vk, kKeys);
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
    EXPECT_TRUE(!g->Active() && !g->pNextTetrad && !g->paused);
}

TEST_F(GridTest, PointsPerLandingLevelsAndTheirFallInterval)
{
    // rows cleared by one landing -> points; nonsense counts change nothing
    for (int n = -3; n <= 4; n++) {
        DWORD score = g->score, lines = g->lines;
        g->IncLines(n);
        EXPECT_EQ((score + (n > 0 ? kPoints[n] : 0)) * 100 + lines + (n > 0 ? n : 0),
                  g->score * 100 + g->lines) << n;
    }
    EXPECT_EQ(4, fake.scoreRepaints);
    // lines -> level -> normal fall interval; a clear raises the level once at most
    const DWORD levels[][3] = {{10, 1, 1440},   {19, 1, 1440},   {23, 2, 1380},
                               {230, 23, 120},  {240, 24, 100},  {400, 40, 100}};
    g->lines = g->level = 0;
    g->delay_drop_normal = 1500;
    for (const auto& l : levels) {
        while (g->lines + 4 <= l[0])
            g->IncLines(4);
        if (g->lines < l[0])
            g->IncLines((int)(l[0] - g->lines));
        EXPECT_EQ(l[1] * 10000 + l[2], g->level * 10000 + g->delay_drop_normal) << l[0];
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

TEST_F(GridTest, BlockedNewPieceEndsTheGameWithTheFill)
{
    g->Reset();
    g->field[6][0] = 1;               // every shape covers (6, 0)
    g->RunFrame();
    EXPECT_TRUE(!g->Active() && !g->pActiveTetrad && !g->pNextTetrad);
    int last = 0;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int c = g->field[x][y];
            ASSERT_TRUE(c >= 1 && c <= 7) << x << "," << y;
            ASSERT_NE(last, c) << x << "," << y;
            ASSERT_TRUE(x == 0 || g->field[x - 1][y] != c) << x << "," << y;
            last = c;
        }
    EXPECT_TRUE(ShowsTruth(*g));
    Field fill;
    std::memcpy(fill, g->field, sizeof fill);
    Step(10000);
    EXPECT_EQ(0, std::memcmp(fill, g->field, sizeof fill));
}

TEST_F(GridTest, PieceAllocationFailureRetriesInsteadOfCrashing)
{
    g->Reset();
    g_failPieceAlloc = 1;
    g->RunFrame();
    EXPECT_TRUE(!g->pActiveTetrad && g->Active());
    g_failPieceAlloc = 0;
    Step(50);
    EXPECT_NE(nullptr, g->pActiveTetrad);
}

// ---- Soak --------------------------------------------------------------------------------

namespace {

int Fits(const Field f, const Tetrad* t, int dy)
{
    for (const POINT& b : t->blocks) {
        LONG x = t->pos.x + b.x, y = t->pos.y + dy + b.y;
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
    int dst = WELL_ROWS - 1, cleared = 0;
    for (int y = WELL_ROWS - 1; y >= 0; y--) {
        int full = 1;
        for (int x = 0; x < WELL_COLS; x++)
            full &= w[x][y] != 0;
        if (full)
            span[0] = ++cleared == 1 ? y : span[0], span[1] = y;
        for (int x = 0; x < WELL_COLS && !full; x++)
            out[x][dst] = w[x][y];
        dst -= !full;
    }
    return cleared;
}

} // namespace

TEST_F(GridTest, SoakRandomGamesLandingByLandingAgainstTheModel)
{
    std::mt19937 rng(20261206);
    long clears[5] = {}, pieces = 0, stops = 0;
    DWORD lines = 0, score = 0;
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
        long first = pieces, steps = 0;
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
                UINT vk = kKeys[rng() % NUM_KEYS];
                rng() % 3 ? g->KeyDown(vk, kKeys) : g->KeyUp(vk, kKeys);
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
                ASSERT_TRUE(a->currentrot < a->nrotations && Fits(g->field, a, 0));
            }
            ASSERT_TRUE(gap || ShowsTruth(*g)) << "step " << steps;
            ASSERT_EQ((DWORD)pieces, std::accumulate(g->stats, g->stats + TETRAD_TYPES, 0u));
            ASSERT_EQ(lines * 1000000 + score, g->lines * 1000000 + g->score);
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

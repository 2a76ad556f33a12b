// test_cpu.cpp - the computer player: its plans replayed on the playfield's own rules over
// random wells, and its strength in the real registry.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "clock.h"
#include "cpumatch.h"
#include "cpuplan.h"
#include "grid.h"
#include "options.h"
#include "tetrad.h"
#include "testkit.h"
#include "teststore.h"

namespace
{

typedef int Field[WELL_COLS][WELL_ROWS];
const int kKeys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};

DWORD Next(DWORD* s)
{
    *s = *s * 1103515245u + 12345u;
    return (*s >> 16) & 0x7FFF;
}

// A ragged stack with holes, no row full (a full row never stays), at most 15 high.
void RandomWell(Field f, DWORD* rng)
{
    memset(f, 0, sizeof(Field));
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = WELL_ROWS - (int)(Next(rng) % 16); y < WELL_ROWS; y++)
            f[x][y] = Next(rng) % 5 ? 1 + (int)(Next(rng) % TETRAD_TYPES) : 0;
    for (int y = 0; y < WELL_ROWS; y++)
        f[Next(rng) % WELL_COLS][y] = 0;
}

// Where the piece is: reference cell and orientation.
std::tuple<LONG, LONG, int> Place(const Tetrad& t)
{
    return std::make_tuple(t.pos.x, t.pos.y, t.currentrot);
}

} // namespace

// Each plan is replayed key by key on a second playfield: every key it presses is taken (a
// refused one would mean the planner moved through a wall or a settled cell, or turned where
// the rules refuse), the drop key comes last, and the piece lands exactly where the plan said.
TEST(CpuPlanner, PlansAreTakenKeyByKeyAndLandWherePlannedOverRandomWells)
{
    CpuPlanner planner;
    planner.Seed(5);
    DWORD rng = 2024;
    int planned = 0;
    for (int round = 0; round < 600; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        StakkaGrid model;
        RandomWell(model.field, &rng);
        Field before;
        memcpy(before, model.field, sizeof before);
        Tetrad* piece = CreateTetrad((int)(Next(&rng) % TETRAD_TYPES)); // the model owns it
        std::unique_ptr<Tetrad> next(CreateTetrad((int)(Next(&rng) % TETRAD_TYPES)));
        model.pActiveTetrad = piece;
        // Some pieces have moved and fallen a little before the plan is asked for.
        for (int k = (int)(Next(&rng) % 6); k > 0; k--)
            model.KeyDown(kKeys[Next(&rng) % 2], kKeys);
        for (int k = (int)(Next(&rng) % 4); k > 0 && !model.DropTetrad(); k--) {
        }
        if (model.isTetradBlocked() || memcmp(before, model.field, sizeof before) != 0)
            continue; // blocked at the start, or already landed
        CPUPLAN plan;
        ASSERT_EQ(1, planner.Plan(model.field, *piece, next.get(), round % NUM_STRENGTHS, &plan));
        planned++;
        for (int i = 0; i < plan.count; i++) {
            SCOPED_TRACE("move " + std::to_string(i));
            const auto was = Place(*piece);
            if (plan.moves[i] == CPU_FAST_DROP) {
                EXPECT_EQ(plan.count - 1, i);
                continue;
            }
            if (plan.moves[i] == CPU_FALL) { // waits for one row of gravity
                EXPECT_EQ(0, model.DropTetrad());
                EXPECT_NE(was, Place(*piece));
                continue;
            }
            const int key[] = {KEY_LEFT, KEY_RIGHT, KEY_ROTATE_CW, KEY_ROTATE_CCW};
            model.KeyDown(kKeys[key[plan.moves[i]]], kKeys);
            model.KeyUp(kKeys[key[plan.moves[i]]], kKeys);
            EXPECT_NE(was, Place(*piece));
        }
        int falls = 0;
        while (!model.DropTetrad() && falls < WELL_ROWS)
            falls++;
        EXPECT_EQ(std::make_tuple(plan.x, plan.y, plan.rot), Place(*piece));
        // Independently of the rules: the landed cells were empty, inside the well.
        for (const POINT& b : piece->blocks) {
            LONG x = piece->pos.x + b.x;
            LONG y = piece->pos.y + b.y;
            ASSERT_GE(x, 0);
            ASSERT_LT(x, WELL_COLS);
            ASSERT_GE(y, 0);
            ASSERT_LT(y, WELL_ROWS);
            EXPECT_EQ(0, before[x][y]) << "landed on a settled cell at " << x << ", " << y;
        }
    }
    EXPECT_GT(planned, 400);
}

// Two computers play the match rules back to back on the driven clock: rows rise both ways,
// and the match ends once, with one "YOU WIN" and one "YOU LOSE", both games stopped.
TEST(CpuMatch, AHeadlessMatchEndsWithOneWinner)
{
    CpuSide a;
    CpuSide b;
    a.Begin(STRENGTH_HARD);
    b.Begin(STRENGTH_NORMAL);
    b.Join(&a.match, nullptr, nullptr);
    DWORD t = 5000;
    StkClockDrive(1, t);
    // As New Game deals, but from a fixed seed: the match plays the same every run.
    const DWORD seed = 1;
    b.match.OnStart(seed);
    a.match.OnStart(seed);
    ASSERT_TRUE(a.grid.Active());
    ASSERT_TRUE(b.grid.Active());
    bool risenUnderA = false;
    bool risenUnderB = false;
    for (int steps = 0; a.match.Running() && steps < 2000000; steps++) {
        a.Step(t);
        b.Step(t);
        for (int x = 0; x < WELL_COLS; x++) {
            risenUnderA |= a.grid.field[x][WELL_ROWS - 1] == RISING_CELL;
            risenUnderB |= b.grid.field[x][WELL_ROWS - 1] == RISING_CELL;
        }
        DWORD due = std::min(a.DueIn(t), b.DueIn(t));
        t += due == 0 || due == INFINITE ? 1 : due;
        StkClockDrive(1, t);
    }
    StkClockDrive(0, 0);
    ASSERT_FALSE(a.match.Running()) << "no result within the step limit";
    ASSERT_FALSE(b.match.Running());
    EXPECT_FALSE(a.grid.Active());
    EXPECT_FALSE(b.grid.Active());
    ASSERT_NE(nullptr, a.grid.banner);
    ASSERT_NE(nullptr, b.grid.banner);
    EXPECT_EQ(std::set<std::string>({"YOU WIN", "YOU LOSE"}),
              std::set<std::string>({a.grid.banner, b.grid.banner}));
    EXPECT_TRUE(risenUnderA) << "no row rose under the Hard side";
    EXPECT_TRUE(risenUnderB) << "no row rose under the Normal side";
}

// The strength under the version key: written on save, read back; a store without it gives
// Normal silently; anything else the program never writes gives Normal and one message.
TEST(CpuOptions, StrengthIsStoredAndReadBackAndBadValuesGiveNormal)
{
    TestStore store("cpu");
    SetOptionsStore(&store);
    BoxRecorder rec;
    OPTIONS op;
    LoadOptions(op); // first run
    EXPECT_EQ(STRENGTH_NORMAL, op.strength);
    EXPECT_EQ("1", store.Text(szRegKey, szStrengthValue));
    op.strength = STRENGTH_HARD;
    SaveOptions(op);
    EXPECT_EQ("2", store.Text(szRegKey, szStrengthValue));
    LoadOptions(op);
    EXPECT_EQ(STRENGTH_HARD, op.strength);
    EXPECT_EQ(std::vector<std::string>(), rec.Texts());

    const struct {
        const char* data; // null: the value is deleted
        int strength;
        bool message;
    } rows[] = {{nullptr, STRENGTH_NORMAL, false}, {"0", STRENGTH_EASY, false},
                {"3", STRENGTH_NORMAL, true},      {"-1", STRENGTH_NORMAL, true},
                {"2 ", STRENGTH_NORMAL, true},     {"", STRENGTH_NORMAL, true},
                {"Hard", STRENGTH_NORMAL, true},   {"22", STRENGTH_NORMAL, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.data ? r.data : "missing");
        STOREKEY app;
        ASSERT_TRUE(store.OpenKey(NULL, szRegKey, &app));
        if (r.data)
            store.SetValue(app, szStrengthValue, r.data);
        else
            store.DeleteValue(app, szStrengthValue);
        store.CloseKey(app);
        rec.Clear();
        op.strength = -5;
        LoadOptions(op);
        EXPECT_EQ(r.strength, op.strength);
        std::vector<std::string> want;
        if (r.message)
            want.push_back("Unable to load computer strength");
        EXPECT_EQ(want, rec.Texts());
    }
    SetOptionsStore(NULL);
}

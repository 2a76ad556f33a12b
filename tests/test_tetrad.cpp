// The seven shapes and their turns, against cells written down by hand for every orientation.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "testkit.h"
#include "tetrad.h"

namespace {

const LONG CREATION_COLUMN = 6;

struct Shape {
    DWORD type;
    int color;
    LONG y; // creation row
    int nrot;
    POINT cells[4][4]; // orientation, cell
};

// Indexed by roll.
const Shape kShapes[7] = {
    {0, 0, 0, 1, {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}}},
    {1, 1, 0, 2, {{{-1, 0}, {0, 0}, {1, 0}, {2, 0}}, {{0, -1}, {0, 0}, {0, 1}, {0, 2}}}},
    {6, 2, 1, 4,
     {{{0, 0}, {-1, 0}, {0, -1}, {1, 0}}, {{0, 0}, {0, -1}, {1, 0}, {0, 1}},
      {{0, 0}, {1, 0}, {0, 1}, {-1, 0}}, {{0, 0}, {0, 1}, {-1, 0}, {0, -1}}}},
    {2, 3, 1, 4,
     {{{0, 0}, {0, -1}, {0, 1}, {1, 1}}, {{0, 0}, {1, 0}, {-1, 0}, {-1, 1}},
      {{0, 0}, {0, 1}, {0, -1}, {-1, -1}}, {{0, 0}, {-1, 0}, {1, 0}, {1, -1}}}},
    {3, 4, 1, 4,
     {{{0, 0}, {0, -1}, {0, 1}, {-1, 1}}, {{0, 0}, {1, 0}, {-1, 0}, {-1, -1}},
      {{0, 0}, {0, 1}, {0, -1}, {1, -1}}, {{0, 0}, {-1, 0}, {1, 0}, {1, 1}}}},
    {4, 5, 1, 2, {{{0, 0}, {0, -1}, {1, -1}, {-1, 0}}, {{0, 0}, {1, 0}, {1, 1}, {0, -1}}}},
    {5, 6, 1, 2, {{{0, 0}, {0, -1}, {-1, -1}, {1, 0}}, {{0, 0}, {1, 0}, {1, -1}, {0, 1}}}},
};

void ExpectCells(const Tetrad& t, const POINT want[4], int rot)
{
    EXPECT_EQ(rot, t.currentrot);
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(want[k], t.blocks[k]) << "orientation " << rot << " cell " << k;
}

// Commits a turn as the playfield does once the cells are free; 0 when it is refused.
int Turn(Tetrad* t, int dir)
{
    POINT cells[4];
    int rot = -1;
    if (!t->Turned(dir, cells, &rot))
        return 0;
    for (int k = 0; k < 4; k++)
        t->blocks[k] = cells[k];
    t->currentrot = rot;
    return 1;
}

} // namespace

TEST(Tetrad, EveryOrientationOfEveryShapeBothWaysRound)
{
    for (int roll = 0; roll < 7; roll++) {
        SCOPED_TRACE(roll);
        const Shape& s = kShapes[roll];
        std::unique_ptr<Tetrad> t(CreateTetrad(roll));
        ASSERT_TRUE(t);
        const POINT created = {CREATION_COLUMN, s.y};
        EXPECT_EQ(std::make_tuple(s.type, s.color, created),
                  std::make_tuple(t->type, t->color, t->pos))
            << "type, colour, place";
        EXPECT_EQ(s.nrot, t->nrotations);
        ExpectCells(*t, s.cells[0], 0);
        // Clockwise through every orientation and back to the first, then counter-clockwise
        // the whole way round again; the reference point never moves.
        for (int r = 1; r <= s.nrot && s.nrot > 1; r++) {
            ASSERT_TRUE(Turn(t.get(), +1));
            ExpectCells(*t, s.cells[r % s.nrot], r % s.nrot);
        }
        for (int r = s.nrot - 1; r >= 0 && s.nrot > 1; r--) {
            ASSERT_TRUE(Turn(t.get(), -1));
            ExpectCells(*t, s.cells[r], r);
        }
        EXPECT_EQ(created, t->pos) << "after the turns";
    }
    for (int roll : {-1, 7, 32767})
        EXPECT_EQ(nullptr, CreateTetrad(roll)) << roll;
}

TEST(Tetrad, RefusedTurnsChangeNothing)
{
    std::unique_ptr<Tetrad> block(CreateTetrad(0));
    std::unique_ptr<Tetrad> tee(CreateTetrad(2));
    EXPECT_EQ(0, Turn(block.get(), +1)) << "the square";
    EXPECT_EQ(0, Turn(block.get(), -1)) << "the square";
    for (int dir : {0, 2, -2, 100})
        EXPECT_EQ(0, Turn(tee.get(), dir)) << "direction " << dir;
    // Turned() only proposes: the piece itself stays as it was.
    POINT cells[4];
    int rot = 77;
    const int turned = tee->Turned(+1, cells, &rot);
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(turned, rot)) << "proposed, orientation";
    ExpectCells(*tee, kShapes[2].cells[0], 0);
    // A corrupt orientation or count is refused, never used as an index.
    for (int bad : {4, -1}) {
        tee->currentrot = bad;
        EXPECT_EQ(0, Turn(tee.get(), +1)) << "clockwise from " << bad;
        EXPECT_EQ(0, Turn(tee.get(), -1)) << "counter-clockwise from " << bad;
    }
    tee->currentrot = 0;
    tee->nrotations = 9;
    EXPECT_EQ(0, Turn(tee.get(), +1));
}

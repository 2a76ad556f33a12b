// Tests of the seven shapes and the turning arithmetic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include "tetrad.h"

namespace {

typedef std::pair<LONG, LONG> Cell;

struct ShapeInfo {
    int roll;
    DWORD type;
    int color;
    POINT pos;
    int nrotations;
    // Offsets of orientations 0..nrotations-1, cell 0..3 in order, as
    // written down for the shape (independent of the turn tables).
    LONG orient[4][4][2];
};

const ShapeInfo kShapes[] = {
    {0, 0, 0, {6, 0}, 1, {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}}},
    {1, 1, 1, {6, 0}, 2,
     {{{-1, 0}, {0, 0}, {1, 0}, {2, 0}}, {{0, -1}, {0, 0}, {0, 1}, {0, 2}}}},
    {2, 6, 2, {6, 1}, 4,
     {{{0, 0}, {-1, 0}, {0, -1}, {1, 0}},
      {{0, 0}, {0, -1}, {1, 0}, {0, 1}},
      {{0, 0}, {1, 0}, {0, 1}, {-1, 0}},
      {{0, 0}, {0, 1}, {-1, 0}, {0, -1}}}},
    {3, 2, 3, {6, 1}, 4,
     {{{0, 0}, {0, -1}, {0, 1}, {1, 1}},
      {{0, 0}, {1, 0}, {-1, 0}, {-1, 1}},
      {{0, 0}, {0, 1}, {0, -1}, {-1, -1}},
      {{0, 0}, {-1, 0}, {1, 0}, {1, -1}}}},
    {4, 3, 4, {6, 1}, 4,
     {{{0, 0}, {0, -1}, {0, 1}, {-1, 1}},
      {{0, 0}, {1, 0}, {-1, 0}, {-1, -1}},
      {{0, 0}, {0, 1}, {0, -1}, {1, -1}},
      {{0, 0}, {-1, 0}, {1, 0}, {1, 1}}}},
    {5, 4, 5, {6, 1}, 2,
     {{{0, 0}, {0, -1}, {1, -1}, {-1, 0}}, {{0, 0}, {1, 0}, {1, 1}, {0, -1}}}},
    {6, 5, 6, {6, 1}, 2,
     {{{0, 0}, {0, -1}, {-1, -1}, {1, 0}}, {{0, 0}, {1, 0}, {1, -1}, {0, 1}}}},
};

// Cells in the well at creation, as listed for each roll.
const LONG kCreationCells[7][4][2] = {
    {{6, 0}, {7, 0}, {6, 1}, {7, 1}},
    {{5, 0}, {6, 0}, {7, 0}, {8, 0}},
    {{6, 1}, {5, 1}, {6, 0}, {7, 1}},
    {{6, 1}, {6, 0}, {6, 2}, {7, 2}},
    {{6, 1}, {6, 0}, {6, 2}, {5, 2}},
    {{6, 1}, {6, 0}, {7, 0}, {5, 1}},
    {{6, 1}, {6, 0}, {5, 0}, {7, 1}},
};

std::unique_ptr<Tetrad> Make(int roll)
{
    return std::unique_ptr<Tetrad>(CreateTetrad(roll));
}

void ExpectOffsets(const POINT cells[4], const LONG want[4][2], const char* what)
{
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(want[k][0], cells[k].x) << what << " cell " << k;
        EXPECT_EQ(want[k][1], cells[k].y) << what << " cell " << k;
    }
}

// Commits a turn the way the playfield does after its free-cell test.
void Turn(Tetrad* t, int dir)
{
    POINT cells[4];
    int rot = -1;
    ASSERT_EQ(1, t->Turned(dir, cells, &rot));
    for (int k = 0; k < 4; k++)
        t->blocks[k] = cells[k];
    t->currentrot = rot;
}

} // namespace

TEST(Tetrad, EveryRollCreatesItsShapeAtItsCreationPosition)
{
    for (const ShapeInfo& s : kShapes) {
        SCOPED_TRACE(s.roll);
        std::unique_ptr<Tetrad> t = Make(s.roll);
        ASSERT_TRUE(t);
        EXPECT_EQ(s.type, t->type);
        EXPECT_EQ(s.color, t->color);
        EXPECT_EQ(s.pos.x, t->pos.x);
        EXPECT_EQ(s.pos.y, t->pos.y);
        EXPECT_EQ(s.nrotations, t->nrotations);
        EXPECT_EQ(0, t->currentrot);
        ExpectOffsets(t->blocks, s.orient[0], "start");
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(kCreationCells[s.roll][k][0], t->pos.x + t->blocks[k].x);
            EXPECT_EQ(kCreationCells[s.roll][k][1], t->pos.y + t->blocks[k].y);
        }
    }
}

TEST(Tetrad, ShapeClassesMatchTheirRolls)
{
    // The shape classes are what the rolls create; checking the class
    // constructors directly keeps the factory honest.
    std::unique_ptr<Tetrad> made[7] = {
        std::unique_ptr<Tetrad>(new BlockTetrad), std::unique_ptr<Tetrad>(new LineTetrad),
        std::unique_ptr<Tetrad>(new TeeTetrad), std::unique_ptr<Tetrad>(new EllTetrad),
        std::unique_ptr<Tetrad>(new BackwardsEllTetrad), std::unique_ptr<Tetrad>(new EssTetrad),
        std::unique_ptr<Tetrad>(new ZeeTetrad)};
    for (int r = 0; r < 7; r++) {
        std::unique_ptr<Tetrad> t = Make(r);
        EXPECT_EQ(made[r]->type, t->type) << r;
        EXPECT_EQ(made[r]->color, t->color) << r;
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(made[r]->blocks[k].x, t->blocks[k].x);
            EXPECT_EQ(made[r]->blocks[k].y, t->blocks[k].y);
        }
    }
}

TEST(Tetrad, TeeTypeAndColourAreSeparateNumberings)
{
    TeeTetrad t;
    EXPECT_EQ(6u, t.type);
    EXPECT_EQ(2, t.color);
}

TEST(Tetrad, RollsOutsideTheSevenCreateNothing)
{
    EXPECT_EQ(nullptr, CreateTetrad(-1));
    EXPECT_EQ(nullptr, CreateTetrad(7));
    EXPECT_EQ(nullptr, CreateTetrad(32767));
}

TEST(Tetrad, EveryShapeCoversTheEntryCell)
{
    for (int r = 0; r < 7; r++) {
        std::unique_ptr<Tetrad> t = Make(r);
        int covers = 0;
        for (int k = 0; k < 4; k++)
            if (t->pos.x + t->blocks[k].x == 6 && t->pos.y + t->blocks[k].y == 0)
                covers = 1;
        EXPECT_TRUE(covers) << r;
    }
}

TEST(Tetrad, ClockwiseTurnsVisitEveryOrientationInOrder)
{
    for (const ShapeInfo& s : kShapes) {
        if (s.nrotations == 1)
            continue;
        SCOPED_TRACE(s.roll);
        std::unique_ptr<Tetrad> t = Make(s.roll);
        for (int r = 1; r <= s.nrotations; r++) {
            Turn(t.get(), +1);
            EXPECT_EQ(r % s.nrotations, t->currentrot);
            ExpectOffsets(t->blocks, s.orient[r % s.nrotations], "after clockwise turns");
        }
        // Back at the start after a full round.
        EXPECT_EQ(0, t->currentrot);
        EXPECT_EQ(s.pos.x, t->pos.x);
        EXPECT_EQ(s.pos.y, t->pos.y);
    }
}

TEST(Tetrad, CounterClockwiseFromZeroEqualsTheOtherWayRound)
{
    for (const ShapeInfo& s : kShapes) {
        if (s.nrotations == 1)
            continue;
        SCOPED_TRACE(s.roll);
        std::unique_ptr<Tetrad> ccw = Make(s.roll);
        std::unique_ptr<Tetrad> cw = Make(s.roll);
        Turn(ccw.get(), -1);
        for (int i = 0; i < s.nrotations - 1; i++)
            Turn(cw.get(), +1);
        EXPECT_EQ(s.nrotations - 1, ccw->currentrot);
        EXPECT_EQ(cw->currentrot, ccw->currentrot);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(cw->blocks[k].x, ccw->blocks[k].x);
            EXPECT_EQ(cw->blocks[k].y, ccw->blocks[k].y);
        }
        // And a counter-clockwise turn undoes a clockwise one everywhere.
        for (int r = 0; r < s.nrotations; r++) {
            std::unique_ptr<Tetrad> t = Make(s.roll);
            for (int i = 0; i < r; i++)
                Turn(t.get(), +1);
            Turn(t.get(), +1);
            Turn(t.get(), -1);
            EXPECT_EQ(r, t->currentrot);
            ExpectOffsets(t->blocks, s.orient[r], "turned there and back");
        }
    }
}

TEST(Tetrad, TwoOrientationShapesSwingTheSameWayBothDirections)
{
    for (int roll : {1, 5, 6}) {
        for (int start = 0; start < 2; start++) {
            std::unique_ptr<Tetrad> a = Make(roll), b = Make(roll);
            for (int i = 0; i < start; i++) {
                Turn(a.get(), +1);
                Turn(b.get(), +1);
            }
            Turn(a.get(), +1);
            Turn(b.get(), -1);
            EXPECT_EQ(a->currentrot, b->currentrot);
            for (int k = 0; k < 4; k++) {
                EXPECT_EQ(a->blocks[k].x, b->blocks[k].x) << roll;
                EXPECT_EQ(a->blocks[k].y, b->blocks[k].y) << roll;
            }
        }
    }
}

TEST(Tetrad, TheReferenceCellNeverMoves)
{
    for (const ShapeInfo& s : kShapes) {
        int ref = (s.roll == 1) ? 1 : 0;
        std::unique_ptr<Tetrad> t = Make(s.roll);
        for (int r = 0; r < s.nrotations; r++) {
            EXPECT_EQ(0, t->blocks[ref].x) << s.roll;
            EXPECT_EQ(0, t->blocks[ref].y) << s.roll;
            if (s.nrotations > 1)
                Turn(t.get(), +1);
        }
    }
}

TEST(Tetrad, EveryOrientationIsFourConnectedDistinctCells)
{
    for (const ShapeInfo& s : kShapes) {
        std::unique_ptr<Tetrad> t = Make(s.roll);
        for (int r = 0; r < s.nrotations; r++) {
            std::set<Cell> cells;
            for (int k = 0; k < 4; k++)
                cells.insert(Cell(t->blocks[k].x, t->blocks[k].y));
            EXPECT_EQ(4u, cells.size()) << s.roll << "/" << r;
            // Each cell touches another one side-on.
            for (const Cell& c : cells) {
                int touching = 0;
                for (const Cell& d : cells)
                    if (std::abs(c.first - d.first) + std::abs(c.second - d.second) == 1)
                        touching = 1;
                EXPECT_TRUE(touching) << s.roll << "/" << r;
            }
            // Every cell within one row above and two below the reference
            // point: the playfield's repaint bands rely on it.
            for (const Cell& c : cells) {
                EXPECT_GE(c.second, -1);
                EXPECT_LE(c.second, 2);
            }
            if (s.nrotations > 1)
                Turn(t.get(), +1);
        }
    }
}

TEST(Tetrad, UnusedTurnRowsAreZero)
{
    for (const ShapeInfo& s : kShapes) {
        std::unique_ptr<Tetrad> t = Make(s.roll);
        int first = s.nrotations > 1 ? s.nrotations : 0;
        for (int r = first; r < 4; r++)
            for (int k = 0; k < 4; k++) {
                EXPECT_EQ(0, t->rotations[r][k].x) << s.roll;
                EXPECT_EQ(0, t->rotations[r][k].y) << s.roll;
            }
    }
}

TEST(Tetrad, BlockNeverTurnsAndBadDirectionsAreRefused)
{
    std::unique_ptr<Tetrad> block = Make(0);
    POINT cells[4];
    int rot = 77;
    EXPECT_EQ(0, block->Turned(+1, cells, &rot));
    EXPECT_EQ(0, block->Turned(-1, cells, &rot));
    EXPECT_EQ(77, rot);

    std::unique_ptr<Tetrad> tee = Make(2);
    for (int dir : {0, 2, -2, 100})
        EXPECT_EQ(0, tee->Turned(dir, cells, &rot)) << dir;
    EXPECT_EQ(77, rot);
}

TEST(Tetrad, TurnDoesNotChangeThePieceItself)
{
    std::unique_ptr<Tetrad> t = Make(3);
    POINT cells[4];
    int rot = -1;
    ASSERT_EQ(1, t->Turned(+1, cells, &rot));
    EXPECT_EQ(1, rot);
    EXPECT_EQ(0, t->currentrot);
    ExpectOffsets(t->blocks, kShapes[3].orient[0], "untouched");
}

TEST(Tetrad, CorruptOrientationIsRefusedNotIndexed)
{
    std::unique_ptr<Tetrad> t = Make(2);
    POINT cells[4];
    int rot = 0;
    t->currentrot = 4;
    EXPECT_EQ(0, t->Turned(+1, cells, &rot));
    t->currentrot = -1;
    EXPECT_EQ(0, t->Turned(-1, cells, &rot));
    t->currentrot = 0;
    t->nrotations = 9;
    EXPECT_EQ(0, t->Turned(+1, cells, &rot));
}

// Tests of the seven shapes and the turning arithmetic.
#include <gtest/gtest.h>

#include <memory>

#include "tetrad.h"

namespace {

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
    // The shape classes are what the rolls create.
    std::unique_ptr<Tetrad> made[7] = {
        std::unique_ptr<Tetrad>(new BlockTetrad), std::unique_ptr<Tetrad>(new LineTetrad),
        std::unique_ptr<Tetrad>(new TeeTetrad), std::unique_ptr<Tetrad>(new EllTetrad),
        std::unique_ptr<Tetrad>(new BackwardsEllTetrad), std::unique_ptr<Tetrad>(new EssTetrad),
        std::unique_ptr<Tetrad>(new ZeeTetrad)};
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
        EXPECT_EQ(s.type, made[s.roll]->type);
        EXPECT_EQ(s.color, made[s.roll]->color);
        ExpectOffsets(made[s.roll]->blocks, s.orient[0], "class");
        // Every shape covers the entry cell (6, 0), which game over relies on.
        int covers = 0;
        for (int k = 0; k < 4; k++)
            covers |= t->pos.x + t->blocks[k].x == 6 && t->pos.y + t->blocks[k].y == 0;
        EXPECT_TRUE(covers);
    }
    EXPECT_EQ(nullptr, CreateTetrad(-1));
    EXPECT_EQ(nullptr, CreateTetrad(7));
    EXPECT_EQ(nullptr, CreateTetrad(32767));
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
            // Within one row above and two below the reference point: the
            // playfield's repaint bands rely on it.
            for (int k = 0; k < 4; k++)
                EXPECT_TRUE(t->blocks[k].y >= -1 && t->blocks[k].y <= 2);
        }
        EXPECT_EQ(s.pos.x, t->pos.x);
        EXPECT_EQ(s.pos.y, t->pos.y);
    }
}

TEST(Tetrad, CounterClockwiseTurnsAreTheOtherWayRound)
{
    for (const ShapeInfo& s : kShapes) {
        if (s.nrotations == 1)
            continue;
        SCOPED_TRACE(s.roll);
        // From 0 it equals nrotations - 1 clockwise turns.
        std::unique_ptr<Tetrad> ccw = Make(s.roll);
        Turn(ccw.get(), -1);
        EXPECT_EQ(s.nrotations - 1, ccw->currentrot);
        ExpectOffsets(ccw->blocks, s.orient[s.nrotations - 1], "counter-clockwise from 0");
        // And it undoes a clockwise turn from every orientation.
        for (int r = 0; r < s.nrotations; r++) {
            std::unique_ptr<Tetrad> t = Make(s.roll);
            for (int i = 0; i <= r; i++)
                Turn(t.get(), +1);
            Turn(t.get(), -1);
            EXPECT_EQ(r, t->currentrot);
            ExpectOffsets(t->blocks, s.orient[r], "turned there and back");
        }
    }
}

TEST(Tetrad, RefusedTurnsWriteNothing)
{
    POINT cells[4];
    int rot = 77;
    std::unique_ptr<Tetrad> block = Make(0);
    EXPECT_EQ(0, block->Turned(+1, cells, &rot));
    EXPECT_EQ(0, block->Turned(-1, cells, &rot));
    std::unique_ptr<Tetrad> tee = Make(2);
    for (int dir : {0, 2, -2, 100})
        EXPECT_EQ(0, tee->Turned(dir, cells, &rot)) << dir;
    EXPECT_EQ(77, rot);
    // A corrupt orientation is refused, not used as an index.
    for (int bad : {4, -1}) {
        tee->currentrot = bad;
        EXPECT_EQ(0, tee->Turned(+1, cells, &rot)) << bad;
        EXPECT_EQ(0, tee->Turned(-1, cells, &rot)) << bad;
    }
    tee->currentrot = 0;
    tee->nrotations = 9;
    EXPECT_EQ(0, tee->Turned(+1, cells, &rot));
}

TEST(Tetrad, TurnedDoesNotChangeThePieceItself)
{
    std::unique_ptr<Tetrad> t = Make(3);
    POINT cells[4];
    int rot = -1;
    ASSERT_EQ(1, t->Turned(+1, cells, &rot));
    EXPECT_EQ(1, rot);
    EXPECT_EQ(0, t->currentrot);
    ExpectOffsets(t->blocks, kShapes[3].orient[0], "untouched");
}

// tetrad.cpp - the seven shapes and the turning arithmetic.
#include "tetrad.h"

#include <new>

namespace {

// Tables are written as {x, y} pairs, cell 0..3 in order.
typedef LONG CellTable[TETRAD_CELLS][2];

void SetCells(POINT dst[TETRAD_CELLS], const CellTable src)
{
    for (int k = 0; k < TETRAD_CELLS; k++) {
        dst[k].x = src[k][0];
        dst[k].y = src[k][1];
    }
}

// Pieces with one orientation (and the first rows of a shape) are set
// explicitly; every row a shape leaves unset stays zero, so a stray read
// can never move a cell.
void SetShape(Tetrad* t, DWORD type, int color, LONG y, int nrot,
              const CellTable start, const CellTable* rows)
{
    t->type = type;
    t->color = color;
    t->pos.y = y;
    t->nrotations = nrot;
    SetCells(t->blocks, start);
    if (nrot > 1)
        for (int r = 0; r < nrot; r++)
            SetCells(t->rotations[r], rows[r]);
}

} // namespace

Tetrad::Tetrad()
    : type(0), nrotations(1), currentrot(0), color(0)
{
    pos.x = 6;
    pos.y = 0;
    for (int k = 0; k < TETRAD_CELLS; k++) {
        blocks[k].x = 0;
        blocks[k].y = 0;
        for (int r = 0; r < MAX_ROTATIONS; r++) {
            rotations[r][k].x = 0;
            rotations[r][k].y = 0;
        }
    }
}

int Tetrad::Turned(int dir, POINT cells[TETRAD_CELLS], int* newrot) const
{
    if ((dir != 1 && dir != -1) || nrotations <= 1 || nrotations > MAX_ROTATIONS)
        return 0;
    // A corrupt orientation must not index past the table.
    if (currentrot < 0 || currentrot >= nrotations)
        return 0;
    int rot = currentrot;
    if (dir > 0) {
        // Clockwise: apply the row of the orientation we leave.
        for (int k = 0; k < TETRAD_CELLS; k++) {
            cells[k].x = blocks[k].x + rotations[rot][k].x;
            cells[k].y = blocks[k].y + rotations[rot][k].y;
        }
        rot = (rot + 1) % nrotations;
    } else {
        // Counter-clockwise undoes the row of the orientation we return to.
        rot = (rot == 0) ? nrotations - 1 : rot - 1;
        for (int k = 0; k < TETRAD_CELLS; k++) {
            cells[k].x = blocks[k].x - rotations[rot][k].x;
            cells[k].y = blocks[k].y - rotations[rot][k].y;
        }
    }
    *newrot = rot;
    return 1;
}

BlockTetrad::BlockTetrad()
{
    static const CellTable start = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    SetShape(this, 0, 0, 0, 1, start, nullptr);
}

LineTetrad::LineTetrad()
{
    static const CellTable start = {{-1, 0}, {0, 0}, {1, 0}, {2, 0}};
    static const CellTable rows[2] = {
        {{1, -1}, {0, 0}, {-1, 1}, {-2, 2}},
        {{-1, 1}, {0, 0}, {1, -1}, {2, -2}},
    };
    SetShape(this, 1, 1, 0, 2, start, rows);
}

TeeTetrad::TeeTetrad()
{
    static const CellTable start = {{0, 0}, {-1, 0}, {0, -1}, {1, 0}};
    static const CellTable rows[4] = {
        {{0, 0}, {1, -1}, {1, 1}, {-1, 1}},
        {{0, 0}, {1, 1}, {-1, 1}, {-1, -1}},
        {{0, 0}, {-1, 1}, {-1, -1}, {1, -1}},
        {{0, 0}, {-1, -1}, {1, -1}, {1, 1}},
    };
    SetShape(this, 6, 2, 1, 4, start, rows);
}

EllTetrad::EllTetrad()
{
    static const CellTable start = {{0, 0}, {0, -1}, {0, 1}, {1, 1}};
    static const CellTable rows[4] = {
        {{0, 0}, {1, 1}, {-1, -1}, {-2, 0}},
        {{0, 0}, {-1, 1}, {1, -1}, {0, -2}},
        {{0, 0}, {-1, -1}, {1, 1}, {2, 0}},
        {{0, 0}, {1, -1}, {-1, 1}, {0, 2}},
    };
    SetShape(this, 2, 3, 1, 4, start, rows);
}

BackwardsEllTetrad::BackwardsEllTetrad()
{
    static const CellTable start = {{0, 0}, {0, -1}, {0, 1}, {-1, 1}};
    static const CellTable rows[4] = {
        {{0, 0}, {1, 1}, {-1, -1}, {0, -2}},
        {{0, 0}, {-1, 1}, {1, -1}, {2, 0}},
        {{0, 0}, {-1, -1}, {1, 1}, {0, 2}},
        {{0, 0}, {1, -1}, {-1, 1}, {-2, 0}},
    };
    SetShape(this, 3, 4, 1, 4, start, rows);
}

EssTetrad::EssTetrad()
{
    static const CellTable start = {{0, 0}, {0, -1}, {1, -1}, {-1, 0}};
    static const CellTable rows[2] = {
        {{0, 0}, {1, 1}, {0, 2}, {1, -1}},
        {{0, 0}, {-1, -1}, {0, -2}, {-1, 1}},
    };
    SetShape(this, 4, 5, 1, 2, start, rows);
}

ZeeTetrad::ZeeTetrad()
{
    static const CellTable start = {{0, 0}, {0, -1}, {-1, -1}, {1, 0}};
    static const CellTable rows[2] = {
        {{0, 0}, {1, 1}, {2, 0}, {-1, 1}},
        {{0, 0}, {-1, -1}, {-2, 0}, {1, -1}},
    };
    SetShape(this, 5, 6, 1, 2, start, rows);
}

Tetrad* CreateTetrad(int roll)
{
    // nothrow: the program has no exceptions, and the playfield copes with
    // a missing piece by trying again at a later frame.
    switch (roll) {
    case 0: return new (std::nothrow) BlockTetrad;
    case 1: return new (std::nothrow) LineTetrad;
    case 2: return new (std::nothrow) TeeTetrad;
    case 3: return new (std::nothrow) EllTetrad;
    case 4: return new (std::nothrow) BackwardsEllTetrad;
    case 5: return new (std::nothrow) EssTetrad;
    case 6: return new (std::nothrow) ZeeTetrad;
    default: return nullptr;
    }
}

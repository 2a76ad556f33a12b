// tetrad.h - the falling pieces.
//
// A Tetrad is four cells stored as offsets from a reference point `pos`
// in the well, plus a table of how each offset changes on a clockwise
// turn. The seven shapes differ only in what their constructors fill in;
// pieces are held and deleted through Tetrad*, so Tetrad has no virtual
// members and the shape classes add no data.
#ifndef TETRAD_H
#define TETRAD_H

#include <windows.h>

#include "stkdefs.h"

class Tetrad {
public:
    DWORD type;                                     // shape number 0..6, indexes StakkaGrid::stats
    POINT pos;                                      // well cell of offset (0,0)
    POINT blocks[TETRAD_CELLS];                     // cell offsets in the current orientation
    int nrotations;                                 // 1, 2 or 4 orientations
    int currentrot;                                 // 0..nrotations-1
    POINT rotations[MAX_ROTATIONS][TETRAD_CELLS];   // change of each offset on a clockwise turn from row r
    int color;                                      // colour index 0..6; a landed cell stores color + 1

    Tetrad();

    // Computes the cells of a turn without committing it, so the playfield
    // can test them first. dir +1 turns clockwise, -1 counter-clockwise;
    // writes the turned offsets to `cells` and the resulting orientation to
    // *newrot. Returns 0 (and writes nothing) for any other dir and for a
    // shape that never turns.
    int Turned(int dir, POINT cells[TETRAD_CELLS], int* newrot) const;

private:
    Tetrad(const Tetrad&) = delete;
    Tetrad& operator=(const Tetrad&) = delete;
};

class BlockTetrad : public Tetrad { public: BlockTetrad(); };
class LineTetrad : public Tetrad { public: LineTetrad(); };
class TeeTetrad : public Tetrad { public: TeeTetrad(); };
class EllTetrad : public Tetrad { public: EllTetrad(); };
class BackwardsEllTetrad : public Tetrad { public: BackwardsEllTetrad(); };
class EssTetrad : public Tetrad { public: EssTetrad(); };
class ZeeTetrad : public Tetrad { public: ZeeTetrad(); };

// Creates the shape of a random roll 0..6 (0 BlockTetrad, 1 LineTetrad,
// 2 TeeTetrad, 3 EllTetrad, 4 BackwardsEllTetrad, 5 EssTetrad,
// 6 ZeeTetrad) in orientation 0 at its creation position. Returns null for
// a roll outside 0..6 or when memory runs out; the caller owns the piece.
Tetrad* CreateTetrad(int roll);

#endif // TETRAD_H

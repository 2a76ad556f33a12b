// grid.cpp - the game rules of the playfield: moving and turning the
// falling piece, the frame loop, line clearing and scoring.
//
// Nothing here draws; the rules only ask for repaints through Redraw(),
// RepaintNext() and RepaintScore(), which the display side provides.
#include "grid.h"

#include <stdlib.h>

#include "clock.h"
#include "tetrad.h"

namespace {

// Points for 1..4 rows cleared by one landing; index 0 is never used.
const DWORD kLinePoints[TETRAD_CELLS + 1] = {0, 100, 500, 1000, 2000};

} // namespace

void StakkaGrid::InitGameState()
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            field[x][y] = 0;
    lines = 0;
    level = 0;
    for (int t = 0; t < TETRAD_TYPES; t++)
        stats[t] = 0;
    score = 0;
    fallingFast = 0;
    rotating = 0;
    active = 0;
    paused = 0;
    pActiveTetrad = nullptr;
    pNextTetrad = nullptr;
    nextFrame = 0;
    curTime = 0;
    delay_nextpiece = DELAY_NEXTPIECE;
    delay_drop_normal = DELAY_DROP_START;
    delay_drop_fast = DELAY_DROP_FAST;
    delay_drop = delay_drop_normal;
    hooks = nullptr;
    banner = nullptr;
    statsView = nullptr;
}

StakkaGrid::StakkaGrid()
    : hwndParent(NULL), hwndGrid(NULL), hwndNext(NULL), hwndScore(NULL), hwndStats(NULL),
      hDll(NULL), opt(nullptr), go(nullptr), font(NULL), fontwidth(0), fontheight(0),
      bmBlocks(NULL), hbm(NULL), backgrnd(nullptr), nblocks(0), hblocks(0), vblocks(0),
      hdcField(NULL)
{
    // No surface: Redraw() returns before drawing, the panel repaints find no window.
    for (int k = 0; k < MAX_BLOCK_IMAGES; k++) {
        blockbm[k] = NULL;
        blocks[k] = nullptr;
    }
    InitGameState();
}

int StakkaGrid::Active()
{
    return active;
}

void StakkaGrid::Setup()
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            field[x][y] = 0;
    // Normally there is no falling piece here; if there were, dropping the
    // pointer alone would leak it.
    delete pActiveTetrad;
    pActiveTetrad = nullptr;
    Redraw(REDRAW_ALL);
}

void StakkaGrid::Reset()
{
    // lines, level, score, stats, the fall speed, paused, fallingFast,
    // rotating and nextFrame deliberately run on from the previous game.
    Setup();
    active = 1;
}

void StakkaGrid::Stop()
{
    if (!active)
        return;
    active = 0;
    delete pActiveTetrad;
    pActiveTetrad = nullptr;
    delete pNextTetrad;
    pNextTetrad = nullptr;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            field[x][y] = 0;
    Redraw(REDRAW_ALL);
    // The waiting piece is gone: its picture must not stay in the panel.
    RepaintNext();
}

void StakkaGrid::TogglePause()
{
    if (!active)
        return;
    paused = !paused;
    Redraw(REDRAW_ALL);
}

Tetrad* StakkaGrid::NextTetrad()
{
    if (hooks)
        return CreateTetrad(hooks->NextPieceType() % TETRAD_TYPES);
    return CreateTetrad(rand() % TETRAD_TYPES);
}

int StakkaGrid::isFreeCell(LONG x, LONG y)
{
    return x >= 0 && x < WELL_COLS && y >= 0 && y < WELL_ROWS && field[x][y] == 0;
}

int StakkaGrid::isTetradBlocked()
{
    if (!pActiveTetrad)
        return 0;
    // A cell outside the well counts as blocked rather than being read.
    const Tetrad* t = pActiveTetrad;
    for (int k = 0; k < TETRAD_CELLS; k++)
        if (!isFreeCell(t->pos.x + t->blocks[k].x, t->pos.y + t->blocks[k].y))
            return 1;
    return 0;
}

void StakkaGrid::RedrawAroundPiece()
{
    // Five two-row bands cover rows pos.y-2 .. pos.y+3: every cell of a
    // piece lies within one row above and two below its reference point,
    // so the bands hold both the old and the new cells of any one-cell move.
    // Bands above row 0 are ignored by Redraw.
    LONG y = pActiveTetrad->pos.y;
    for (LONG line = y - 2; line <= y + 2; line++)
        Redraw((int)line);
}

void StakkaGrid::ShiftTetrad(int dir)
{
    if ((dir != -1 && dir != 1) || !pActiveTetrad)
        return;
    Tetrad* t = pActiveTetrad;
    LONG nx = t->pos.x + dir;
    for (int k = 0; k < TETRAD_CELLS; k++)
        if (!isFreeCell(nx + t->blocks[k].x, t->pos.y + t->blocks[k].y))
            return;
    t->pos.x = nx;
    RedrawAroundPiece();
}

void StakkaGrid::RotateTetrad(int dir)
{
    if ((dir != -1 && dir != 1) || !pActiveTetrad)
        return;
    Tetrad* t = pActiveTetrad;
    POINT cells[TETRAD_CELLS];
    int newrot = t->currentrot;
    // Turned() refuses one-orientation shapes: they never turn.
    if (!t->Turned(dir, cells, &newrot))
        return;
    // No nudging: a turn that does not fit where it is is refused, and
    // currentrot is only committed with the cells.
    for (int k = 0; k < TETRAD_CELLS; k++)
        if (!isFreeCell(t->pos.x + cells[k].x, t->pos.y + cells[k].y))
            return;
    for (int k = 0; k < TETRAD_CELLS; k++)
        t->blocks[k] = cells[k];
    t->currentrot = newrot;
    RedrawAroundPiece();
}

int StakkaGrid::DropTetrad()
{
    if (!pActiveTetrad)
        return 0;
    Tetrad* t = pActiveTetrad;
    LONG ny = t->pos.y + 1;
    int land = 0;
    for (int k = 0; k < TETRAD_CELLS && !land; k++)
        if (!isFreeCell(t->pos.x + t->blocks[k].x, ny + t->blocks[k].y))
            land = 1;
    if (!land) {
        t->pos.y = ny;
        RedrawAroundPiece();
        return 0;
    }
    for (int k = 0; k < TETRAD_CELLS; k++) {
        LONG x = t->pos.x + t->blocks[k].x;
        LONG y = t->pos.y + t->blocks[k].y;
        if (x >= 0 && x < WELL_COLS && y >= 0 && y < WELL_ROWS)
            field[x][y] = t->color + 1;
    }
    int l[2];
    DWORD linesBefore = lines;
    if (CheckClearLines(l)) {
        // Only the span of cleared rows is repainted now; the rows above,
        // which moved down, follow with the whole well when the next piece
        // enters. A landing without clears needs no repaint: the settled
        // cells look exactly as the falling piece did.
        // Redraw draws the falling piece over every band, and the landed
        // piece is still the falling piece until the frame loop deletes it;
        // hide it meanwhile, or its old cells would show over the cleared
        // rows until the next piece enters.
        Tetrad* landed = pActiveTetrad;
        pActiveTetrad = nullptr;
        for (int row = l[1]; row <= l[0]; row++)
            Redraw(row);
        pActiveTetrad = landed;
    }
    if (hooks)
        hooks->Landed(this, (int)(lines - linesBefore));
    return 1;
}

void StakkaGrid::SetDelayDropFast()
{
    if (!pActiveTetrad || fallingFast)
        return;
    fallingFast = 1;
    delay_drop = delay_drop_fast;
    // From the last frame's time, not from now: the step comes 25 ms after
    // the last frame even if the normal step was due sooner.
    nextFrame = curTime + (DWORD)delay_drop;
}

void StakkaGrid::KeyDown(UINT vk, const int keys[NUM_KEYS])
{
    // Three independent checks; where two bindings share a key, the later
    // test wins.
    int dir = 0;
    if (vk == (UINT)keys[KEY_LEFT])
        dir = -1;
    if (vk == (UINT)keys[KEY_RIGHT])
        dir = 1;
    if (dir)
        ShiftTetrad(dir);

    dir = 0;
    if (vk == (UINT)keys[KEY_ROTATE_CW])
        dir = 1;
    if (vk == (UINT)keys[KEY_ROTATE_CCW])
        dir = -1;
    // Auto-repeat must not spin the piece: one turn per press.
    if (dir && !rotating) {
        RotateTetrad(dir);
        rotating = 1;
    }

    if (vk == (UINT)keys[KEY_DROP])
        SetDelayDropFast();
}

void StakkaGrid::KeyUp(UINT vk, const int keys[NUM_KEYS])
{
    if (vk == (UINT)keys[KEY_ROTATE_CW] || vk == (UINT)keys[KEY_ROTATE_CCW])
        rotating = 0;
    if (vk == (UINT)keys[KEY_DROP]) {
        // The step already scheduled keeps its time.
        fallingFast = 0;
        delay_drop = delay_drop_normal;
    }
}

void StakkaGrid::FillWell()
{
    // Column by column, top to bottom; c_last carries over from the bottom
    // of one column to the top of the next, so no cell repeats its left
    // neighbour or the cell filled just before it.
    int c_last = 0;
    for (int x = 0; x < WELL_COLS; x++) {
        for (int y = 0; y < WELL_ROWS; y++) {
            int c;
            do {
                c = rand() % TETRAD_TYPES + 1;
            } while ((x > 0 && c == field[x - 1][y]) || c == c_last);
            field[x][y] = c;
            c_last = c;
        }
    }
}

void StakkaGrid::RunFrame()
{
    if (!active || paused)
        return;
    DWORD now = StkTickCount();
    // nextFrame was always scheduled from curTime, the last frame's time;
    // see clock.h for why the comparison is made that way.
    if (!StkTimeReached(now, curTime, nextFrame))
        return;
    curTime = now;

    if (pActiveTetrad) {
        if (!DropTetrad()) {
            nextFrame = curTime + (DWORD)delay_drop;
        } else {
            delete pActiveTetrad;
            pActiveTetrad = nullptr;
            nextFrame = curTime + (DWORD)delay_nextpiece;
        }
        return;
    }

    if (!pNextTetrad)
        pNextTetrad = NextTetrad();
    if (!pNextTetrad) {
        // Out of memory: no piece to bring in. Keep the game as it is and
        // try again after the usual gap rather than crash or end the game.
        nextFrame = curTime + (DWORD)delay_nextpiece;
        return;
    }
    pActiveTetrad = pNextTetrad;
    // May be null if memory ran out; the next entering piece makes it then.
    pNextTetrad = NextTetrad();
    RepaintNext();
    Redraw(REDRAW_ALL);
    delay_drop = delay_drop_normal;
    nextFrame = curTime + (DWORD)delay_drop;
    if (pActiveTetrad->type < TETRAD_TYPES)
        stats[pActiveTetrad->type]++;

    if (isTetradBlocked()) {
        active = 0;
        delete pActiveTetrad;
        pActiveTetrad = nullptr;
        delete pNextTetrad;
        pNextTetrad = nullptr;
        FillWell();
        Redraw(REDRAW_ALL);
        if (hooks)
            hooks->ToppedOut(this);
    }
}

int StakkaGrid::isFullRow(int row)
{
    if (row < 0 || row >= WELL_ROWS)
        return 0;
    for (int x = 0; x < WELL_COLS; x++)
        if (field[x][row] == 0)
            return 0;
    return 1;
}

int StakkaGrid::isEmptyRow(int row)
{
    if (row < 0 || row >= WELL_ROWS)
        return 0;
    for (int x = 0; x < WELL_COLS; x++)
        if (field[x][row] != 0)
            return 0;
    return 1;
}

void StakkaGrid::ClearRow(int row)
{
    if (row < 0 || row >= WELL_ROWS)
        return;
    for (int x = 0; x < WELL_COLS; x++)
        field[x][row] = 0;
}

void StakkaGrid::sort(int* row, int c)
{
    // A plain exchange sort, largest first: there are at most four rows.
    for (int pass = 0; pass < c - 1; pass++)
        for (int i = 0; i < c - 1; i++)
            if (row[i] < row[i + 1]) {
                int tmp = row[i];
                row[i] = row[i + 1];
                row[i + 1] = tmp;
            }
}

void StakkaGrid::DropRows(int r, int n)
{
    if (n <= 0)
        return;
    // Settled cells form one unbroken band of non-empty rows at the bottom,
    // so the walk up stops at the first empty row. The bounds are tested
    // before the row is read: a cleared row 0 gives r = -1.
    for (; r >= 0 && r < WELL_ROWS; r--) {
        if (r + n >= WELL_ROWS || isEmptyRow(r))
            return;
        for (int x = 0; x < WELL_COLS; x++) {
            field[x][r + n] = field[x][r];
            field[x][r] = 0;
        }
    }
}

int StakkaGrid::CheckClearLines(int* l)
{
    if (!pActiveTetrad)
        return 0;
    const Tetrad* t = pActiveTetrad;
    int rows[TETRAD_CELLS];
    int nrows = 0;
    for (int k = 0; k < TETRAD_CELLS; k++) {
        int y = (int)(t->pos.y + t->blocks[k].y);
        int seen = 0;
        for (int i = 0; i < nrows; i++)
            if (rows[i] == y)
                seen = 1;
        if (!seen)
            rows[nrows++] = y;
    }

    int cleared[TETRAD_CELLS];
    int ncleared = 0;
    for (int i = 0; i < nrows; i++)
        if (isFullRow(rows[i])) {
            cleared[ncleared++] = rows[i];
            ClearRow(rows[i]);
        }
    if (ncleared == 0)
        return 0;

    sort(cleared, ncleared);
    // Bottom-up with a growing distance: each surviving row ends up as many
    // rows lower as there are cleared rows beneath it.
    for (int k = 0; k < ncleared; k++)
        DropRows(cleared[k] - 1, k + 1);
    l[0] = cleared[0];
    l[1] = cleared[ncleared - 1];
    IncLines(ncleared);
    return 1;
}

void StakkaGrid::IncLines(int nlines)
{
    // A count below 1 would run the counters backwards; counts above four
    // cannot come from one piece and earn no points.
    if (nlines < 1)
        return;
    lines += (DWORD)nlines;
    if (nlines <= TETRAD_CELLS)
        score += kLinePoints[nlines];
    // At most one level per clear: a clear adds at most four lines.
    if (lines >= (level + 1) * LINES_PER_LEVEL) {
        level++;
        delay_drop_normal -= DELAY_DROP_STEP;
        if (delay_drop_normal < DELAY_DROP_MIN)
            delay_drop_normal = DELAY_DROP_MIN;
    }
    RepaintScore();
}

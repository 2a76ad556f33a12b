// fake_display.cpp - the display members of StakkaGrid for the rules tests (see the header).
#include "fake_display.h"

#include <string.h>

#include "grid.h"
#include "tetrad.h"

FakeDisplay fakeDisplay;

namespace {
int shown[WELL_COLS][WELL_ROWS];   // -1: never composed
int pauseShown;

// The well as the window must show it, or 0 if the piece lies outside the well.
int Truth(const StakkaGrid& g, int out[WELL_COLS][WELL_ROWS], int top, int bottom)
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = top; y <= bottom; y++)
            out[x][y] = g.field[x][y];
    if (const Tetrad* t = g.pActiveTetrad)
        for (int k = 0; k < TETRAD_CELLS; k++) {
            LONG x = t->pos.x + t->blocks[k].x, y = t->pos.y + t->blocks[k].y;
            if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS)
                return 0;
            if (y >= top && y <= bottom)
                out[x][y] = t->color + 1;
        }
    return 1;
}
} // namespace

int FakeDisplayShowsTruth(const StakkaGrid& g)
{
    int want[WELL_COLS][WELL_ROWS];
    return pauseShown == g.paused && Truth(g, want, 0, WELL_ROWS - 1) &&
           (g.paused || memcmp(want, shown, sizeof want) == 0);
}

int FakeDisplayShowsRow(const StakkaGrid& g, int y)
{
    for (int x = 0; x < WELL_COLS; x++)
        if (shown[x][y] != g.field[x][y])
            return 0;
    return 1;
}

StakkaGrid::StakkaGrid(HWND hwnd, HINSTANCE hinstDll, OPTIONS* op)
    : hwndParent(hwnd), hDll(hinstDll), opt(op)
{
    memset(shown, 0xFF, sizeof shown);
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
    fakeDisplay.redraws++;
    if (line != REDRAW_ALL && (line < -2 || line > WELL_ROWS + 1))
        fakeDisplay.badBands++;
    int top = line == REDRAW_ALL ? 0 : line;
    int bottom = line == REDRAW_ALL ? WELL_ROWS - 1 : line + 1;
    if (line != REDRAW_ALL && (line < 0 || line >= WELL_ROWS))
        return;
    if (bottom >= WELL_ROWS)
        bottom = WELL_ROWS - 1;
    pauseShown = paused;
    if (!paused)
        Truth(*this, shown, top, bottom);
}

void StakkaGrid::RepaintNext() { fakeDisplay.nextRepaints++; }
void StakkaGrid::RepaintScore() { fakeDisplay.scoreRepaints++; }
void StakkaGrid::Draw(HDC) {}
int StakkaGrid::ToggleGrid() { return 0; }
int StakkaGrid::TogglePreview() { return 0; }
void StakkaGrid::UpdateGfxOptions() {}
void StakkaGrid::SetupGfxOptionData(GFXOPTIONSDATA&) {}
void StakkaGrid::SetGridFocus() {}

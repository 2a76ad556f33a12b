// fake_display.cpp - StakkaGrid's display members for the rules tests.
#include "fake_display.h"

#include "grid.h"
#include "tetrad.h"

namespace {
std::vector<FakeCall> fakeLog;
FakeScreen fakeScreen;

void ComposeRow(const StakkaGrid* g, int y)
{
    for (int x = 0; x < WELL_COLS; x++)
        fakeScreen.cell[x][y] = g->field[x][y];
    fakeScreen.pauseRow[y] = 0;
}
} // namespace

std::vector<FakeCall>& FakeDisplayLog() { return fakeLog; }
void FakeDisplayClearLog() { fakeLog.clear(); }
const FakeScreen& FakeDisplayScreen() { return fakeScreen; }

int FakeDisplayCount(FakeCallKind kind, int line)
{
    int n = 0;
    for (const FakeCall& c : fakeLog)
        if (c.kind == kind && (line == -1000 || c.line == line))
            n++;
    return n;
}

std::vector<int> FakeDisplayRedraws()
{
    std::vector<int> v;
    for (const FakeCall& c : fakeLog)
        if (c.kind == CALL_REDRAW)
            v.push_back(c.line);
    return v;
}

int FakeDisplayShowsTruth(const StakkaGrid& g)
{
    int want[WELL_COLS][WELL_ROWS];
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            want[x][y] = g.field[x][y];
    if (const Tetrad* t = g.pActiveTetrad)
        for (int k = 0; k < TETRAD_CELLS; k++) {
            LONG x = t->pos.x + t->blocks[k].x, y = t->pos.y + t->blocks[k].y;
            if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS)
                return 0;
            want[x][y] = t->color + 1;
        }
    for (int y = 0; y < WELL_ROWS; y++) {
        if (fakeScreen.pauseRow[y] != g.paused)
            return 0;
        if (g.paused)
            continue;
        for (int x = 0; x < WELL_COLS; x++)
            if (fakeScreen.cell[x][y] != want[x][y])
                return 0;
    }
    return 1;
}

StakkaGrid::StakkaGrid(HWND hwnd, HINSTANCE hinstDll, OPTIONS* op)
    : hwndParent(hwnd), hwndGrid(nullptr), hwndNext(nullptr), hwndScore(nullptr),
      hwndStats(nullptr), hDll(hinstDll), opt(op), go(nullptr), font(nullptr),
      fontwidth(0), fontheight(0), bmBlocks(nullptr), hbm(nullptr), backgrnd(nullptr),
      nblocks(0), hblocks(0), vblocks(0), hdcField(nullptr)
{
    for (int k = 0; k < MAX_BLOCK_IMAGES; k++) {
        blockbm[k] = nullptr;
        blocks[k] = nullptr;
    }
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            fakeScreen.cell[x][y] = -1;   // nothing composed yet
    for (int y = 0; y < WELL_ROWS; y++)
        fakeScreen.pauseRow[y] = 0;
    InitGameState();
    Setup();
}

StakkaGrid::~StakkaGrid()
{
    delete pActiveTetrad;
    pActiveTetrad = nullptr;
    delete pNextTetrad;
    pNextTetrad = nullptr;
}

void StakkaGrid::Redraw(int line)
{
    fakeLog.push_back(FakeCall{CALL_REDRAW, line});
    int top, bottom;
    if (line == REDRAW_ALL) {
        top = 0;
        bottom = WELL_ROWS - 1;
    } else if (line >= 0 && line < WELL_ROWS) {
        top = line;
        bottom = line + 1 < WELL_ROWS ? line + 1 : line;
    } else {
        return;
    }
    if (paused) {
        for (int y = 0; y < WELL_ROWS; y++)
            fakeScreen.pauseRow[y] = 1;
        return;
    }
    for (int y = top; y <= bottom; y++)
        ComposeRow(this, y);
    if (const Tetrad* t = pActiveTetrad)
        for (int k = 0; k < TETRAD_CELLS; k++) {
            LONG x = t->pos.x + t->blocks[k].x, y = t->pos.y + t->blocks[k].y;
            // Only the band is shown on screen; the rest is not invalidated.
            if (x >= 0 && x < WELL_COLS && y >= top && y <= bottom)
                fakeScreen.cell[x][y] = t->color + 1;
        }
}

void StakkaGrid::RepaintNext() { fakeLog.push_back(FakeCall{CALL_REPAINT_NEXT, 0}); }
void StakkaGrid::RepaintScore() { fakeLog.push_back(FakeCall{CALL_REPAINT_SCORE, 0}); }

// Display members the rules never call; present so the class links.
void StakkaGrid::Draw(HDC) {}
int StakkaGrid::ToggleGrid() { return 0; }
int StakkaGrid::TogglePreview() { return 0; }
void StakkaGrid::UpdateGfxOptions() {}
void StakkaGrid::SetupGfxOptionData(GFXOPTIONSDATA&) {}
void StakkaGrid::SetGridFocus() {}

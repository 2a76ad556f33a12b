// Tests of the playfield's display side with real windows: construction and
// its failures, the field surface band by band, grid lines, blocks and
// schemes, the pause screen, the panels, keys, toggles and GDI leaks.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "blocks_module.h"
#include "bgimage.h"
#include "gdi_count.h"
#include "gfxopt.h"
#include "grid.h"
#include "image.h"
#include "options.h"
#include "tetrad.h"

namespace {

const COLORREF kBg = RGB(0x20, 0x40, 0x60);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const char kParentClass[] = "GridDrawTestParent";

std::vector<std::string> g_errors;

int WINAPI RecordError(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_errors.push_back(text);
    return IDOK;
}

void RegisterPanelClasses()
{
    static int done = 0;
    if (done)
        return;
    done = 1;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kParentClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = GridWndProc;
    wc.lpszClassName = "StakkaGrid";
    RegisterClassA(&wc);
    wc.lpfnWndProc = NextWndProc;
    wc.lpszClassName = "StakkaNext";
    RegisterClassA(&wc);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpfnWndProc = ScoreWndProc;
    wc.lpszClassName = "Score";
    RegisterClassA(&wc);
    wc.lpfnWndProc = StatsWndProc;
    wc.lpszClassName = "Stats";
    RegisterClassA(&wc);
}

// Panels post WM_QUIT when destroyed; a test must not leave it for the next.
void DrainQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

void SetOptions(OPTIONS& op)
{
    memset(&op, 0, sizeof op);
    op.windowpos.x = op.windowpos.y = 100;
    op.go.bg.flags = BG_SOLID;
    op.go.bg.color[0] = op.go.bg.color[1] = kBg;
    lstrcpynA(op.go.bs.name, "One", sizeof op.go.bs.name);
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
        op.go.bs.blocks[i] = (DWORD)i;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    const int keys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
    memcpy(op.co.keys, keys, sizeof keys);
    op.so.playMusic = 0;
}

// A 32-bit surface to print a panel into.
struct Canvas {
    HDC dc;
    HBITMAP bm;
    HGDIOBJ old;
    Canvas(int w, int h, COLORREF fill)
    {
        BITMAPINFO bi;
        memset(&bi, 0, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = NULL;
        dc = CreateCompatibleDC(NULL);
        bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
        old = SelectObject(dc, bm);
        RECT r = {0, 0, w, h};
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bm);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

struct GridDrawTest : ::testing::Test {
    HMODULE mod = NULL;
    HWND parent = NULL;
    OPTIONS op;
    StakkaGrid* g = NULL;
    MBERRORBOXPROC oldBox = NULL;

    void SetUp() override
    {
        RegisterPanelClasses();
        g_errors.clear();
        oldBox = SetMbErrorBox(RecordError);
        SetOptions(op);
        parent = MakeParent();
    }
    void TearDown() override
    {
        delete g;
        g = NULL;
        if (IsWindow(parent))
            DestroyWindow(parent);
        DrainQueue();
        if (mod)
            FreeBlocksModule(mod);
        SetMbErrorBox(oldBox);
    }
    static HWND MakeParent()
    {
        HWND w = CreateWindowExA(0, kParentClass, "Stakka", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 400, 500, NULL, NULL, GetModuleHandleA(NULL), NULL);
        SetForegroundWindow(w);
        return w;
    }
    void Build(int w = 160, int h = 96)
    {
        mod = MakeBlocksModule(w, h);
        ASSERT_NE((HMODULE)NULL, mod);
        g = new StakkaGrid(parent, mod, &op);
    }
    COLORREF Px(int x, int y) { return GetPixel(g->hdcField, x, y); }
    // The colour a cell's centre shows on the field surface.
    COLORREF Cell(int cx, int cy) { return Px(CELL * cx + 8, CELL * cy + 8); }
    void Validate() { ValidateRect(g->hwndGrid, NULL); }
    RECT Update()
    {
        RECT r = {0, 0, 0, 0};
        GetUpdateRect(g->hwndGrid, &r, FALSE);
        return r;
    }
    Tetrad* Give(int roll, LONG x, LONG y)
    {
        delete g->pActiveTetrad;
        g->pActiveTetrad = CreateTetrad(roll);
        g->pActiveTetrad->pos.x = x;
        g->pActiveTetrad->pos.y = y;
        return g->pActiveTetrad;
    }
    // A copy of the whole field surface.
    std::vector<COLORREF> Snapshot()
    {
        std::vector<COLORREF> v;
        for (int y = 0; y < WELL_HEIGHT; y += 2)
            for (int x = 0; x < WELL_WIDTH; x += 2)
                v.push_back(Px(x, y));
        return v;
    }
};

std::string ClassOf(HWND w)
{
    char name[64] = "";
    GetClassNameA(w, name, sizeof name);
    return name;
}

RECT PlaceIn(HWND child, HWND parent)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(NULL, parent, (POINT*)&r, 2);
    return r;
}

} // namespace

// ---- Construction -----------------------------------------------------------

TEST_F(GridDrawTest, BuildsFourPanelsWithTheirClassesIdsAndPlaces)
{
    Build();
    ASSERT_TRUE(g_errors.empty());
    struct {
        HWND w;
        const char* cls;
        const char* title;
        int id, x, y, cx, cy;
    } want[] = {
        {g->hwndGrid, "StakkaGrid", "Grid", 31337, 30, 30, 192, 352},
        {g->hwndNext, "StakkaNext", "Next", 31338, 230, 30, 112, 112},
        {g->hwndScore, "Score", "Score", 31340, 230, 172, 150, 90},
        {g->hwndStats, "Stats", "Stats", 31339, 230, 266, 150, 130},
    };
    for (auto& p : want) {
        ASSERT_TRUE(IsWindow(p.w)) << p.cls;
        EXPECT_EQ(p.cls, ClassOf(p.w));
        char title[32] = "";
        GetWindowTextA(p.w, title, sizeof title);
        EXPECT_STREQ(p.title, title);
        EXPECT_EQ(p.id, GetDlgCtrlID(p.w)) << p.cls;
        EXPECT_EQ(parent, GetParent(p.w));
        RECT r = PlaceIn(p.w, parent);
        EXPECT_EQ(p.x, r.left) << p.cls;
        EXPECT_EQ(p.y, r.top) << p.cls;
        EXPECT_EQ(p.cx, r.right - r.left) << p.cls;
        EXPECT_EQ(p.cy, r.bottom - r.top) << p.cls;
        LONG_PTR style = GetWindowLongPtrA(p.w, GWL_STYLE);
        EXPECT_EQ((LONG_PTR)(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE | WS_POPUP));
        EXPECT_EQ(0, GetWindowLongPtrA(p.w, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
    }
    EXPECT_EQ(g->hwndGrid, GetFocus());
    EXPECT_EQ(&op.go, g->go);
    EXPECT_EQ(10, g->fontheight);
    EXPECT_EQ(6, g->fontwidth);
    EXPECT_NE((HFONT)NULL, g->font);
}

TEST_F(GridDrawTest, StartsWithTheGameStateOfANewPlayfield)
{
    Build();
    EXPECT_EQ(0, g->active);
    EXPECT_EQ(0, g->paused);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_EQ(0, g->rotating);
    EXPECT_EQ(0u, g->nextFrame);
    EXPECT_EQ(50, g->delay_nextpiece);
    EXPECT_EQ(1500, g->delay_drop_normal);
    EXPECT_EQ(25, g->delay_drop_fast);
    EXPECT_EQ(1500, g->delay_drop);
    EXPECT_EQ(0u, g->lines + g->level + g->score);
    EXPECT_EQ(NULL, g->pActiveTetrad);
    EXPECT_EQ(NULL, g->pNextTetrad);
}

TEST_F(GridDrawTest, CutsTilesRowByRow)
{
    Build(160, 96);
    ASSERT_EQ(60u, g->nblocks);
    EXPECT_EQ(10u, g->hblocks);
    EXPECT_EQ(6u, g->vblocks);
    for (int k : {0, 9, 10, 37, 59}) {
        ASSERT_NE((Image*)NULL, g->blocks[k]);
        EXPECT_EQ(16, g->blocks[k]->size.cx);
        EXPECT_EQ(16, g->blocks[k]->size.cy);
        EXPECT_EQ(TileColor(k), GetPixel(g->blocks[k]->hdcImage, 0, 0)) << k;
        EXPECT_EQ(TileColor(k), GetPixel(g->blocks[k]->hdcImage, 15, 15)) << k;
    }
    EXPECT_EQ(NULL, g->blocks[60]);
    EXPECT_EQ(NULL, g->blockbm[60]);
}

TEST_F(GridDrawTest, TakesTheLargestBitmapTheTablesHold)
{
    Build(256, 256);
    ASSERT_TRUE(g_errors.empty());
    EXPECT_EQ(256u, g->nblocks);
    EXPECT_EQ(TileColor(255), GetPixel(g->blocks[255]->hdcImage, 8, 8));
}

struct RefusedSize {
    int w, h;
};

class GridDrawRefusesSize : public GridDrawTest,
                            public ::testing::WithParamInterface<RefusedSize> {};

TEST_P(GridDrawRefusesSize, WithTheMessageAndEndsTheProgram)
{
    Build(GetParam().w, GetParam().h);
    ASSERT_EQ(1u, g_errors.size());
    // A bitmap of no pixels at all may not even load; either way it is refused.
    if (GetParam().w > 0 && GetParam().h > 0)
        EXPECT_EQ("Incorrect block bitmap size", g_errors[0]);
    else
        EXPECT_TRUE(g_errors[0] == "Incorrect block bitmap size" ||
                    g_errors[0] == "Error loading block graphics")
            << g_errors[0];
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_EQ(0u, g->nblocks);
    EXPECT_EQ(NULL, g->backgrnd);
    EXPECT_EQ(NULL, g->hdcField);
    EXPECT_EQ(NULL, g->hwndGrid);
    // Nothing to draw on: asking changes nothing and does not crash.
    g->Redraw(REDRAW_ALL);
    g->SetGridFocus();
}

INSTANTIATE_TEST_SUITE_P(Sizes, GridDrawRefusesSize,
                         ::testing::Values(RefusedSize{160, 100}, RefusedSize{170, 96},
                                           RefusedSize{272, 256}, RefusedSize{16 * 257, 16},
                                           RefusedSize{0, 0}));

TEST_F(GridDrawTest, WithoutBlocksBitmapReportsAndEndsTheProgram)
{
    mod = MakeBlocksModule(0, 0, 0);
    ASSERT_NE((HMODULE)NULL, mod);
    g = new StakkaGrid(parent, mod, &op);
    ASSERT_EQ(1u, g_errors.size());
    EXPECT_EQ("Error loading block graphics", g_errors[0]);
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_EQ(NULL, g->bmBlocks);
    EXPECT_EQ(NULL, g->hwndGrid);
}

TEST_F(GridDrawTest, WithoutPanelClassReportsAndEndsTheProgram)
{
    UnregisterClassA("Stats", GetModuleHandleA(NULL));
    Build();
    ASSERT_EQ(1u, g_errors.size());
    EXPECT_EQ("Error creating child windows", g_errors[0]);
    EXPECT_FALSE(IsWindow(parent));
    // Everything up to the panels was made and goes with the object.
    EXPECT_EQ(60u, g->nblocks);
    EXPECT_NE((HDC)NULL, g->hdcField);
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpfnWndProc = StatsWndProc;
    wc.lpszClassName = "Stats";
    RegisterClassA(&wc);
}

TEST_F(GridDrawTest, ReleasesExactlyWhatItMade)
{
    // One whole life of a playfield: built, played, paused, restyled, painted, deleted.
    auto round = [this]() {
        if (!IsWindow(parent))
            parent = MakeParent();
        Build();
        g->Reset();
        g->RunFrame();
        g->TogglePause();
        g->TogglePause();
        g->UpdateGfxOptions();
        RedrawWindow(parent, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        delete g;
        g = NULL;
        DestroyWindow(parent);
        DrainQueue();
        FreeBlocksModule(mod);
        mod = NULL;
    };
    // The first life warms up what the system makes lazily on first drawing.
    round();
    int before = GdiObjectCount();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 3; i++)
        round();
    EXPECT_EQ(before, GdiObjectCount());
}

TEST_F(GridDrawTest, FailedConstructionLeaksNothing)
{
    Build(160, 100);
    delete g;
    g = NULL;
    DrainQueue();
    FreeBlocksModule(mod);
    mod = NULL;
    int before = GdiObjectCount();
    for (int round = 0; round < 3; round++) {
        parent = MakeParent();
        Build(160, 100);
        delete g;
        g = NULL;
        DrainQueue();
        FreeBlocksModule(mod);
        mod = NULL;
    }
    EXPECT_EQ(before, GdiObjectCount());
}

// ---- Redraw bands -----------------------------------------------------------

TEST_F(GridDrawTest, IgnoresValuesOutsideTheBands)
{
    Build();
    g->Redraw(REDRAW_ALL);
    std::vector<COLORREF> before = Snapshot();
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            g->field[x][y] = 1 + (x + y) % 7;
    for (int line : {-1, 22, 99, 101, -100, 1000}) {
        Validate();
        g->Redraw(line);
        RECT r = Update();
        EXPECT_TRUE(IsRectEmpty(&r)) << line;
        EXPECT_EQ(before, Snapshot()) << line;
    }
}

TEST_F(GridDrawTest, BandZeroRecomposesRowsZeroAndOne)
{
    Build();
    g->Redraw(REDRAW_ALL);
    for (int y = 0; y < 4; y++)
        g->field[3][y] = 1;
    Validate();
    g->Redraw(0);
    EXPECT_EQ(TileColor(0), Cell(3, 0));
    EXPECT_EQ(TileColor(0), Cell(3, 1));
    EXPECT_EQ(kBg, Cell(3, 2));
    EXPECT_EQ(kBg, Cell(3, 3));
    RECT r = Update();
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(192, r.right);
    EXPECT_EQ(32, r.bottom);
}

TEST_F(GridDrawTest, BandTwentyOneRecomposesTheLastRowAndInvalidatesBelowIt)
{
    Build();
    // A taller window shows the whole invalidated strip, which reaches below the well.
    SetWindowPos(g->hwndGrid, NULL, 0, 0, WELL_WIDTH, 400, SWP_NOMOVE | SWP_NOZORDER);
    g->Redraw(REDRAW_ALL);
    g->field[0][21] = 2;
    g->field[0][20] = 2;
    Validate();
    g->Redraw(21);
    EXPECT_EQ(TileColor(1), Cell(0, 21));
    EXPECT_EQ(kBg, Cell(0, 20));
    RECT r = Update();
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(336, r.top);
    EXPECT_EQ(192, r.right);
    EXPECT_EQ(368, r.bottom);
}

TEST_F(GridDrawTest, WholeWellRecomposesEveryRow)
{
    Build();
    for (int y = 0; y < WELL_ROWS; y++)
        g->field[y % WELL_COLS][y] = 1 + y % 7;
    Validate();
    g->Redraw(REDRAW_ALL);
    for (int y = 0; y < WELL_ROWS; y++)
        EXPECT_EQ(TileColor(y % 7), Cell(y % WELL_COLS, y)) << y;
    RECT r = Update();
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(352, r.bottom);
}

TEST_F(GridDrawTest, GridLinesLieOnInnerColumnEdgesAndRowTops)
{
    Build();
    g->Redraw(REDRAW_ALL);
    for (int x = 16; x <= 176; x += 16)
        for (int y : {1, 8, 200, 351})
            EXPECT_EQ(kBlack, Px(x, y)) << x << "," << y;
    for (int y = 0; y <= 336; y += 16)
        for (int x : {0, 8, 100, 191})
            EXPECT_EQ(kBlack, Px(x, y)) << x << "," << y;
    // None at the outer edges x 0 and 191 (x 192 is outside), nor at y 351 (352 outside).
    for (int y : {1, 8, 200, 350})
        EXPECT_EQ(kBg, Px(0, y)) << y;
    for (int y : {1, 8, 200, 350})
        EXPECT_EQ(kBg, Px(191, y)) << y;
    for (int x : {1, 8, 100, 190})
        EXPECT_EQ(kBg, Px(x, 351)) << x;
    EXPECT_EQ(kBg, Px(8, 8));
    EXPECT_EQ(kBg, Px(15, 15));
}

TEST_F(GridDrawTest, WithoutGridTheBackgroundShowsEverywhere)
{
    Build();
    op.go.drawGrid = 0;
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(kBg, Px(16, 8));
    EXPECT_EQ(kBg, Px(8, 16));
    EXPECT_EQ(kBg, Px(0, 0));
}

TEST_F(GridDrawTest, BlocksCoverGridLines)
{
    Build();
    g->field[1][1] = 1;
    g->Redraw(REDRAW_ALL);
    // The cell's own top and left edges carry grid lines under the block.
    EXPECT_EQ(TileColor(0), Px(16, 16));
    EXPECT_EQ(TileColor(0), Px(16, 31));
    EXPECT_EQ(TileColor(0), Px(31, 16));
    EXPECT_EQ(kBlack, Px(32, 20)); // the neighbour's edge still shows
}

TEST_F(GridDrawTest, SettledCellAndPieceUseTheSchemeImage)
{
    Build();
    op.go.bs.blocks[2] = 17;
    g->field[4][10] = 3;
    Tetrad* t = Give(2, 5, 3); // a TeeTetrad has colour 2
    ASSERT_EQ(2, t->color);
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(TileColor(17), Cell(4, 10));
    for (int i = 0; i < TETRAD_CELLS; i++)
        EXPECT_EQ(TileColor(17), Cell(t->pos.x + t->blocks[i].x, t->pos.y + t->blocks[i].y));
    // Changing the scheme recolours both at the next redraw.
    op.go.bs.blocks[2] = 42;
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(TileColor(42), Cell(4, 10));
    EXPECT_EQ(TileColor(42), Cell(t->pos.x + t->blocks[0].x, t->pos.y + t->blocks[0].y));
}

TEST_F(GridDrawTest, SchemeEntryOutsideTheImagesDrawsAPlainCell)
{
    Build(160, 96);
    op.go.bs.blocks[0] = 60; // one past the last image
    op.go.bs.blocks[1] = 0xFFFFFFFFu;
    op.go.bs.blocks[2] = 256;
    g->field[0][5] = 1;
    g->field[1][5] = 2;
    g->field[2][5] = 3;
    g->field[3][5] = 9; // no colour at all
    g->field[4][5] = -4;
    g->Redraw(REDRAW_ALL);
    for (int x = 0; x < 5; x++)
        EXPECT_EQ(kBlack, Cell(x, 5)) << x;
    EXPECT_EQ(NULL, g->BlockImage(0));
    EXPECT_EQ(NULL, g->BlockImage(-1));
    EXPECT_EQ(NULL, g->BlockImage(7));
    op.go.bs.blocks[0] = 59;
    EXPECT_EQ(g->blocks[59], g->BlockImage(0));
}

TEST_F(GridDrawTest, PieceIsDrawnWholeButOnlyTheBandIsInvalidated)
{
    Build();
    g->Redraw(REDRAW_ALL);
    Tetrad* t = Give(1, 5, 4); // a flat line in row 4... wherever its cells are
    int minRow = 100, maxRow = -1;
    for (int i = 0; i < TETRAD_CELLS; i++) {
        int row = t->pos.y + t->blocks[i].y;
        minRow = row < minRow ? row : minRow;
        maxRow = row > maxRow ? row : maxRow;
    }
    // A band below the piece's top row still draws every cell of it.
    Validate();
    g->Redraw(maxRow + 1);
    for (int i = 0; i < TETRAD_CELLS; i++)
        EXPECT_EQ(TileColor(t->color),
                  Cell(t->pos.x + t->blocks[i].x, t->pos.y + t->blocks[i].y));
    RECT r = Update();
    EXPECT_EQ(16 * (maxRow + 1), r.top);
    EXPECT_EQ(16 * (maxRow + 3), r.bottom);
    (void)minRow;
}

TEST_F(GridDrawTest, DrawCopiesTheFieldSurface)
{
    Build();
    g->field[11][21] = 4;
    g->Redraw(REDRAW_ALL);
    Canvas c(WELL_WIDTH, WELL_HEIGHT, kWhite);
    g->Draw(c.dc);
    EXPECT_EQ(TileColor(3), c.At(176 + 8, 336 + 8));
    EXPECT_EQ(kBg, c.At(8, 8));
    Canvas p(WELL_WIDTH, WELL_HEIGHT, kWhite);
    SendMessageA(g->hwndGrid, WM_PRINTCLIENT, (WPARAM)p.dc, PRF_CLIENT);
    EXPECT_EQ(TileColor(3), p.At(176 + 8, 336 + 8));
}

// ---- Pause screen -----------------------------------------------------------

namespace {

int DarkPixels(HDC dc, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            n += GetPixel(dc, x, y) == RGB(0, 0, 0);
    return n;
}

} // namespace

TEST_F(GridDrawTest, PauseScreenReplacesTheWell)
{
    Build();
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            g->field[x][y] = 1;
    g->paused = 1;
    Validate();
    g->Redraw(5);
    // Frame on the outer pixels, white inside, no cell.
    EXPECT_EQ(kBlack, Px(0, 0));
    EXPECT_EQ(kBlack, Px(191, 351));
    EXPECT_EQ(kBlack, Px(100, 0));
    EXPECT_EQ(kBlack, Px(0, 300));
    EXPECT_EQ(kWhite, Px(1, 1));
    EXPECT_EQ(kWhite, Px(8, 300));
    EXPECT_EQ(kWhite, Px(100, 100));
    // "PAUSED" in black, centred below y 150 and no text elsewhere.
    int text = DarkPixels(g->hdcField, 1, 150, 191, 200);
    EXPECT_GT(text, 200);
    EXPECT_EQ(0, DarkPixels(g->hdcField, 1, 1, 191, 149));
    EXPECT_EQ(0, DarkPixels(g->hdcField, 1, 202, 191, 351));
    int left = DarkPixels(g->hdcField, 1, 150, 96, 202);
    int right = DarkPixels(g->hdcField, 96, 150, 191, 202);
    EXPECT_GT(left, text / 4);
    EXPECT_GT(right, text / 4);
    RECT r = Update();
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(352, r.bottom);
    EXPECT_EQ(192, r.right);
}

TEST_F(GridDrawTest, PauseScreenStaysAcrossStopAndNewGameUntilUnpaused)
{
    Build();
    g->Reset();
    g->RunFrame();
    g->TogglePause();
    ASSERT_EQ(1, g->paused);
    EXPECT_EQ(kWhite, Px(100, 100));
    g->Stop();
    EXPECT_EQ(kWhite, Px(100, 100));
    EXPECT_EQ(kWhite, Px(8, 8));
    g->Reset();
    g->RunFrame(); // paused: nothing enters
    EXPECT_EQ(kWhite, Px(100, 100));
    EXPECT_EQ(NULL, g->pActiveTetrad);
    g->TogglePause();
    EXPECT_EQ(0, g->paused);
    EXPECT_EQ(kBg, Px(8, 8));
    EXPECT_EQ(kBlack, Px(16, 8));
}

TEST_F(GridDrawTest, PauseFontIsReleasedEachTime)
{
    Build();
    g->paused = 1;
    g->Redraw(REDRAW_ALL);
    int before = GdiObjectCount();
    for (int i = 0; i < 50; i++)
        g->Redraw(i % 22);
    EXPECT_EQ(before, GdiObjectCount());
}

// ---- Panels -----------------------------------------------------------------

TEST_F(GridDrawTest, NextPanelShowsFrameLabelAndPiece)
{
    Build();
    g->pNextTetrad = CreateTetrad(3);
    Tetrad* t = g->pNextTetrad;
    t->pos.x = 9; // ignored by the panel
    t->pos.y = 17;
    Canvas c(NEXT_SIZE, NEXT_SIZE, kWhite);
    SendMessageA(g->hwndNext, WM_PRINTCLIENT, (WPARAM)c.dc, PRF_CLIENT);
    // Red frame, 3 px wide, centred on the rectangle inset by 2.
    EXPECT_EQ(kRed, c.At(2, 56));
    EXPECT_EQ(kRed, c.At(109, 56));
    EXPECT_EQ(kRed, c.At(56, 2));
    EXPECT_EQ(kRed, c.At(56, 109));
    EXPECT_EQ(kWhite, c.At(0, 56)); // hollow inside, white outside
    EXPECT_EQ(kWhite, c.At(1, 1));
    // The label: black text in the top band, starting near x 112/2 - 2w.
    EXPECT_GT(DarkPixels(c.dc, 20, 5, 92, 20), 10);
    for (int i = 0; i < TETRAD_CELLS; i++) {
        int x = (t->blocks[i].x + 3) * 16, y = (t->blocks[i].y + 4) * 16;
        EXPECT_EQ(TileColor(t->color), c.At(x + 8, y + 8)) << i;
        EXPECT_EQ(TileColor(t->color), c.At(x, y)) << i;
    }
}

TEST_F(GridDrawTest, NextPanelWithPreviewOffShowsNoPiece)
{
    Build();
    g->pNextTetrad = CreateTetrad(0);
    op.go.preview = 0;
    Canvas c(NEXT_SIZE, NEXT_SIZE, kWhite);
    SendMessageA(g->hwndNext, WM_PRINTCLIENT, (WPARAM)c.dc, PRF_CLIENT);
    EXPECT_EQ(kRed, c.At(2, 56));
    EXPECT_GT(DarkPixels(c.dc, 20, 5, 92, 20), 10);
    for (int y = 24; y < 104; y += 4)
        for (int x = 8; x < 104; x += 4)
            ASSERT_EQ(kWhite, c.At(x, y)) << x << "," << y;
}

TEST_F(GridDrawTest, NextPanelWithoutPieceShowsFrameAndLabel)
{
    Build();
    Canvas c(NEXT_SIZE, NEXT_SIZE, kWhite);
    SendMessageA(g->hwndNext, WM_PRINTCLIENT, (WPARAM)c.dc, PRF_CLIENT);
    EXPECT_EQ(kRed, c.At(2, 56));
    for (int y = 24; y < 104; y += 4)
        for (int x = 8; x < 104; x += 4)
            ASSERT_EQ(kWhite, c.At(x, y)) << x << "," << y;
}

namespace {

// Rows and columns of a canvas where white text lies, within a box.
struct Ink {
    int top = 1000, bottom = -1, left = 1000, right = -1;
};

Ink WhiteInk(const Canvas& c, int x0, int y0, int x1, int y1)
{
    Ink ink;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (c.At(x, y) == RGB(255, 255, 255)) {
                ink.top = y < ink.top ? y : ink.top;
                ink.bottom = y > ink.bottom ? y : ink.bottom;
                ink.left = x < ink.left ? x : ink.left;
                ink.right = x > ink.right ? x : ink.right;
            }
    return ink;
}

} // namespace

TEST_F(GridDrawTest, ScorePanelShowsLabelsAndRightAlignedValues)
{
    Build();
    g->lines = 12;
    g->level = 1;
    g->score = 3400;
    Canvas c(SCORE_WIDTH, SCORE_HEIGHT, kBlack);
    SendMessageA(g->hwndScore, WM_PRINTCLIENT, (WPARAM)c.dc, PRF_CLIENT);
    const int rows[3] = {10, 25, 40};
    for (int i = 0; i < 3; i++) {
        // The text lines are 10 px high, starting at y 10, 25 and 40.
        Ink labels = WhiteInk(c, 0, rows[i], 70, rows[i] + 10);
        EXPECT_GE(labels.left, 10) << i;
        EXPECT_LE(labels.left, 12) << i;
        Ink values = WhiteInk(c, 70, rows[i], 150, rows[i] + 10);
        EXPECT_LE(values.right, 119) << i;
        EXPECT_GE(values.right, 115) << i;
    }
    // Nothing between or below the three lines, nothing right of x 120.
    EXPECT_EQ(-1, WhiteInk(c, 0, 0, 150, 10).bottom);
    EXPECT_EQ(-1, WhiteInk(c, 0, 20, 150, 25).bottom);
    EXPECT_EQ(-1, WhiteInk(c, 0, 35, 150, 40).bottom);
    EXPECT_EQ(-1, WhiteInk(c, 0, 50, 150, 90).bottom);
    EXPECT_EQ(-1, WhiteInk(c, 120, 0, 150, 90).bottom);
    // A longer value grows to the left.
    Ink shortScore = WhiteInk(c, 70, 40, 150, 50);
    g->score = 1234567;
    Canvas d(SCORE_WIDTH, SCORE_HEIGHT, kBlack);
    SendMessageA(g->hwndScore, WM_PRINTCLIENT, (WPARAM)d.dc, PRF_CLIENT);
    Ink longScore = WhiteInk(d, 60, 40, 150, 50);
    EXPECT_LT(longScore.left, shortScore.left);
    // Right-aligned: the last glyphs' own bearings may differ by a pixel.
    EXPECT_NEAR(shortScore.right, longScore.right, 2);
}

TEST_F(GridDrawTest, PanelRepaintsInvalidateWholePanels)
{
    Build();
    ValidateRect(g->hwndNext, NULL);
    ValidateRect(g->hwndScore, NULL);
    g->RepaintNext();
    RECT r;
    EXPECT_TRUE(GetUpdateRect(g->hwndNext, &r, FALSE));
    EXPECT_EQ(112, r.right);
    EXPECT_EQ(112, r.bottom);
    EXPECT_FALSE(GetUpdateRect(g->hwndScore, &r, FALSE));
    g->RepaintScore();
    EXPECT_TRUE(GetUpdateRect(g->hwndScore, &r, FALSE));
    EXPECT_EQ(150, r.right);
    EXPECT_EQ(90, r.bottom);
}

// ---- Keys -------------------------------------------------------------------

TEST_F(GridDrawTest, ArrowKeysMoveTheFallingPiece)
{
    Build();
    Tetrad* t = Give(2, 5, 5);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(4, t->pos.x);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(6, t->pos.x);
    // The well shows it where it went.
    EXPECT_EQ(TileColor(t->color), Cell(6 + t->blocks[0].x, 5 + t->blocks[0].y));
}

TEST_F(GridDrawTest, KeyBoundToBothShiftsShiftsRight)
{
    Build();
    op.co.keys[0] = op.co.keys[1] = 'A';
    Tetrad* t = Give(2, 5, 5);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(6, t->pos.x);
}

TEST_F(GridDrawTest, KeyBoundToBothTurnsTurnsCounterClockwiseOncePerPress)
{
    Build();
    op.co.keys[2] = op.co.keys[3] = 'R';
    Tetrad* t = Give(2, 5, 5); // four orientations
    ASSERT_EQ(4, t->nrotations);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'R', 0);
    EXPECT_EQ(3, t->currentrot);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'R', 0); // auto-repeat
    EXPECT_EQ(3, t->currentrot);
    SendMessageA(g->hwndGrid, WM_KEYUP, 'R', 0);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'R', 0);
    EXPECT_EQ(2, t->currentrot);
}

TEST_F(GridDrawTest, RebindingActsAtTheNextKey)
{
    Build();
    Tetrad* t = Give(2, 5, 5);
    op.co.keys[0] = 'J';
    SendMessageA(g->hwndGrid, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(5, t->pos.x);
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'J', 0);
    EXPECT_EQ(4, t->pos.x);
}

TEST_F(GridDrawTest, ReleasingDropFastRestoresTheNormalInterval)
{
    Build();
    Give(2, 5, 5);
    g->active = 1;
    SendMessageA(g->hwndGrid, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(1, g->fallingFast);
    EXPECT_EQ(25, g->delay_drop);
    SendMessageA(g->hwndGrid, WM_KEYUP, VK_DOWN, 0);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_EQ(1500, g->delay_drop);
}

// ---- Toggles and options ----------------------------------------------------

TEST_F(GridDrawTest, ToggleGridFlipsTheOptionAndRedraws)
{
    Build();
    EXPECT_EQ(0, g->ToggleGrid());
    EXPECT_EQ(0, op.go.drawGrid);
    EXPECT_EQ(kBg, Px(16, 8));
    EXPECT_EQ(1, g->ToggleGrid());
    EXPECT_EQ(1, op.go.drawGrid);
    EXPECT_EQ(kBlack, Px(16, 8));
}

TEST_F(GridDrawTest, TogglePreviewFlipsTheOptionAndInvalidatesNext)
{
    Build();
    ValidateRect(g->hwndNext, NULL);
    EXPECT_EQ(0, g->TogglePreview());
    EXPECT_EQ(0, op.go.preview);
    RECT r;
    EXPECT_TRUE(GetUpdateRect(g->hwndNext, &r, FALSE));
    EXPECT_EQ(1, g->TogglePreview());
    EXPECT_EQ(1, op.go.preview);
}

TEST_F(GridDrawTest, UpdateGfxOptionsRebuildsTheBackgroundOnly)
{
    Build();
    Image* block0 = g->blocks[0];
    op.go.bg.color[0] = RGB(0x70, 0x10, 0x30);
    ValidateRect(g->hwndNext, NULL);
    ValidateRect(g->hwndScore, NULL);
    int before = GdiObjectCount();
    g->UpdateGfxOptions();
    EXPECT_EQ(before, GdiObjectCount());
    EXPECT_EQ(RGB(0x70, 0x10, 0x30), Px(8, 8));
    EXPECT_EQ(block0, g->blocks[0]);
    RECT r;
    EXPECT_TRUE(GetUpdateRect(g->hwndNext, &r, FALSE));
    EXPECT_FALSE(GetUpdateRect(g->hwndScore, &r, FALSE));
}

TEST_F(GridDrawTest, LendsBlockImagesToTheGraphicsDialog)
{
    Build(160, 96);
    GFXOPTIONSDATA god;
    memset(&god, 0, sizeof god);
    g->SetupGfxOptionData(god);
    EXPECT_EQ(&op.go, god.pgo);
    EXPECT_EQ(60, god.nblocks);
    for (int k = 0; k < 60; k++)
        EXPECT_EQ(g->blocks[k], god.blocks[k]);
    EXPECT_EQ(NULL, god.blocks[60]);
}

TEST_F(GridDrawTest, SetGridFocusGivesTheWellTheKeyboard)
{
    Build();
    SetFocus(parent);
    ASSERT_EQ(parent, GetFocus());
    g->SetGridFocus();
    EXPECT_EQ(g->hwndGrid, GetFocus());
}

TEST_F(GridDrawTest, DestroyingAPanelEndsTheMessageLoop)
{
    Build();
    DrainQueue();
    DestroyWindow(g->hwndStats);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

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

void RegisterPanelClass(const char* name, WNDPROC proc, int brush)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(brush);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void RegisterPanelClasses()
{
    static int done = 0;
    if (done)
        return;
    done = 1;
    RegisterPanelClass(kParentClass, DefWindowProcA, WHITE_BRUSH);
    RegisterPanelClass("StakkaGrid", GridWndProc, WHITE_BRUSH);
    RegisterPanelClass("StakkaNext", NextWndProc, WHITE_BRUSH);
    RegisterPanelClass("Score", ScoreWndProc, BLACK_BRUSH);
    RegisterPanelClass("Stats", StatsWndProc, BLACK_BRUSH);
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

int DarkPixels(HDC dc, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            n += GetPixel(dc, x, y) == kBlack;
    return n;
}

// The box around the white text of a canvas within a box (bottom -1: none).
struct Ink {
    int top = 1000, bottom = -1, left = 1000, right = -1;
};

Ink WhiteInk(const Canvas& c, int x0, int y0, int x1, int y1)
{
    Ink ink;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (c.At(x, y) == kWhite) {
                ink.top = y < ink.top ? y : ink.top;
                ink.bottom = y > ink.bottom ? y : ink.bottom;
                ink.left = x < ink.left ? x : ink.left;
                ink.right = x > ink.right ? x : ink.right;
            }
    return ink;
}

void ExpectRect(const RECT& r, int left, int top, int right, int bottom)
{
    EXPECT_EQ(left, r.left);
    EXPECT_EQ(top, r.top);
    EXPECT_EQ(right, r.right);
    EXPECT_EQ(bottom, r.bottom);
}

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
        Destroy();
        if (IsWindow(parent))
            DestroyWindow(parent);
        DrainQueue();
        SetMbErrorBox(oldBox);
    }
    void Destroy()
    {
        delete g;
        g = NULL;
        DrainQueue();
        if (mod)
            FreeBlocksModule(mod);
        mod = NULL;
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
    void ExpectPieceIn(const Tetrad* t, COLORREF c)
    {
        for (int i = 0; i < TETRAD_CELLS; i++)
            EXPECT_EQ(c, Cell(t->pos.x + t->blocks[i].x, t->pos.y + t->blocks[i].y)) << i;
    }
    void Key(UINT msg, WPARAM vk) { SendMessageA(g->hwndGrid, msg, vk, 0); }
    void Print(HWND w, const Canvas& c) { SendMessageA(w, WM_PRINTCLIENT, (WPARAM)c.dc, PRF_CLIENT); }
    // Every other pixel of the whole field surface.
    std::vector<COLORREF> Snapshot()
    {
        std::vector<COLORREF> v;
        for (int y = 0; y < WELL_HEIGHT; y += 2)
            for (int x = 0; x < WELL_WIDTH; x += 2)
                v.push_back(Px(x, y));
        return v;
    }
};

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
        char text[32] = "";
        GetClassNameA(p.w, text, sizeof text);
        EXPECT_STREQ(p.cls, text);
        GetWindowTextA(p.w, text, sizeof text);
        EXPECT_STREQ(p.title, text);
        EXPECT_EQ(p.id, GetDlgCtrlID(p.w)) << p.cls;
        EXPECT_EQ(parent, GetParent(p.w));
        RECT r;
        GetWindowRect(p.w, &r);
        MapWindowPoints(NULL, parent, (POINT*)&r, 2);
        ExpectRect(r, p.x, p.y, p.x + p.cx, p.y + p.cy);
        LONG_PTR style = GetWindowLongPtrA(p.w, GWL_STYLE);
        EXPECT_EQ((LONG_PTR)(WS_CHILD | WS_VISIBLE), style & (WS_CHILD | WS_VISIBLE | WS_POPUP));
        EXPECT_EQ(0, GetWindowLongPtrA(p.w, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
    }
    EXPECT_EQ(g->hwndGrid, GetFocus());
    SetFocus(parent);
    ASSERT_EQ(parent, GetFocus());
    g->SetGridFocus();
    EXPECT_EQ(g->hwndGrid, GetFocus());
    EXPECT_EQ(&op.go, g->go);
    EXPECT_EQ(10, g->fontheight);
    EXPECT_EQ(6, g->fontwidth);
    // A new playfield: no game, the normal falling interval.
    EXPECT_EQ(0, g->active + g->paused + g->fallingFast + g->rotating);
    EXPECT_EQ(1500, g->delay_drop);
    EXPECT_EQ(NULL, g->pActiveTetrad);
    EXPECT_EQ(NULL, g->pNextTetrad);
}

TEST_F(GridDrawTest, CutsTilesRowByRowUpToTheLargestTable)
{
    Build(160, 96);
    ASSERT_EQ(60u, g->nblocks);
    EXPECT_EQ(10u, g->hblocks);
    EXPECT_EQ(6u, g->vblocks);
    for (int k : {0, 9, 10, 59}) {
        ASSERT_NE((Image*)NULL, g->blocks[k]);
        EXPECT_EQ(16, g->blocks[k]->size.cx);
        EXPECT_EQ(16, g->blocks[k]->size.cy);
        EXPECT_EQ(TileColor(k), GetPixel(g->blocks[k]->hdcImage, 0, 0)) << k;
        EXPECT_EQ(TileColor(k), GetPixel(g->blocks[k]->hdcImage, 15, 15)) << k;
    }
    EXPECT_EQ(NULL, g->blocks[60]);
    EXPECT_EQ(NULL, g->blockbm[60]);
    Destroy();
    Build(256, 256);
    ASSERT_TRUE(g_errors.empty());
    EXPECT_EQ(256u, g->nblocks);
    EXPECT_EQ(TileColor(255), GetPixel(g->blocks[255]->hdcImage, 8, 8));
}

TEST_F(GridDrawTest, RefusesBadBlockBitmapsWithTheMessageAndEndsTheProgram)
{
    // Not whole tiles, more tiles than the tables hold, no pixels, no bitmap at all.
    struct {
        int w, h, present;
        const char* text;
    } cases[] = {
        {160, 100, 1, "Incorrect block bitmap size"}, {170, 96, 1, "Incorrect block bitmap size"},
        {272, 256, 1, "Incorrect block bitmap size"}, {16 * 257, 16, 1, "Incorrect block bitmap size"},
        {0, 0, 1, NULL}, {0, 0, 0, "Error loading block graphics"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.w * 1000 + c.h);
        if (!IsWindow(parent))
            parent = MakeParent();
        g_errors.clear();
        mod = MakeBlocksModule(c.w, c.h, c.present);
        ASSERT_NE((HMODULE)NULL, mod);
        g = new StakkaGrid(parent, mod, &op);
        ASSERT_EQ(1u, g_errors.size());
        // A bitmap of no pixels at all may not even load; either way it is refused.
        if (c.text)
            EXPECT_EQ(c.text, g_errors[0]);
        else
            EXPECT_TRUE(g_errors[0] == "Incorrect block bitmap size" ||
                        g_errors[0] == "Error loading block graphics")
                << g_errors[0];
        EXPECT_FALSE(IsWindow(parent));
        EXPECT_EQ(0u, g->nblocks);
        EXPECT_EQ(NULL, g->backgrnd);
        EXPECT_EQ(NULL, g->hdcField);
        EXPECT_EQ(NULL, g->hwndGrid);
        if (!c.present) {
            EXPECT_EQ(NULL, g->bmBlocks);
        }
        // Nothing to draw on: asking changes nothing and does not crash.
        g->Redraw(REDRAW_ALL);
        g->SetGridFocus();
        Destroy();
    }
}

TEST_F(GridDrawTest, WithoutPanelClassReportsAndEndsTheProgram)
{
    UnregisterClassA("Stats", GetModuleHandleA(NULL));
    Build();
    RegisterPanelClass("Stats", StatsWndProc, BLACK_BRUSH);
    ASSERT_EQ(1u, g_errors.size());
    EXPECT_EQ("Error creating child windows", g_errors[0]);
    EXPECT_FALSE(IsWindow(parent));
    // Everything up to the panels was made and goes with the object.
    EXPECT_EQ(60u, g->nblocks);
    EXPECT_NE((HDC)NULL, g->hdcField);
}

TEST_F(GridDrawTest, ReleasesExactlyWhatItMadeAlsoWhenRefused)
{
    // One whole life of a playfield: built, played, paused, restyled, painted, deleted.
    auto life = [this](int h) {
        if (!IsWindow(parent))
            parent = MakeParent();
        Build(160, h);
        if (h == 96) {
            g->Reset();
            g->RunFrame();
            g->TogglePause();
            g->TogglePause();
            g->UpdateGfxOptions();
            RedrawWindow(parent, NULL, NULL,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        Destroy();
        if (IsWindow(parent))
            DestroyWindow(parent);
        DrainQueue();
    };
    for (int h : {96, 100}) { // a whole bitmap, and one refused for its size
        life(h);              // warms up what the system makes lazily on first drawing
        int before = GdiObjectCount();
        ASSERT_GT(before, 0);
        for (int i = 0; i < 3; i++)
            life(h);
        EXPECT_EQ(before, GdiObjectCount()) << h;
    }
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
    for (int line : {-1, 22, 99, 101}) {
        Validate();
        g->Redraw(line);
        RECT r = Update();
        EXPECT_TRUE(IsRectEmpty(&r)) << line;
        EXPECT_EQ(before, Snapshot()) << line;
    }
}

TEST_F(GridDrawTest, BandsRecomposeTheirRowsAndInvalidateTheirStrip)
{
    Build();
    // A taller window shows the whole strip of the last band, which reaches below the well.
    SetWindowPos(g->hwndGrid, NULL, 0, 0, WELL_WIDTH, 400, SWP_NOMOVE | SWP_NOZORDER);
    g->Redraw(REDRAW_ALL);
    for (int y = 0; y < WELL_ROWS; y++)
        g->field[3][y] = 1;
    Validate();
    g->Redraw(0);
    EXPECT_EQ(TileColor(0), Cell(3, 0));
    EXPECT_EQ(TileColor(0), Cell(3, 1));
    EXPECT_EQ(kBg, Cell(3, 2));
    ExpectRect(Update(), 0, 0, 192, 32);
    Validate();
    g->Redraw(21);
    EXPECT_EQ(TileColor(0), Cell(3, 21));
    EXPECT_EQ(kBg, Cell(3, 20));
    ExpectRect(Update(), 0, 336, 192, 368);
    // The whole well: every row.
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

TEST_F(GridDrawTest, GridLinesLieOnInnerColumnEdgesAndRowTopsOnly)
{
    Build();
    g->Redraw(REDRAW_ALL);
    for (int x = 16; x <= 176; x += 16)
        for (int y : {1, 8, 200, 351})
            EXPECT_EQ(kBlack, Px(x, y)) << x << "," << y;
    for (int y = 0; y <= 336; y += 16)
        for (int x : {0, 8, 100, 191})
            EXPECT_EQ(kBlack, Px(x, y)) << x << "," << y;
    // None at the outer edges x 0 and 191, nor at y 351.
    for (int v : {1, 8, 200, 350}) {
        EXPECT_EQ(kBg, Px(0, v)) << v;
        EXPECT_EQ(kBg, Px(191, v)) << v;
        EXPECT_EQ(kBg, Px(v % 191, 351)) << v;
    }
    EXPECT_EQ(kBg, Px(15, 15));
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
    ExpectPieceIn(t, TileColor(17));
    // Changing the scheme recolours both at the next redraw.
    op.go.bs.blocks[2] = 42;
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(TileColor(42), Cell(4, 10));
    ExpectPieceIn(t, TileColor(42));
}

TEST_F(GridDrawTest, SchemeEntryOutsideTheImagesDrawsAPlainCell)
{
    Build(160, 96);
    op.go.bs.blocks[0] = 60; // one past the last image
    op.go.bs.blocks[1] = 0xFFFFFFFFu;
    op.go.bs.blocks[2] = 256;
    const int values[] = {1, 2, 3, 9, -4}; // the last two name no colour at all
    for (int x = 0; x < 5; x++)
        g->field[x][5] = values[x];
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
    Tetrad* t = Give(1, 5, 4);
    int maxRow = -1;
    for (int i = 0; i < TETRAD_CELLS; i++)
        maxRow = std::max(maxRow, (int)(t->pos.y + t->blocks[i].y));
    // A band below the piece's rows still draws every cell of it.
    Validate();
    g->Redraw(maxRow + 1);
    ExpectPieceIn(t, TileColor(t->color));
    RECT r = Update();
    EXPECT_EQ(16 * (maxRow + 1), r.top);
    EXPECT_EQ(16 * (maxRow + 3), r.bottom);
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
    Print(g->hwndGrid, p);
    EXPECT_EQ(TileColor(3), p.At(176 + 8, 336 + 8));
}

// ---- Pause screen -----------------------------------------------------------

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
    for (POINT p : {POINT{0, 0}, POINT{191, 351}, POINT{100, 0}, POINT{0, 300}})
        EXPECT_EQ(kBlack, Px(p.x, p.y)) << p.x << "," << p.y;
    for (POINT p : {POINT{1, 1}, POINT{8, 300}, POINT{100, 100}})
        EXPECT_EQ(kWhite, Px(p.x, p.y)) << p.x << "," << p.y;
    // "PAUSED" in black, centred below y 150 and no text elsewhere.
    int text = DarkPixels(g->hdcField, 1, 150, 191, 200);
    EXPECT_GT(text, 200);
    EXPECT_EQ(0, DarkPixels(g->hdcField, 1, 1, 191, 149));
    EXPECT_EQ(0, DarkPixels(g->hdcField, 1, 202, 191, 351));
    EXPECT_GT(DarkPixels(g->hdcField, 1, 150, 96, 202), text / 4);
    EXPECT_GT(DarkPixels(g->hdcField, 96, 150, 191, 202), text / 4);
    ExpectRect(Update(), 0, 0, 192, 352);
    // Its font is made and released at each redraw.
    int before = GdiObjectCount();
    for (int i = 0; i < 50; i++)
        g->Redraw(i % 22);
    EXPECT_EQ(before, GdiObjectCount());
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

// ---- Panels -----------------------------------------------------------------

TEST_F(GridDrawTest, NextPanelShowsFrameLabelAndPiece)
{
    Build();
    g->pNextTetrad = CreateTetrad(3);
    Tetrad* t = g->pNextTetrad;
    t->pos.x = 9; // ignored by the panel
    t->pos.y = 17;
    Canvas c(NEXT_SIZE, NEXT_SIZE, kWhite);
    Print(g->hwndNext, c);
    // Red frame, 3 px wide, centred on the rectangle inset by 2; white outside.
    for (POINT p : {POINT{2, 56}, POINT{109, 56}, POINT{56, 2}, POINT{56, 109}})
        EXPECT_EQ(kRed, c.At(p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(kWhite, c.At(0, 56));
    EXPECT_EQ(kWhite, c.At(1, 1));
    EXPECT_GT(DarkPixels(c.dc, 20, 5, 92, 20), 10); // the label
    for (int i = 0; i < TETRAD_CELLS; i++) {
        int x = (t->blocks[i].x + 3) * 16, y = (t->blocks[i].y + 4) * 16;
        EXPECT_EQ(TileColor(t->color), c.At(x + 8, y + 8)) << i;
        EXPECT_EQ(TileColor(t->color), c.At(x, y)) << i;
    }
}

TEST_F(GridDrawTest, NextPanelWithPreviewOffOrNoPieceShowsFrameAndLabelOnly)
{
    Build();
    for (int preview : {1, 0}) {
        if (!preview) { // a piece is waiting, but the preview is off
            g->pNextTetrad = CreateTetrad(0);
            op.go.preview = 0;
        }
        Canvas c(NEXT_SIZE, NEXT_SIZE, kWhite);
        Print(g->hwndNext, c);
        EXPECT_EQ(kRed, c.At(2, 56)) << preview;
        EXPECT_GT(DarkPixels(c.dc, 20, 5, 92, 20), 10) << preview;
        for (int y = 24; y < 104; y += 4)
            for (int x = 8; x < 104; x += 4)
                ASSERT_EQ(kWhite, c.At(x, y)) << x << "," << y << " preview " << preview;
    }
}

TEST_F(GridDrawTest, ScorePanelShowsLabelsAndRightAlignedValues)
{
    Build();
    g->lines = 12;
    g->level = 1;
    g->score = 3400;
    Canvas c(SCORE_WIDTH, SCORE_HEIGHT, kBlack);
    Print(g->hwndScore, c);
    for (int row : {10, 25, 40}) {
        // The text lines are 10 px high; labels from x 10, values ending at x 120.
        Ink labels = WhiteInk(c, 0, row, 70, row + 10);
        EXPECT_GE(labels.left, 10) << row;
        EXPECT_LE(labels.left, 12) << row;
        Ink values = WhiteInk(c, 70, row, 150, row + 10);
        EXPECT_LE(values.right, 119) << row;
        EXPECT_GE(values.right, 115) << row;
    }
    // Nothing between or below the three lines, nothing right of x 120.
    for (RECT r : {RECT{0, 0, 150, 10}, RECT{0, 20, 150, 25}, RECT{0, 35, 150, 40},
                   RECT{0, 50, 150, 90}, RECT{120, 0, 150, 90}})
        EXPECT_EQ(-1, WhiteInk(c, r.left, r.top, r.right, r.bottom).bottom) << r.left << "," << r.top;
    // A longer value grows to the left.
    Ink shortScore = WhiteInk(c, 70, 40, 150, 50);
    g->score = 1234567;
    Canvas d(SCORE_WIDTH, SCORE_HEIGHT, kBlack);
    Print(g->hwndScore, d);
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
    ExpectRect(r, 0, 0, 112, 112);
    EXPECT_FALSE(GetUpdateRect(g->hwndScore, &r, FALSE));
    g->RepaintScore();
    EXPECT_TRUE(GetUpdateRect(g->hwndScore, &r, FALSE));
    ExpectRect(r, 0, 0, 150, 90);
}

// ---- Keys -------------------------------------------------------------------

TEST_F(GridDrawTest, ArrowKeysMoveTheFallingPieceAndRebindingActsAtOnce)
{
    Build();
    Tetrad* t = Give(2, 5, 5);
    Key(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(4, t->pos.x);
    Key(WM_KEYDOWN, VK_RIGHT);
    Key(WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(6, t->pos.x);
    EXPECT_EQ(TileColor(t->color), Cell(6 + t->blocks[0].x, 5 + t->blocks[0].y));
    op.co.keys[0] = 'J';
    Key(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(6, t->pos.x);
    Key(WM_KEYDOWN, 'J');
    EXPECT_EQ(5, t->pos.x);
}

TEST_F(GridDrawTest, KeyBoundToBothShiftsShiftsRightAndToBothTurnsTurnsCounterClockwise)
{
    Build();
    op.co.keys[0] = op.co.keys[1] = 'A';
    op.co.keys[2] = op.co.keys[3] = 'R';
    Tetrad* t = Give(2, 5, 5); // four orientations
    ASSERT_EQ(4, t->nrotations);
    Key(WM_KEYDOWN, 'A');
    EXPECT_EQ(6, t->pos.x);
    Key(WM_KEYDOWN, 'R');
    EXPECT_EQ(3, t->currentrot);
    Key(WM_KEYDOWN, 'R'); // auto-repeat: once per press
    EXPECT_EQ(3, t->currentrot);
    Key(WM_KEYUP, 'R');
    Key(WM_KEYDOWN, 'R');
    EXPECT_EQ(2, t->currentrot);
}

TEST_F(GridDrawTest, ReleasingDropFastRestoresTheNormalInterval)
{
    Build();
    Give(2, 5, 5);
    g->active = 1;
    Key(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(1, g->fallingFast);
    EXPECT_EQ(25, g->delay_drop);
    Key(WM_KEYUP, VK_DOWN);
    EXPECT_EQ(0, g->fallingFast);
    EXPECT_EQ(1500, g->delay_drop);
}

// ---- Toggles and options ----------------------------------------------------

TEST_F(GridDrawTest, TogglesFlipTheOptionsAndRedraw)
{
    Build();
    EXPECT_EQ(0, g->ToggleGrid());
    EXPECT_EQ(0, op.go.drawGrid);
    EXPECT_EQ(kBg, Px(16, 8));
    EXPECT_EQ(kBg, Px(8, 16));
    EXPECT_EQ(1, g->ToggleGrid());
    EXPECT_EQ(1, op.go.drawGrid);
    EXPECT_EQ(kBlack, Px(16, 8));
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

TEST_F(GridDrawTest, DestroyingAPanelEndsTheMessageLoop)
{
    Build();
    DrainQueue();
    DestroyWindow(g->hwndStats);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

// The playfield's display side with real windows: construction refusing bad "Blocks" bitmaps,
// the field surface band by band against a picture computed here, scheme numbers beyond the
// block images, keys through the well window, and GDI counts.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "blocks_module.h"
#include "gdi_count.h"
#include "gfxopt.h"
#include "grid.h"
#include "image.h"
#include "options.h"
#include "testkit.h"
#include "tetrad.h"

namespace {

const COLORREF kBg = RGB(0x20, 0x40, 0x60), kBlack = RGB(0, 0, 0);

// The bounding box of the pixels that differ (left > right: none).
RECT Diff(const Pixels& a, const Pixels& b)
{
    RECT r = {10000, 10000, -1, -1};
    for (int y = 0; y < a.h; y++)
        for (int x = 0; x < a.w; x++)
            if (a.At(x, y) != b.At(x, y))
                r = {std::min<LONG>(r.left, x), std::min<LONG>(r.top, y),
                     std::max<LONG>(r.right, x), std::max<LONG>(r.bottom, y)};
    return r;
}

struct GridDrawTest : ::testing::Test {
    HMODULE mod = nullptr;
    HWND parent = nullptr;
    OPTIONS op = {};
    StakkaGrid* g = nullptr;
    BoxRecorder rec;

    void SetUp() override
    {
        const std::pair<const char*, WNDPROC> classes[] = {
            {"GridDrawTestParent", DefWindowProcA}, {"StakkaGrid", GridWndProc},
            {"StakkaNext", NextWndProc}, {"Score", ScoreWndProc}, {"Stats", StatsWndProc}};
        for (const auto& c : classes) {
            WNDCLASSA wc = {0, c.second, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr,
                            (HBRUSH)GetStockObject(WHITE_BRUSH), nullptr, c.first};
            RegisterClassA(&wc);
        }
        op.go.bg.flags = BG_SOLID;
        op.go.bg.color[0] = kBg;
        for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
            op.go.bs.blocks[i] = (DWORD)i;
        op.go.drawGrid = op.go.preview = 1;
        const int keys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
        memcpy(op.co.keys, keys, sizeof keys);
    }
    void TearDown() override { Destroy(); }
    void Build(int w = 160, int h = 96, int present = 1)
    {
        parent =
            CreateWindowExA(0, "GridDrawTestParent", "Stakka", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                            0, 400, 500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        mod = MakeBlocksModule(w, h, present);
        ASSERT_NE(nullptr, mod);
        g = new StakkaGrid(parent, mod, &op);
    }
    void Destroy()
    {
        delete g;
        g = nullptr;
        if (IsWindow(parent))
            DestroyWindow(parent);
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);)   // panels post WM_QUIT
            m.message == WM_QUIT ? 0 : DispatchMessageA(&m);
        FreeBlocksModule(mod);
        mod = nullptr;
    }
    Pixels Field() { return ReadPixels(g->hdcField, WELL_WIDTH, WELL_HEIGHT); }
    // The well as it must look: background, grid lines on inner column edges and row tops,
    // settled cells and the piece through the scheme, black where no image exists.
    Pixels Expected()
    {
        int cell[WELL_COLS][WELL_ROWS];
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                cell[x][y] = g->field[x][y] >= 1 && g->field[x][y] <= 7 ? g->field[x][y] - 1
                                                                       : g->field[x][y] ? -1 : -2;
        if (const Tetrad* t = g->pActiveTetrad)
            for (const POINT& b : t->blocks)
                cell[t->pos.x + b.x][t->pos.y + b.y] = t->color;
        Pixels p = {WELL_WIDTH, WELL_HEIGHT, {}};
        for (int y = 0; y < WELL_HEIGHT; y++)
            for (int x = 0; x < WELL_WIDTH; x++) {
                int c = cell[x / CELL][y / CELL];
                DWORD n = c >= 0 ? op.go.bs.blocks[c] : 0;
                bool line = op.go.drawGrid && ((x % CELL == 0 && x > 0) || y % CELL == 0);
                p.px.push_back(c == -2              ? (line ? kBlack : kBg)
                               : c == -1 || n >= 60 ? kBlack
                                                    : TileColor(n));
            }
        return p;
    }
    RECT Invalid()
    {
        RECT r = {};
        GetUpdateRect(g->hwndGrid, &r, FALSE);
        ValidateRect(g->hwndGrid, nullptr);
        return r;
    }
};

} // namespace

TEST_F(GridDrawTest, BadBlockBitmapsAreRefusedAndEveryLifeReleasesWhatItMade)
{
    // Not whole tiles, more tiles than the tables hold, no bitmap at all; the most they hold.
    const struct {
        int w, h, present;
        const char* box;
    } cases[] = {{160, 100, 1, "Incorrect block bitmap size"},
                 {170, 96, 1, "Incorrect block bitmap size"},
                 {272, 256, 1, "Incorrect block bitmap size"},
                 {16 * 257, 16, 1, "Incorrect block bitmap size"},
                 {0, 0, 0, "Error loading block graphics"},
                 {256, 256, 1, nullptr}};
    int gdi = 0;
    for (int round = 0; round < 3; round++) {   // the first warms up what is made lazily
        for (const auto& c : cases) {
            rec.Clear();
            Build(c.w, c.h, c.present);
            EXPECT_EQ(c.box ? std::vector<std::string>{c.box} : std::vector<std::string>(),
                      rec.Texts());
            EXPECT_EQ(c.box ? 0u : 256u, IsWindow(parent) && g->hwndGrid ? g->nblocks : 0u);
            g->Redraw(REDRAW_ALL);    // refused: nothing to draw on, nothing happens
            Destroy();
        }
        if (round == 1)
            gdi = GdiObjectCount();
    }
    EXPECT_EQ(gdi, GdiObjectCount());
    UnregisterClassA("Stats", GetModuleHandleA(nullptr));
    Build();
    EXPECT_EQ(std::vector<std::string>{"Error creating child windows"}, rec.Texts());
    EXPECT_FALSE(IsWindow(parent));
}

TEST_F(GridDrawTest, FieldSurfaceBandByBandWithSchemesBeyondTheImages)
{
    Build();
    ASSERT_EQ(60u, g->nblocks);
    // Scheme entries past the last image and field values that name no colour draw black.
    op.go.bs.blocks[0] = 60;
    op.go.bs.blocks[1] = 0xFFFFFFFFu;
    op.go.bs.blocks[2] = 17;
    op.go.bs.blocks[3] = 59;
    const int values[] = {1, 2, 3, 4, 9, -4, 7};
    for (int x = 0; x < 7; x++)
        g->field[x][21] = g->field[x + 5][x + 3] = values[x];
    g->pActiveTetrad = CreateTetrad(2);   // colour 2: tile 17
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(0, Diff(Expected(), Field()).right + 1);
    EXPECT_TRUE(!g->BlockImage(0) && !g->BlockImage(7) && !g->BlockImage(-1));
    // A band recomposes its two rows and invalidates just their strip (clipped to the well).
    Invalid();
    for (int line : {0, 9, 21}) {
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                g->field[x][y] = (x + y + line) % 3 == 0 ? 4 : 0;
        Pixels want = Field(), band = Expected();
        const size_t top = line * CELL * WELL_WIDTH, end = (line + 2) * CELL * WELL_WIDTH;
        std::copy(band.px.begin() + top, band.px.begin() + std::min(end, band.px.size()),
                  want.px.begin() + top);
        g->Redraw(line);
        RECT inv = Invalid();
        EXPECT_EQ(0, Diff(want, Field()).right + 1) << line;
        EXPECT_EQ(line * CELL * 1000 + std::min<int>(line * CELL + 2 * CELL, WELL_HEIGHT),
                  inv.top * 1000 + inv.bottom) << line;
    }
    // Values outside the bands change nothing; a window's print shows the surface.
    Pixels before = Field();
    for (int line : {-1, 22, 99, 101}) {
        g->field[0][0] = 4;
        g->Redraw(line);
        EXPECT_EQ(0, Diff(before, Field()).right + 1) << line;
        EXPECT_EQ(0, Invalid().bottom) << line;
    }
    EXPECT_EQ(0, g->ToggleGrid());
    EXPECT_EQ(0, Diff(Expected(), Field()).right + 1);
    EXPECT_EQ(0, Diff(Expected(), ReadWindow(g->hwndGrid)).right + 1);
    // New graphics options: a new background, the same blocks.
    memset(g->field, 0, sizeof g->field);
    Image* block0 = g->blocks[0];
    op.go.bg.color[0] = RGB(0x70, 0x10, 0x30);
    int gdi = GdiObjectCount();
    g->UpdateGfxOptions();
    EXPECT_EQ(gdi, GdiObjectCount());
    EXPECT_EQ(RGB(0x70, 0x10, 0x30), GetPixel(g->hdcField, 100, 100));
    EXPECT_EQ(block0, g->blocks[0]);
}

TEST_F(GridDrawTest, KeysThroughTheWellReadTheBindingsAfresh)
{
    Build();
    Tetrad* t = g->pActiveTetrad = CreateTetrad(2);
    t->pos = {5, 5};
    op.co.keys[KEY_LEFT] = 'J';
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'J', 0);
    EXPECT_EQ(4, t->pos.x);
    for (UINT m : {WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN})   // the release lets the turn key act again
        SendMessageA(g->hwndGrid, m, VK_UP, 0);
    EXPECT_EQ(2, t->currentrot);
}

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

const COLORREF kBg = RGB(0x20, 0x40, 0x60);
const COLORREF kBlack = RGB(0, 0, 0);
const RECT NO_DIFFERENCE = {10000, 10000, -1, -1};

// The bounding box of the pixels that differ, or NO_DIFFERENCE.
RECT Diff(const Pixels& a, const Pixels& b)
{
    RECT r = NO_DIFFERENCE;
    for (int y = 0; y < a.h; y++) {
        for (int x = 0; x < a.w; x++) {
            if (a.At(x, y) == b.At(x, y))
                continue;
            r.left = std::min<LONG>(r.left, x);
            r.top = std::min<LONG>(r.top, y);
            r.right = std::max<LONG>(r.right, x);
            r.bottom = std::max<LONG>(r.bottom, y);
        }
    }
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
        op.go.drawGrid = 1;
        op.go.preview = 1;
        memcpy(op.co.keys, defaultkeys, sizeof op.co.keys);
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
        DrainMessages(); // the panels post WM_QUIT
        FreeBlocksModule(mod);
        mod = nullptr;
    }
    Pixels Field() { return ReadPixels(g->hdcField, WELL_WIDTH, WELL_HEIGHT); }
    // The well as it must look: background, grid lines on inner column edges and row tops,
    // settled cells and the piece through the scheme, black where no image exists.
    Pixels Expected()
    {
        const int EMPTY = -2, NO_COLOUR = -1;
        int cell[WELL_COLS][WELL_ROWS];
        for (int x = 0; x < WELL_COLS; x++) {
            for (int y = 0; y < WELL_ROWS; y++) {
                const int v = g->field[x][y];
                if (v >= 1 && v <= 7)
                    cell[x][y] = v - 1;
                else
                    cell[x][y] = v ? NO_COLOUR : EMPTY;
            }
        }
        if (const Tetrad* t = g->pActiveTetrad)
            for (const POINT& b : t->blocks)
                cell[t->pos.x + b.x][t->pos.y + b.y] = t->color;
        Pixels p = {WELL_WIDTH, WELL_HEIGHT, {}};
        for (int y = 0; y < WELL_HEIGHT; y++)
            for (int x = 0; x < WELL_WIDTH; x++) {
                const int c = cell[x / CELL][y / CELL];
                const bool line = op.go.drawGrid && ((x % CELL == 0 && x > 0) || y % CELL == 0);
                if (c == EMPTY)
                    p.px.push_back(line ? kBlack : kBg);
                else if (c == NO_COLOUR || op.go.bs.blocks[c] >= 60)
                    p.px.push_back(kBlack);
                else
                    p.px.push_back(TileColor(op.go.bs.blocks[c]));
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

TEST_F(GridDrawTest, BadBlockBitmapsAreRefusedAndBuildsLeaveGdiFlat)
{
    // Not whole tiles, more tiles than the tables hold, no bitmap at all; the most they hold.
    struct Bitmap {
        const char* what;
        int w, h, present;
        const char* box;
    };
    const Bitmap cases[] = {
        {"height not whole tiles", 160, 100, 1, "Incorrect block bitmap size"},
        {"width not whole tiles", 170, 96, 1, "Incorrect block bitmap size"},
        {"289 tiles", 272, 256, 1, "Incorrect block bitmap size"},
        {"257 tiles in a row", 16 * 257, 16, 1, "Incorrect block bitmap size"},
        {"no bitmap", 0, 0, 0, "Error loading block graphics"},
        {"256 tiles, the most", 256, 256, 1, nullptr},
    };
    int gdi = 0;
    for (int round = 0; round < 3; round++) {   // the first warms up what is made lazily
        for (const Bitmap& c : cases) {
            SCOPED_TRACE(c.what);
            rec.Clear();
            Build(c.w, c.h, c.present);
            std::vector<std::string> boxes;
            if (c.box)
                boxes.push_back(c.box);
            EXPECT_EQ(boxes, rec.Texts());
            const bool built = IsWindow(parent) && g->hwndGrid;
            EXPECT_EQ(c.box ? 0u : 256u, built ? g->nblocks : 0u) << "block images";
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
    for (int x = 0; x < 7; x++) {
        g->field[x][21] = values[x];
        g->field[x + 5][x + 3] = values[x];
    }
    g->pActiveTetrad = CreateTetrad(2);   // colour 2: tile 17
    g->Redraw(REDRAW_ALL);
    EXPECT_EQ(NO_DIFFERENCE, Diff(Expected(), Field()));
    for (int n : {0, 7, -1})
        EXPECT_EQ(nullptr, g->BlockImage(n)) << "colour " << n;
    // A band recomposes its two rows and invalidates just their strip (clipped to the well).
    Invalid();
    for (int line : {0, 9, 21}) {
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                g->field[x][y] = (x + y + line) % 3 == 0 ? 4 : 0;
        Pixels want = Field();
        const Pixels band = Expected();
        const size_t top = line * CELL * WELL_WIDTH;
        const size_t end = (line + 2) * CELL * WELL_WIDTH;
        std::copy(band.px.begin() + top, band.px.begin() + std::min(end, band.px.size()),
                  want.px.begin() + top);
        g->Redraw(line);
        RECT inv = Invalid();
        EXPECT_EQ(NO_DIFFERENCE, Diff(want, Field())) << "band " << line;
        const RECT strip = {0, line * CELL, WELL_WIDTH, std::min<LONG>(line * CELL + 2 * CELL, WELL_HEIGHT)};
        EXPECT_EQ(strip, inv) << "band " << line;
    }
    // Values outside the bands change nothing; a window's print shows the surface.
    Pixels before = Field();
    for (int line : {-1, 22, 99, 101}) {
        g->field[0][0] = 4;
        g->Redraw(line);
        EXPECT_EQ(NO_DIFFERENCE, Diff(before, Field())) << line;
        EXPECT_EQ(0, Invalid().bottom) << line;
    }
    EXPECT_EQ(0, g->ToggleGrid());
    EXPECT_EQ(NO_DIFFERENCE, Diff(Expected(), Field())) << "the surface";
    EXPECT_EQ(NO_DIFFERENCE, Diff(Expected(), ReadWindow(g->hwndGrid))) << "the window";
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
    Tetrad* t = CreateTetrad(2);
    g->pActiveTetrad = t;
    t->pos = {5, 5};
    op.co.keys[KEY_LEFT] = 'J';
    SendMessageA(g->hwndGrid, WM_KEYDOWN, 'J', 0);
    EXPECT_EQ(4, t->pos.x);
    for (UINT m : {WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN})   // the release lets the turn key act again
        SendMessageA(g->hwndGrid, m, VK_UP, 0);
    EXPECT_EQ(2, t->currentrot);
}

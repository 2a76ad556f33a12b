// BackgroundImage: which source wins, the exact gradient, the placements of a file picture,
// failures with their message, hostile bitmap files, and builds of every kind without a leak.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "STAKKA.h"
#include "bgimage.h"
#include "gdi_count.h"
#include "stkdefs.h"
#include "testkit.h"

namespace {

const COLORREF kColour0 = RGB(12, 34, 56);
std::vector<std::string> g_boxes;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

COLORREF Code(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x40 | (x >> 8) | (y >> 8) << 2); }

// The gradient as the rules define it: a float running value stepping D / 352 a row, truncated.
int GradientAt(int c0, int c1, int y)
{
    volatile float run = (float)c0, step = (float)(c1 - c0) / 352.0f;
    for (int i = 1; i <= y; i++)
        run = run + step;
    return (int)run;
}

struct BackgroundTest : ::testing::Test {
    HMODULE dll = nullptr;
    MBERRORBOXPROC oldBox = nullptr;
    BACKGROUND bg = {};
    void SetUp() override
    {
        g_boxes.clear();
        oldBox = SetMbErrorBox(RecordBox);
        dll = LoadLibraryA("stkgfx.dll");
        ASSERT_NE(nullptr, dll) << "stkgfx.dll must lie beside the test program";
        bg.color[0] = kColour0;
        bg.color[1] = RGB(200, 100, 50);
    }
    void TearDown() override
    {
        FreeLibrary(dll);
        SetMbErrorBox(oldBox);
    }
    // Builds the picture of flags and name; every picture is a whole well from (0, 0).
    Pixels Build(WORD flags, const std::string& name)
    {
        bg.flags = flags;
        lstrcpynA(bg.name, name.c_str(), sizeof bg.name);
        BackgroundImage img(nullptr, dll, bg);
        EXPECT_EQ(WELL_WIDTH, img.size.cx);
        EXPECT_EQ(WELL_HEIGHT, img.size.cy);
        return ReadPixels(img.hdcImage, WELL_WIDTH, WELL_HEIGHT);
    }
    Pixels Resource(const std::string& name)
    {
        HBITMAP bm = LoadBitmapA(dll, name.c_str());
        Pixels p = ReadBitmap(bm);
        DeleteObject(bm);
        return p;
    }
};

} // namespace

TEST_F(BackgroundTest, FirstKindBitWinsAndEveryNamePicksItsPicture)
{
    EXPECT_TRUE(Build(0x0005, "Skull").px == Resource("SkullBg").px);   // built-in over solid
    EXPECT_EQ(0x0005, bg.flags);
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++)
        EXPECT_TRUE(Build(BG_BUILTIN, backgroundNames[i]).px ==
                    Resource(std::string(backgroundNames[i]) + "Bg").px) << i;
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Pixels tile = Resource(std::string(tileNames[i]) + "Tile"),
               p = Build(BG_PATTERN | BG_FILE, tileNames[i]);
        ASSERT_GT(tile.w, 0);
        for (int y = 0; y < WELL_HEIGHT; y += 7)
            for (int x = 0; x < WELL_WIDTH; x += 5)
                ASSERT_EQ(tile.At(x % tile.w, y % tile.h), p.At(x, y)) << tileNames[i];
    }
    // No kind bit: a solid colour, and the flags say so; a stray high byte is no colour.
    bg.color[0] = 0x01000000 | kColour0;
    for (WORD flags : {0x0000, 0x0020, 0xFF00}) {
        EXPECT_EQ(0, Build(flags, "Background").CountNot(kColour0)) << flags;
        EXPECT_EQ(BG_SOLID, bg.flags);
    }
    // Gradient over file (the file is not even tried), row by row, each channel both ways.
    bg.color[0] = RGB(200, 10, 77);
    bg.color[1] = RGB(3, 250, 128);
    Pixels p = Build(BG_GRADIENT | BG_FILE, "no such file.bmp");
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x += 13)
            ASSERT_EQ(RGB(GradientAt(200, 3, y), GradientAt(10, 250, y), GradientAt(77, 128, y)),
                      p.At(x, y)) << "row " << y;
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(BackgroundTest, FilePicturesInEveryPlacementAndEverySoundFormat)
{
    std::string small = WriteTempFile("stakka_bg_small.bmp", Bmp24(100, 100, Code));
    std::string big = WriteTempFile("stakka_bg_big.bmp", Bmp24(301, 401, Code));
    std::string odd = WriteTempFile("stakka_bg_odd.bmp", Bmp24(3, 7, Code));
    std::string wide = WriteTempFile("stakka_bg_wide.bmp", Bmp24(300, 200, Code));
    // file, placement, a point of the well -> the file's pixel there (-1: colour 0)
    const struct {
        const std::string* file;
        WORD placement;
        int x, y, fx, fy;
    } cases[] = {
        {&small, 0, 99, 99, 99, 99},            {&small, 0, 100, 50, -1, -1},
        {&small, BG_CENTER, 46, 126, 0, 0},     {&small, BG_CENTER, 145, 225, 99, 99},
        {&small, BG_CENTER, 45, 126, -1, -1},   {&small, BG_CENTER, 146, 225, -1, -1},
        {&big, BG_CENTER, 0, 0, 54, 24},        {&big, BG_CENTER, 191, 351, 245, 375},
        {&small, BG_CENTER | BG_TILE | BG_STRETCH, 46, 126, 0, 0},   // the first bit wins
        {&small, BG_TILE | BG_STRETCH, 100, 100, 0, 0},
        {&odd, BG_TILE, 191, 351, 191 % 3, 351 % 7}, {&small, BG_TILE, 150, 250, 50, 50},
        {&small, BG_STRETCH, 0, 0, 0, 0},       {&small, BG_STRETCH, 191, 351, 99, 99},
        {&wide, BG_STRETCH, 191, 351, 191, 199},   // grows to 300 x 352, cut at 192
    };
    for (const auto& c : cases) {
        Pixels p = Build(BG_FILE | c.placement, *c.file);
        EXPECT_EQ(c.fx < 0 ? kColour0 : Code(c.fx, c.fy), p.At(c.x, c.y)) << &c - cases;
    }
    for (const std::string* f : {&small, &big, &odd, &wide})
        DeleteFileA(f->c_str());
    // Other sound formats: rows stored top first (what Wine's loader makes of them is its own
    // affair), 8 bits with a grey palette, the old 12-byte header at 24 bits.
    auto put = [](std::vector<BYTE>& f, size_t at, DWORD v, int n) { memcpy(&f[at], &v, n); };
    std::vector<BYTE> up = Bmp24(10, 10, Code), top = up, grey = Bmp24(4, 4, Code), core(50, 0);
    for (int y = 0; y < 10; y++)
        memcpy(&top[54 + y * 32], &up[54 + (9 - y) * 32], 32);
    put(top, 22, (DWORD)-10, 4);
    grey.resize(54 + 1024 + 16);
    for (int i = 0; i < 256; i++)
        grey[54 + 4 * i] = grey[55 + 4 * i] = grey[56 + 4 * i] = (BYTE)i;
    for (int i = 0; i < 16; i++)
        grey[54 + 1024 + i] = (BYTE)(i * 16);
    const DWORD greyFields[][3] = {
        {2, 54 + 1024 + 16, 4}, {10, 54 + 1024, 4}, {28, 8, 2}, {34, 0, 4}};
    const DWORD coreFields[][3] = {{0, 'B' | 'M' << 8, 2},
                                   {2, 50, 4},
                                   {10, 26, 4},
                                   {14, 12, 4},
                                   {18, 3, 2},
                                   {20, 2, 2},
                                   {22, 1, 2},
                                   {24, 24, 2},
                                   {26, 0xC0C0C0, 3},
                                   {38, 0x404040, 3}}; // 3 x 2: rows of 12 bytes
    for (const auto& f : greyFields)
        put(grey, f[0], f[1], (int)f[2]);
    for (const auto& f : coreFields)
        put(core, f[0], f[1], (int)f[2]);
    // file, a point, its colour (0: not judged)
    const struct {
        std::vector<BYTE>* data;
        int x, y;
        COLORREF want;
    } sound[] = {{&top, 0, 0, 0}, {&grey, 0, 3, RGB(0, 0, 0)}, {&grey, 3, 0, RGB(240, 240, 240)},
                 {&core, 0, 1, RGB(0xC0, 0xC0, 0xC0)}, {&core, 0, 0, RGB(0x40, 0x40, 0x40)}};
    for (const auto& f : sound) {
        std::string path = WriteTempFile("stakka_bg_sound.bmp", *f.data);
        EXPECT_TRUE(BitmapFileIsSound(path.c_str())) << &f - sound;
        Pixels p = Build(BG_FILE, path);
        EXPECT_TRUE(!f.want || f.want == p.At(f.x, f.y)) << &f - sound;
        DeleteFileA(path.c_str());
    }
    EXPECT_TRUE(g_boxes.empty());
    // And two that only look so: an old header promising 100 x 1 pixels over 24 bytes, and a
    // palette of 257 colours for 8 bits, all present.
    put(core, 18, 100, 2);
    put(core, 20, 1, 2);
    grey.resize(54 + 1028 + 16);
    put(grey, 2, (DWORD)grey.size(), 4);
    put(grey, 10, 54 + 1028, 4);
    put(grey, 46, 257, 4);
    for (const std::vector<BYTE>* f : {&core, &grey}) {
        std::string path = WriteTempFile("stakka_bg_unsound.bmp", *f);
        EXPECT_FALSE(BitmapFileIsSound(path.c_str())) << f->size();
        DeleteFileA(path.c_str());
    }
}

TEST_F(BackgroundTest, MissingAndHostileSourcesGiveTheirMessageAndAPlainPicture)
{
    std::vector<std::pair<std::vector<BYTE>, std::string>> files = {
        {{}, "empty"}, {{'B', 'M'}, "two bytes"}, {std::vector<BYTE>(500, 0x5A), "no bitmap"}};
    std::vector<BYTE> cut = Bmp24(100, 100, Code);
    cut.resize(54 + 100 * 300 / 2);
    files.push_back({cut, "truncated pixels"});
    // A sound 4 x 4 file with fields spoilt: offset, bytes, value.
    const struct {
        size_t at;
        int bytes;
        DWORD v, at2, v2;
    } spoilt[] = {
        {18, 4, 100000, 22, 100000}, {18, 4, 20000, 22, 1}, {18, 4, (DWORD)-4, 0, 0},
        {22, 4, 0, 0, 0}, {22, 4, 0x80000000u, 0, 0}, {28, 2, 7, 0, 0}, {26, 2, 3, 0, 0},
        {14, 4, 1000, 0, 0}, {10, 4, 0x7FFFFFF0, 0, 0}, {30, 4, 4, 0, 0},   // JPEG inside
        {28, 2, 8, 46, 100000},                 // palette overflow
        {28, 2, 8, 30, BI_RLE8},                // run-length without a size
    };
    for (const auto& s : spoilt) {
        std::vector<BYTE> f = Bmp24(4, 4, Code);
        memcpy(&f[s.at], &s.v, s.bytes);
        if (s.at2)
            memcpy(&f[s.at2], &s.v2, 4);
        if (s.v2 == BI_RLE8)
            memset(&f[34], 0, 4);
        files.push_back({f, "field at " + std::to_string(s.at)});
    }
    for (const auto& f : files) {
        std::string path = WriteTempFile("stakka_bg_bad.bmp", f.first);
        EXPECT_FALSE(BitmapFileIsSound(path.c_str())) << f.second;
        g_boxes.clear();
        EXPECT_EQ(0, Build(BG_FILE | BG_STRETCH, path).CountNot(kColour0)) << f.second;
        ASSERT_EQ(1u, g_boxes.size()) << f.second;
        EXPECT_EQ("Error loading background image " + path, g_boxes[0]);
        DeleteFileA(path.c_str());
    }
    // The library's own names, a path of 255 characters, an unterminated name, no library.
    std::string longPath = "C:\\" + std::string(252, 'p');
    const struct {
        WORD flags;
        std::string name, box;
        HMODULE lib;
    } missing[] = {
        {BG_BUILTIN, "Nowhere", "Error loading built in bitmap resource!", dll},
        {BG_PATTERN, "Green", "Error loading tile bmp", dll},
        {BG_BUILTIN, "Background", "Error loading built in bitmap resource!", nullptr},
        {BG_FILE, longPath, ("Error loading background image " + longPath).substr(0, 255), dll},
        {BG_PATTERN, std::string(300, 'A'), "Error loading tile bmp", dll},
    };
    for (const auto& m : missing) {
        g_boxes.clear();
        bg.flags = m.flags;
        memset(bg.name, 'A', sizeof bg.name);
        if (m.name.size() < sizeof bg.name)
            lstrcpynA(bg.name, m.name.c_str(), sizeof bg.name);
        BackgroundImage img(nullptr, m.lib, bg);
        EXPECT_EQ(0, ReadPixels(img.hdcImage, WELL_WIDTH, WELL_HEIGHT).CountNot(kColour0));
        ASSERT_EQ(1u, g_boxes.size()) << m.box;
        EXPECT_EQ(m.box, g_boxes[0]);
        EXPECT_EQ(m.flags, bg.flags);   // the choice stays for the next start
    }
}

TEST_F(BackgroundTest, ManyBuildsOfEveryKindLeaveNoGdiObject)
{
    std::string pic = WriteTempFile("stakka_bg_leak.bmp", Bmp24(40, 30, Code));
    const std::pair<WORD, std::string> kinds[] = {
        {BG_BUILTIN, "Leet"}, {BG_SOLID, ""}, {BG_GRADIENT, ""}, {BG_PATTERN, "Orange"},
        {BG_FILE, pic}, {BG_FILE | BG_CENTER, pic}, {BG_FILE | BG_TILE, pic},
        {BG_FILE | BG_STRETCH, pic}, {0, ""}, {BG_BUILTIN, "Nowhere"}, {BG_PATTERN, "Nowhere"},
        {BG_FILE, "C:\\no\\such.bmp"}};
    for (const auto& k : kinds)
        Build(k.first, k.second);   // the first drawing of a process makes stock objects
    for (const auto& k : kinds) {
        int before = GdiObjectCount();
        for (int i = 0; i < 300; i++) {
            bg.flags = k.first;
            lstrcpynA(bg.name, k.second.c_str(), sizeof bg.name);
            delete new BackgroundImage(nullptr, dll, bg);
        }
        EXPECT_EQ(before, GdiObjectCount()) << k.first << " " << k.second;
    }
    DeleteFileA(pic.c_str());
}

// Tests of BackgroundImage: which source wins, the exact gradient, the four
// placements of a file picture, the failure messages, hostile bitmap files,
// and that building and destroying leaves no GDI object behind.
#include <windows.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "STAKKA.h"
#include "bgimage.h"
#include "gdi_count.h"
#include "options.h"
#include "stkdefs.h"

namespace {

const char szLibrary[] = "stkgfx.dll";

// ---- Recorded error boxes ----
std::vector<std::string> messages;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    EXPECT_STREQ(caption, "Error");
    EXPECT_EQ(type, (UINT)(MB_OK | MB_ICONEXCLAMATION));
    messages.push_back(text);
    return IDOK;
}

// ---- Pixels ----
struct Picture {
    std::vector<COLORREF> px;
    int w = 0, h = 0;
    COLORREF At(int x, int y) const { return px[(size_t)y * w + x]; }
};

// Copies w x h pixels from a surface into memory through a 32-bit DIB.
Picture Grab(HDC src, int w, int h)
{
    Picture p;
    p.w = w;
    p.h = h;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    BitBlt(dc, 0, 0, w, h, src, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD *v = static_cast<const DWORD *>(bits);
    p.px.resize((size_t)w * h);
    for (int i = 0; i < w * h; i++)
        p.px[i] = RGB((v[i] >> 16) & 0xFF, (v[i] >> 8) & 0xFF, v[i] & 0xFF);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
    return p;
}

Picture GrabImage(Image &img) { return Grab(img.hdcImage, WELL_WIDTH, WELL_HEIGHT); }

Picture GrabBitmap(HBITMAP bm)
{
    BITMAP info;
    GetObjectA(bm, sizeof info, &info);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    Picture p = Grab(dc, info.bmWidth, info.bmHeight);
    SelectObject(dc, old);
    DeleteDC(dc);
    return p;
}

// Number of pixels that are not c.
int CountNot(const Picture &p, COLORREF c)
{
    int n = 0;
    for (COLORREF v : p.px)
        n += v != c;
    return n;
}

// ---- Bitmap files written by the tests ----
typedef COLORREF (*PixelFn)(int x, int y);

COLORREF Code(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x40 | (x >> 8) | ((y >> 8) << 2)); }

std::vector<BYTE> Bmp24(int w, int h, PixelFn fn)
{
    const int stride = (w * 3 + 3) & ~3;
    const DWORD dataLen = (DWORD)stride * h;
    std::vector<BYTE> f(54 + dataLen, 0);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfSize = (DWORD)f.size();
    fh.bfOffBits = 54;
    BITMAPINFOHEADER ih = {};
    ih.biSize = 40;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = dataLen;
    memcpy(&f[0], &fh, 14);
    memcpy(&f[14], &ih, 40);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            COLORREF c = fn(x, y);
            BYTE *p = &f[54 + (size_t)(h - 1 - y) * stride + x * 3];
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    return f;
}

class BackgroundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        messages.clear();
        previousBox = SetMbErrorBox(RecordBox);
        dll = LoadLibraryA(szLibrary);
        ASSERT_NE(dll, nullptr) << "stkgfx.dll must lie beside the test program";
        char tmp[MAX_PATH];
        ASSERT_NE(GetTempPathA(sizeof tmp, tmp), 0u);
        dir = std::string(tmp) + "stakka_bgimage_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        memset(&bg, 0, sizeof bg);
        bg.color[0] = RGB(12, 34, 56);
        bg.color[1] = RGB(200, 100, 50);
    }
    void TearDown() override
    {
        for (const std::string &f : files)
            DeleteFileA(f.c_str());
        RemoveDirectoryA(dir.c_str());
        FreeLibrary(dll);
        SetMbErrorBox(previousBox);
    }
    std::string WriteFile(const char *name, const std::vector<BYTE> &data)
    {
        std::string path = dir + "\\" + name;
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            if (!data.empty())
                fwrite(data.data(), 1, data.size(), f);
            fclose(f);
        }
        files.push_back(path);
        return path;
    }
    void Use(WORD flags, const char *name)
    {
        bg.flags = flags;
        lstrcpynA(bg.name, name, sizeof bg.name);
    }
    // Builds, grabs and checks what every picture must be: 192 x 352 from (0, 0).
    Picture Build()
    {
        BackgroundImage img(nullptr, dll, bg);
        EXPECT_EQ(img.size.cx, WELL_WIDTH);
        EXPECT_EQ(img.size.cy, WELL_HEIGHT);
        EXPECT_EQ(img.org.x, 0);
        EXPECT_EQ(img.org.y, 0);
        return GrabImage(img);
    }
    Picture FromFile(WORD placement, int w, int h, PixelFn fn)
    {
        Use(BG_FILE | placement, WriteFile("pic.bmp", Bmp24(w, h, fn)).c_str());
        return Build();
    }
    Picture Resource(const char *name)
    {
        HBITMAP bm = LoadBitmapA(dll, name);
        EXPECT_NE(bm, nullptr) << name;
        Picture p = bm ? GrabBitmap(bm) : Picture();
        if (bm)
            DeleteObject(bm);
        return p;
    }

    HMODULE dll = nullptr;
    MBERRORBOXPROC previousBox = nullptr;
    BACKGROUND bg;
    std::string dir;
    std::vector<std::string> files;
};

// The gradient as defined: a float running value stepping D / 352 per row,
// truncated. Computed here independently, row by row.
int GradientAt(int c0, int c1, int y)
{
    volatile float run = (float)c0;
    volatile float step = (float)(c1 - c0) / 352.0f;
    for (int i = 1; i <= y; i++)
        run = run + step;
    return (int)run;
}

} // namespace

// ---- Choice of source ----

TEST_F(BackgroundTest, BuiltinWinsOverSolid)
{
    Use(0x0005, "Skull");
    Picture p = Build();
    Picture want = Resource("SkullBg");
    ASSERT_EQ(want.w, WELL_WIDTH);
    ASSERT_EQ(want.h, WELL_HEIGHT);
    EXPECT_TRUE(p.px == want.px);
    EXPECT_GT(CountNot(p, bg.color[0]), WELL_WIDTH * WELL_HEIGHT / 2);
    EXPECT_EQ(bg.flags, 0x0005);
    EXPECT_TRUE(messages.empty());
}

TEST_F(BackgroundTest, GradientWinsOverFile)
{
    Use(0x000A, "no such file.bmp");
    bg.color[0] = RGB(0, 0, 0);
    bg.color[1] = RGB(255, 255, 255);
    Picture p = Build();
    EXPECT_EQ(p.At(0, 2), RGB(1, 1, 1));
    EXPECT_EQ(p.At(0, 351), RGB(254, 254, 254));
    EXPECT_TRUE(messages.empty()) << "the file must not even be tried";
    EXPECT_EQ(bg.flags, 0x000A);
}

TEST_F(BackgroundTest, PatternWinsOverFile)
{
    Use(0x0012, "Blue");
    Picture p = Build();
    Picture tile = Resource("BlueTile");
    ASSERT_GT(tile.w, 0);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            ASSERT_EQ(p.At(x, y), tile.At(x % tile.w, y % tile.h)) << "at " << x << "," << y;
    EXPECT_TRUE(messages.empty());
}

TEST_F(BackgroundTest, EveryBuiltinAndPatternNameBuilds)
{
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++) {
        Use(BG_BUILTIN, backgroundNames[i]);
        Picture p = Build();
        EXPECT_TRUE(p.px == Resource((std::string(backgroundNames[i]) + "Bg").c_str()).px) << backgroundNames[i];
    }
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Use(BG_PATTERN, tileNames[i]);
        Picture p = Build();
        Picture tile = Resource((std::string(tileNames[i]) + "Tile").c_str());
        ASSERT_GT(tile.w, 0);
        EXPECT_EQ(p.At(WELL_WIDTH - 1, WELL_HEIGHT - 1),
                  tile.At((WELL_WIDTH - 1) % tile.w, (WELL_HEIGHT - 1) % tile.h)) << tileNames[i];
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(BackgroundTest, NoSourceBitBecomesSolidColour)
{
    const WORD cases[] = {0x0000, 0x0020, 0x0100, 0xFF00, 0x00E0};
    for (WORD flags : cases) {
        Use(flags, "Background");
        Picture p = Build();
        EXPECT_EQ(CountNot(p, RGB(12, 34, 56)), 0) << "flags " << flags;
        EXPECT_EQ(bg.flags, 0x0004) << "flags " << flags;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(BackgroundTest, SolidColourFillsEverything)
{
    Use(BG_SOLID, "");
    bg.color[0] = RGB(255, 0, 128);
    Picture p = Build();
    EXPECT_EQ(CountNot(p, RGB(255, 0, 128)), 0);
}

TEST_F(BackgroundTest, SolidColourIgnoresAStrayHighByte)
{
    Use(BG_SOLID, "");
    bg.color[0] = 0x01000000 | RGB(40, 50, 60);
    Picture p = Build();
    EXPECT_EQ(CountNot(p, RGB(40, 50, 60)), 0);
}

// ---- Gradient ----

TEST_F(BackgroundTest, GradientBlackToWhiteRows)
{
    Use(BG_GRADIENT, "");
    bg.color[0] = RGB(0, 0, 0);
    bg.color[1] = RGB(255, 255, 255);
    Picture p = Build();
    const int rows[] = {0, 2, 176, 351};
    const int want[] = {0, 1, 127, 254};
    for (int i = 0; i < 4; i++)
        for (int x = 0; x < WELL_WIDTH; x++)
            ASSERT_EQ(p.At(x, rows[i]), RGB(want[i], want[i], want[i])) << "row " << rows[i] << " x " << x;
}

TEST_F(BackgroundTest, GradientWhiteToBlackEndsAtZero)
{
    Use(BG_GRADIENT, "");
    bg.color[0] = RGB(255, 255, 255);
    bg.color[1] = RGB(0, 0, 0);
    Picture p = Build();
    EXPECT_EQ(p.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(p.At(191, 351), RGB(0, 0, 0));
}

TEST_F(BackgroundTest, GradientEqualColoursIsOneColour)
{
    Use(BG_GRADIENT, "");
    bg.color[0] = bg.color[1] = RGB(77, 88, 99);
    Picture p = Build();
    EXPECT_EQ(CountNot(p, RGB(77, 88, 99)), 0);
}

TEST_F(BackgroundTest, GradientEveryRowAndChannelFollowsTheFloatSteps)
{
    Use(BG_GRADIENT, "");
    bg.color[0] = RGB(200, 10, 77);
    bg.color[1] = RGB(3, 250, 128);
    Picture p = Build();
    for (int y = 0; y < WELL_HEIGHT; y++) {
        COLORREF want = RGB(GradientAt(200, 3, y), GradientAt(10, 250, y), GradientAt(77, 128, y));
        for (int x = 0; x < WELL_WIDTH; x++)
            ASSERT_EQ(p.At(x, y), want) << "row " << y << " x " << x;
    }
}

// ---- File pictures ----

TEST_F(BackgroundTest, CentredFileLiesAt46_126OnColour0)
{
    Picture p = FromFile(BG_CENTER, 100, 100, Code);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            bool in = x >= 46 && x < 146 && y >= 126 && y < 226;
            ASSERT_EQ(p.At(x, y), in ? Code(x - 46, y - 126) : RGB(12, 34, 56)) << "at " << x << "," << y;
        }
    EXPECT_TRUE(messages.empty());
}

TEST_F(BackgroundTest, LargerCentredFileIsCutOnAllSides)
{
    Picture p = FromFile(BG_CENTER, 301, 401, Code);
    // 96 - 150 = -54, 176 - 200 = -24.
    EXPECT_EQ(p.At(0, 0), Code(54, 24));
    EXPECT_EQ(p.At(191, 351), Code(54 + 191, 24 + 351));
}

TEST_F(BackgroundTest, TiledFileRepeatsFromTheCorner)
{
    Picture p = FromFile(BG_TILE, 100, 100, Code);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            ASSERT_EQ(p.At(x, y), Code(x % 100, y % 100)) << "at " << x << "," << y;
}

TEST_F(BackgroundTest, TinyTiledFileStillCoversTheWell)
{
    Picture p = FromFile(BG_TILE, 3, 7, Code);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            ASSERT_EQ(p.At(x, y), Code(x % 3, y % 7)) << "at " << x << "," << y;
}

TEST_F(BackgroundTest, StretchedSmallFileFillsTheWell)
{
    Picture p = FromFile(BG_STRETCH, 100, 100, Code);
    EXPECT_EQ(p.At(0, 0), Code(0, 0));
    EXPECT_EQ(p.At(191, 351), Code(99, 99));
    // Every pixel comes from the picture: columns and rows in order.
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            COLORREF c = p.At(x, y);
            ASSERT_EQ(GetBValue(c), 0x40) << "at " << x << "," << y;
            ASSERT_LE(abs((int)GetRValue(c) - x * 100 / WELL_WIDTH), 1) << "at " << x << "," << y;
            ASSERT_LE(abs((int)GetGValue(c) - y * 100 / WELL_HEIGHT), 1) << "at " << x << "," << y;
        }
}

TEST_F(BackgroundTest, StretchedWideFileGrowsOnlyInHeightAndIsCut)
{
    Picture p = FromFile(BG_STRETCH, 300, 200, Code);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            COLORREF c = p.At(x, y);
            // Columns at their own size: column x of the picture.
            ASSERT_EQ(GetRValue(c), x) << "at " << x << "," << y;
            ASSERT_LE(abs((int)GetGValue(c) - y * 200 / WELL_HEIGHT), 1) << "at " << x << "," << y;
        }
    EXPECT_EQ(GetGValue(p.At(0, 0)), 0);
    EXPECT_EQ(GetGValue(p.At(0, 351)), 199);
}

TEST_F(BackgroundTest, DefaultPlacementSitsAtTheCornerOnColour0)
{
    Picture p = FromFile(0, 100, 100, Code);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            bool in = x < 100 && y < 100;
            ASSERT_EQ(p.At(x, y), in ? Code(x, y) : RGB(12, 34, 56)) << "at " << x << "," << y;
        }
}

TEST_F(BackgroundTest, FirstPlacementBitWins)
{
    Picture p = FromFile(BG_CENTER | BG_TILE | BG_STRETCH, 100, 100, Code);
    EXPECT_EQ(p.At(46, 126), Code(0, 0));
    EXPECT_EQ(p.At(0, 0), RGB(12, 34, 56));
    p = FromFile(BG_TILE | BG_STRETCH, 100, 100, Code);
    EXPECT_EQ(p.At(100, 100), Code(0, 0));
}

// ---- Failures ----

TEST_F(BackgroundTest, MissingBuiltinGivesItsMessageAndABlankPicture)
{
    Use(BG_BUILTIN, "Nowhere");
    Picture p = Build();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error loading built in bitmap resource!");
    EXPECT_EQ(CountNot(p, p.At(0, 0)), 0);
    EXPECT_EQ(bg.flags, BG_BUILTIN);
    EXPECT_STREQ(bg.name, "Nowhere");
}

TEST_F(BackgroundTest, BuiltinWithoutLibraryFailsTheSameWay)
{
    Use(BG_BUILTIN, "Background");
    BackgroundImage img(nullptr, nullptr, bg);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error loading built in bitmap resource!");
}

TEST_F(BackgroundTest, MissingTileGivesItsMessageAndABlankPicture)
{
    Use(BG_PATTERN, "Green");
    Picture p = Build();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error loading tile bmp");
    EXPECT_EQ(CountNot(p, p.At(0, 0)), 0);
}

TEST_F(BackgroundTest, MissingFileGivesItsMessageWithThePath)
{
    std::string path = dir + "\\absent.bmp";
    Use(BG_FILE | BG_CENTER, path.c_str());
    Picture p = Build();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error loading background image " + path);
    EXPECT_EQ(CountNot(p, p.At(0, 0)), 0);
    EXPECT_EQ(bg.flags, BG_FILE | BG_CENTER);
}

TEST_F(BackgroundTest, MessageWithA255CharacterPathIsCutNotOverrun)
{
    std::string path = "C:\\" + std::string(252, 'p');
    ASSERT_EQ(path.size(), 255u);
    Use(BG_FILE, path.c_str());
    Picture p = Build();
    ASSERT_EQ(messages.size(), 1u);
    std::string full = "Error loading background image " + path;
    EXPECT_EQ(messages[0], full.substr(0, MBERROR_BUFSIZE - 1));
}

TEST_F(BackgroundTest, UnterminatedNameIsReadWithinItsArray)
{
    bg.flags = BG_BUILTIN;
    memset(bg.name, 'A', sizeof bg.name);
    { BackgroundImage img(nullptr, dll, bg); }
    bg.flags = BG_PATTERN;
    { BackgroundImage img(nullptr, dll, bg); }
    bg.flags = BG_FILE;
    { BackgroundImage img(nullptr, dll, bg); }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Error loading built in bitmap resource!");
    EXPECT_EQ(messages[1], "Error loading tile bmp");
    EXPECT_EQ(messages[2].substr(0, 31), "Error loading background image ");
}

TEST_F(BackgroundTest, ParentWindowLendsItsContext)
{
    HWND hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    Use(BG_SOLID, "");
    {
        BackgroundImage img(hwnd, dll, bg);
        Picture p = GrabImage(img);
        EXPECT_EQ(CountNot(p, RGB(12, 34, 56)), 0);
    }
    DestroyWindow(hwnd);
}

// ---- Hostile files ----

namespace {

// A header-only 24-bit file whose fields the cases below spoil one by one.
std::vector<BYTE> SmallBmp() { return Bmp24(4, 4, Code); }

void PutDword(std::vector<BYTE> &f, size_t at, DWORD v) { memcpy(&f[at], &v, 4); }
void PutWord(std::vector<BYTE> &f, size_t at, WORD v) { memcpy(&f[at], &v, 2); }

} // namespace

TEST_F(BackgroundTest, HostileFilesEndInTheMessage)
{
    struct Case {
        const char *what;
        std::vector<BYTE> data;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"two bytes", {'B', 'M'}});
    cases.push_back({"not a bitmap", std::vector<BYTE>(500, 0x5A)});
    {
        std::vector<BYTE> f = Bmp24(100, 100, Code);
        f.resize(54 + 100 * 300 / 2);
        cases.push_back({"truncated pixels", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 18, 100000);
        PutDword(f, 22, 100000);
        cases.push_back({"enormous", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 18, 20000);
        PutDword(f, 22, 1);
        cases.push_back({"too wide", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 18, (DWORD)-4);
        cases.push_back({"negative width", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 22, 0);
        cases.push_back({"zero height", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 22, 0x80000000u);
        cases.push_back({"most negative height", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutWord(f, 28, 7);
        cases.push_back({"7 bits a pixel", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutWord(f, 26, 3);
        cases.push_back({"3 planes", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 14, 1000);
        cases.push_back({"header size 1000", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 10, 0x7FFFFFF0);
        cases.push_back({"bits beyond the file", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutDword(f, 30, 4); // JPEG inside
        cases.push_back({"embedded JPEG", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutWord(f, 28, 8);
        PutDword(f, 46, 100000); // more colours than 8 bits hold
        cases.push_back({"palette overflow", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutWord(f, 28, 8);
        PutDword(f, 30, BI_RLE8);
        PutDword(f, 34, 0);
        cases.push_back({"run-length without size", f});
    }
    {
        std::vector<BYTE> f = SmallBmp();
        PutWord(f, 28, 8);
        PutDword(f, 30, BI_RLE8);
        PutDword(f, 34, 5000);
        cases.push_back({"run-length longer than the file", f});
    }
    int i = 0;
    for (const Case &c : cases) {
        std::string name = "bad" + std::to_string(i++) + ".bmp";
        std::string path = WriteFile(name.c_str(), c.data);
        EXPECT_FALSE(BitmapFileIsSound(path.c_str())) << c.what;
        messages.clear();
        Use(BG_FILE | BG_STRETCH, path.c_str());
        Picture p = Build();
        ASSERT_EQ(messages.size(), 1u) << c.what;
        EXPECT_EQ(messages[0], "Error loading background image " + path) << c.what;
        EXPECT_EQ(CountNot(p, RGB(12, 34, 56)), 0) << c.what;
    }
}

TEST_F(BackgroundTest, OtherSoundFormatsLoad)
{
    // Top-down rows.
    std::vector<BYTE> top = Bmp24(10, 10, Code);
    {
        // Flip the rows in place and mark the height negative.
        const int stride = 32;
        std::vector<BYTE> flipped(top);
        for (int y = 0; y < 10; y++)
            memcpy(&flipped[54 + y * stride], &top[54 + (9 - y) * stride], stride);
        PutDword(flipped, 22, (DWORD)-10);
        top = flipped;
    }
    // 8 bits with a palette of 256 grey levels.
    std::vector<BYTE> grey(54 + 1024 + 4 * 4, 0);
    {
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfSize = (DWORD)grey.size();
        fh.bfOffBits = 54 + 1024;
        BITMAPINFOHEADER ih = {};
        ih.biSize = 40;
        ih.biWidth = 4;
        ih.biHeight = 4;
        ih.biPlanes = 1;
        ih.biBitCount = 8;
        memcpy(&grey[0], &fh, 14);
        memcpy(&grey[14], &ih, 40);
        for (int i = 0; i < 256; i++) {
            grey[54 + 4 * i] = grey[54 + 4 * i + 1] = grey[54 + 4 * i + 2] = (BYTE)i;
        }
        for (int i = 0; i < 16; i++)
            grey[54 + 1024 + i] = (BYTE)(i * 16);
    }
    // The old 12-byte header.
    std::vector<BYTE> core(14 + 12 + 2 * 8, 0);
    {
        core[0] = 'B';
        core[1] = 'M';
        PutDword(core, 2, (DWORD)core.size());
        PutDword(core, 10, 26);
        PutDword(core, 14, 12);
        PutWord(core, 18, 2);
        PutWord(core, 20, 2);
        PutWord(core, 22, 1);
        PutWord(core, 24, 24);
        for (int i = 0; i < 3; i++)
            core[26 + i] = 0xC0; // bottom row, left pixel
    }
    std::string pTop = WriteFile("top.bmp", top);
    std::string pGrey = WriteFile("grey.bmp", grey);
    std::string pCore = WriteFile("core.bmp", core);

    // Rows stored top first are valid; what the platform's loader makes of
    // them is its affair (Wine's shows them blank), but they are not refused.
    EXPECT_TRUE(BitmapFileIsSound(pTop.c_str()));
    Use(BG_FILE, pTop.c_str());
    Picture p = Build();

    EXPECT_TRUE(BitmapFileIsSound(pGrey.c_str()));
    Use(BG_FILE, pGrey.c_str());
    p = Build();
    EXPECT_EQ(p.At(0, 3), RGB(0, 0, 0));
    EXPECT_EQ(p.At(3, 0), RGB(240, 240, 240));

    EXPECT_TRUE(BitmapFileIsSound(pCore.c_str()));
    Use(BG_FILE, pCore.c_str());
    p = Build();
    EXPECT_EQ(p.At(0, 1), RGB(0xC0, 0xC0, 0xC0));
    EXPECT_TRUE(messages.empty());
}

// ---- Lifetime ----

TEST_F(BackgroundTest, DestructionReleasesTheBitmapAndTheSurface)
{
    Use(BG_GRADIENT, "");
    BackgroundImage *img = new BackgroundImage(nullptr, dll, bg);
    HBITMAP hbm = img->hbm;
    HDC surface = img->hdcImage;
    ASSERT_NE(hbm, nullptr);
    EXPECT_EQ(GetCurrentObject(surface, OBJ_BITMAP), (HGDIOBJ)hbm);
    delete img;
    EXPECT_EQ(GetObjectType(hbm), 0u);
    EXPECT_EQ(GetObjectType(surface), 0u);
}

TEST_F(BackgroundTest, ThousandBuildsOfEveryKindLeaveNoGdiObject)
{
    std::string pic = WriteFile("leak.bmp", Bmp24(40, 30, Code));
    struct Kind {
        WORD flags;
        const char *name;
    } kinds[] = {
        {BG_BUILTIN, "Leet"}, {BG_SOLID, ""}, {BG_GRADIENT, ""}, {BG_PATTERN, "Orange"},
        {BG_FILE, pic.c_str()}, {BG_FILE | BG_CENTER, pic.c_str()}, {BG_FILE | BG_TILE, pic.c_str()},
        {BG_FILE | BG_STRETCH, pic.c_str()}, {0, ""},
        // and every failure
        {BG_BUILTIN, "Nowhere"}, {BG_PATTERN, "Nowhere"}, {BG_FILE, "C:\\no\\such.bmp"},
    };
    // Warm up: the first drawing of a process makes stock objects.
    for (const Kind &k : kinds) {
        Use(k.flags, k.name);
        delete new BackgroundImage(nullptr, dll, bg);
    }
    for (const Kind &k : kinds) {
        int before = GdiObjectCount();
        for (int i = 0; i < 1000; i++) {
            Use(k.flags, k.name);
            BackgroundImage *img = new BackgroundImage(nullptr, dll, bg);
            delete img;
        }
        EXPECT_EQ(GdiObjectCount(), before) << "flags " << k.flags << " name " << k.name;
    }
}

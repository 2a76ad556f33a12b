// Tests of the real graphics library as the build makes it: every name the
// program loads is there with the size it relies on, and the art keeps the
// standards it was drawn to (distinct tiles, lightness steps within each
// default scheme, marks that read without colour, dark backgrounds).
#include <windows.h>
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bgimage.h"
#include "options.h"
#include "stkdefs.h"

namespace {

const int BLOCK_TILES_MIN = 42;   // the default schemes name tiles 0..41
const int BLOCK_TILES_MAX = 256;
const int SCHEME_COLOURS = 7;
const int MARKED_SCHEME = 1;      // "Two": each colour has its own inner mark
const double MIN_LIGHTNESS_STEP = 5.0;  // CIE L*, between neighbours in a scheme
const double MAX_BACKGROUND_MEAN = 35.0; // CIE L* of a whole background

struct Picture {
    std::vector<COLORREF> px;
    int w = 0, h = 0;
    COLORREF At(int x, int y) const { return px[(size_t)y * w + x]; }
};

Picture GrabBitmap(HBITMAP bm)
{
    Picture p;
    BITMAP info;
    if (GetObjectA(bm, sizeof info, &info) != (int)sizeof info)
        return p;
    p.w = info.bmWidth;
    p.h = info.bmHeight;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.w;
    bi.bmiHeader.biHeight = -p.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<DWORD> bits((size_t)p.w * p.h);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bm, 0, p.h, bits.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    p.px.resize(bits.size());
    for (size_t i = 0; i < bits.size(); i++)
        p.px[i] = RGB((bits[i] >> 16) & 0xFF, (bits[i] >> 8) & 0xFF, bits[i] & 0xFF);
    return p;
}

double Linear(int c)
{
    double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
}

double Luminance(COLORREF c)
{
    return 0.2126 * Linear(GetRValue(c)) + 0.7152 * Linear(GetGValue(c)) + 0.0722 * Linear(GetBValue(c));
}

double Lightness(double y) { return y > 0.008856 ? 116.0 * cbrt(y) - 16.0 : 903.3 * y; }

// Mean lightness of a rectangle, from its mean luminance.
double MeanLightness(const Picture &p, int x0, int y0, int w, int h)
{
    double sum = 0;
    for (int y = y0; y < y0 + h; y++)
        for (int x = x0; x < x0 + w; x++)
            sum += Luminance(p.At(x, y));
    return Lightness(sum / (w * h));
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dll = LoadLibraryA("stkgfx.dll");
        ASSERT_NE(dll, nullptr) << "stkgfx.dll must lie beside the test program";
    }
    void TearDown() override { FreeLibrary(dll); }
    Picture Load(const std::string &name)
    {
        HBITMAP bm = LoadBitmapA(dll, name.c_str());
        EXPECT_NE(bm, nullptr) << name;
        Picture p;
        if (bm) {
            p = GrabBitmap(bm);
            DeleteObject(bm);
        }
        return p;
    }
    int TileX(const Picture &blocks, int k) { return (k % (blocks.w / CELL)) * CELL; }
    int TileY(const Picture &blocks, int k) { return (k / (blocks.w / CELL)) * CELL; }
    HMODULE dll = nullptr;
};

} // namespace

TEST_F(LibraryTest, BlocksCutIntoEnoughWholeTiles)
{
    Picture b = Load("Blocks");
    ASSERT_GT(b.w, 0);
    EXPECT_EQ(b.w % CELL, 0);
    EXPECT_EQ(b.h % CELL, 0);
    int tiles = (b.w / CELL) * (b.h / CELL);
    EXPECT_GE(tiles, BLOCK_TILES_MIN);
    EXPECT_LE(tiles, BLOCK_TILES_MAX);
    EXPECT_EQ(b.w, 160);
    EXPECT_EQ(b.h, 96);
}

TEST_F(LibraryTest, EveryBackgroundIsAWholeWell)
{
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++) {
        Picture p = Load(std::string(backgroundNames[i]) + szBuiltinSuffix);
        EXPECT_EQ(p.w, WELL_WIDTH) << backgroundNames[i];
        EXPECT_EQ(p.h, WELL_HEIGHT) << backgroundNames[i];
    }
}

TEST_F(LibraryTest, EveryPatternTileIsBetween8And64)
{
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Picture p = Load(std::string(tileNames[i]) + szTileSuffix);
        EXPECT_GE(p.w, 8) << tileNames[i];
        EXPECT_LE(p.w, 64) << tileNames[i];
        EXPECT_GE(p.h, 8) << tileNames[i];
        EXPECT_LE(p.h, 64) << tileNames[i];
    }
}

TEST_F(LibraryTest, UnknownNamesAreMissing)
{
    EXPECT_EQ(LoadBitmapA(dll, "NowhereBg"), nullptr);
    EXPECT_EQ(LoadBitmapA(dll, "GreenTile"), nullptr);
}

TEST_F(LibraryTest, NoTwoBlockTilesAreAlike)
{
    Picture b = Load("Blocks");
    ASSERT_GT(b.w, 0);
    const int n = (b.w / CELL) * (b.h / CELL);
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            int differ = 0;
            for (int y = 0; y < CELL; y++)
                for (int x = 0; x < CELL; x++)
                    differ += b.At(TileX(b, i) + x, TileY(b, i) + y) != b.At(TileX(b, j) + x, TileY(b, j) + y);
            EXPECT_GT(differ, 16) << "tiles " << i << " and " << j;
        }
}

TEST_F(LibraryTest, EachDefaultSchemeStepsItsLightness)
{
    Picture b = Load("Blocks");
    ASSERT_GT(b.w, 0);
    for (int s = 0; s < NUM_DEFAULT_SCHEMES; s++) {
        std::vector<double> l;
        for (int c = 0; c < SCHEME_COLOURS; c++) {
            int k = defaultBlockSchemes[s].blocks[c];
            l.push_back(MeanLightness(b, TileX(b, k), TileY(b, k), CELL, CELL));
        }
        std::sort(l.begin(), l.end());
        for (int c = 1; c < SCHEME_COLOURS; c++)
            EXPECT_GE(l[c] - l[c - 1], MIN_LIGHTNESS_STEP) << "scheme " << defaultBlockSchemes[s].name;
    }
}

TEST_F(LibraryTest, MarkedSchemeReadsWithoutColour)
{
    // Each tile of the marked scheme, reduced to light and dark against its
    // own mean, must differ in shape from every other one.
    Picture b = Load("Blocks");
    ASSERT_GT(b.w, 0);
    std::vector<std::vector<int>> shapes;
    for (int c = 0; c < SCHEME_COLOURS; c++) {
        int k = defaultBlockSchemes[MARKED_SCHEME].blocks[c];
        double lo = 1, hi = 0;
        for (int y = 2; y < CELL - 2; y++)
            for (int x = 2; x < CELL - 2; x++) {
                double v = Luminance(b.At(TileX(b, k) + x, TileY(b, k) + y));
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        // Light or dark marks alike: the mark is the smaller of the two
        // classes either side of the middle lightness.
        std::vector<int> shape;
        for (int y = 2; y < CELL - 2; y++)
            for (int x = 2; x < CELL - 2; x++)
                shape.push_back(Luminance(b.At(TileX(b, k) + x, TileY(b, k) + y)) > (lo + hi) / 2);
        if (2 * std::count(shape.begin(), shape.end(), 1) > (long)shape.size())
            for (int &v : shape)
                v = !v;
        shapes.push_back(shape);
    }
    for (int i = 0; i < SCHEME_COLOURS; i++) {
        int marked = (int)std::count(shapes[i].begin(), shapes[i].end(), 1);
        EXPECT_GE(marked, 8) << "colour " << i << " has no visible mark";
        for (int j = i + 1; j < SCHEME_COLOURS; j++) {
            int differ = 0;
            for (size_t p = 0; p < shapes[i].size(); p++)
                differ += shapes[i][p] != shapes[j][p];
            EXPECT_GE(differ, 8) << "marks of colours " << i << " and " << j;
        }
    }
}

TEST_F(LibraryTest, BackgroundsAreDarkEnoughForEveryScheme)
{
    Picture b = Load("Blocks");
    ASSERT_GT(b.w, 0);
    // The darkest block of any default scheme.
    double darkestBlock = 100;
    for (int k = 0; k < BLOCK_TILES_MIN; k++)
        darkestBlock = std::min(darkestBlock, MeanLightness(b, TileX(b, k), TileY(b, k), CELL, CELL));
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++) {
        Picture p = Load(std::string(backgroundNames[i]) + szBuiltinSuffix);
        ASSERT_EQ(p.w, WELL_WIDTH);
        double mean = MeanLightness(p, 0, 0, p.w, p.h);
        EXPECT_LE(mean, MAX_BACKGROUND_MEAN) << backgroundNames[i];
        EXPECT_LT(mean + 5, darkestBlock) << backgroundNames[i];
        // Not pure black either: the black grid lines must still show.
        EXPECT_GT(mean, 3.0) << backgroundNames[i];
    }
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Picture p = Load(std::string(tileNames[i]) + szTileSuffix);
        ASSERT_GT(p.w, 0);
        EXPECT_LT(MeanLightness(p, 0, 0, p.w, p.h) + 5, darkestBlock) << tileNames[i];
    }
}

TEST_F(LibraryTest, BackgroundsHaveNoBands)
{
    // A slow gradient stored without dithering shows rows of one colour
    // edged by a jump; with fine noise no two neighbouring rows are equal.
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++) {
        Picture p = Load(std::string(backgroundNames[i]) + szBuiltinSuffix);
        ASSERT_EQ(p.w, WELL_WIDTH);
        int sameRows = 0;
        for (int y = 1; y < p.h; y++) {
            bool same = true;
            for (int x = 0; x < p.w && same; x++)
                same = p.At(x, y) == p.At(x, y - 1);
            sameRows += same;
        }
        EXPECT_EQ(sameRows, 0) << backgroundNames[i];
    }
}

TEST_F(LibraryTest, PatternTilesAreSeamless)
{
    // Across the wrap the colours change no more than they do inside.
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Picture p = Load(std::string(tileNames[i]) + szTileSuffix);
        ASSERT_GT(p.w, 1);
        auto diff = [](COLORREF a, COLORREF b) {
            return abs((int)GetRValue(a) - (int)GetRValue(b)) + abs((int)GetGValue(a) - (int)GetGValue(b)) +
                   abs((int)GetBValue(a) - (int)GetBValue(b));
        };
        double inside = 0, wrapX = 0, wrapY = 0;
        for (int y = 0; y < p.h; y++) {
            for (int x = 1; x < p.w; x++)
                inside += diff(p.At(x, y), p.At(x - 1, y));
            wrapX += diff(p.At(0, y), p.At(p.w - 1, y));
        }
        for (int x = 0; x < p.w; x++)
            wrapY += diff(p.At(x, 0), p.At(x, p.h - 1));
        inside /= (double)p.h * (p.w - 1);
        EXPECT_LE(wrapX / p.h, 2.5 * inside + 1) << tileNames[i];
        EXPECT_LE(wrapY / p.w, 2.5 * inside + 1) << tileNames[i];
    }
}

#ifdef STAKKA_GFX_DIR
TEST(ProgramIcon, IsOne32By32IconWith256Colours)
{
    std::string path = std::string(STAKKA_GFX_DIR) + "\\appico.ico";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
    BYTE head[6 + 16 + 40];
    DWORD got = 0;
    ReadFile(f, head, sizeof head, &got, nullptr);
    CloseHandle(f);
    ASSERT_EQ(got, sizeof head);
    EXPECT_EQ(head[4] | (head[5] << 8), 1) << "one image";
    EXPECT_EQ(head[6], 32);
    EXPECT_EQ(head[7], 32);
    EXPECT_EQ(head[8], 0) << "0 means 256 colours";
    EXPECT_EQ(head[6 + 16 + 14] | (head[6 + 16 + 15] << 8), 8) << "bits a pixel";

    HICON icon = (HICON)LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 32, 32, LR_LOADFROMFILE);
    ASSERT_NE(icon, nullptr);
    ICONINFO ii;
    ASSERT_TRUE(GetIconInfo(icon, &ii));
    BITMAP bm;
    GetObjectA(ii.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    EXPECT_EQ(bm.bmHeight, 32);
    DeleteObject(ii.hbmColor);
    DeleteObject(ii.hbmMask);
    DestroyIcon(icon);
}
#endif

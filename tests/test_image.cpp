// Tests of Image: exact pixels of the four copies on memory surfaces, the
// reference surface's mapping, and who releases what.
#include <windows.h>
#include <gtest/gtest.h>

#include "gdi_count.h"
#include "image.h"
#include "stkdefs.h"

namespace {

// A top-down 32-bit DIB section whose pixels the test reads directly.
struct Dib {
    HBITMAP bm = nullptr;
    DWORD *bits = nullptr;
    int w = 0, h = 0;

    Dib(int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void *p = nullptr;
        bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD *>(p);
    }
    ~Dib()
    {
        if (bm)
            DeleteObject(bm);
    }
    // As a COLORREF (0x00BBGGRR); the DIB stores 0x00RRGGBB.
    COLORREF At(int x, int y) const
    {
        DWORD v = bits[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    void Set(int x, int y, COLORREF c)
    {
        bits[y * w + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    Dib(const Dib &) = delete;
    Dib &operator=(const Dib &) = delete;
};

// A memory surface with a DIB selected, released in the right order.
struct Surface {
    Dib dib;
    HDC dc;
    HGDIOBJ old;
    Surface(int w, int h) : dib(w, h)
    {
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, dib.bm);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    void Fill(COLORREF c)
    {
        for (int y = 0; y < dib.h; y++)
            for (int x = 0; x < dib.w; x++)
                dib.Set(x, y, c);
    }
};

const COLORREF SENTINEL = RGB(1, 2, 3);

// Every pixel different from its neighbours and from the sentinel.
COLORREF Code(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x80 | ((x >> 8) << 2) | (y >> 8)); }

int GdiObjects() { return GdiObjectCount(); }

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        screen = GetDC(nullptr);
        ASSERT_NE(screen, nullptr);
    }
    void TearDown() override { ReleaseDC(nullptr, screen); }
    HDC screen = nullptr;
};

} // namespace

TEST_F(ImageTest, WrapsTheBitmapAtItsOwnSize)
{
    Dib pic(48, 20);
    Image img(pic.bm, screen);
    EXPECT_EQ(img.size.cx, 48);
    EXPECT_EQ(img.size.cy, 20);
    EXPECT_EQ(img.org.x, 0);
    EXPECT_EQ(img.org.y, 0);
    ASSERT_NE(img.hdcImage, nullptr);
    EXPECT_EQ(GetCurrentObject(img.hdcImage, OBJ_BITMAP), (HGDIOBJ)pic.bm);
}

TEST_F(ImageTest, EmptyImageHasNoSurface)
{
    Image img;
    EXPECT_EQ(img.hdcImage, nullptr);
    EXPECT_EQ(img.size.cx, 0);
    EXPECT_EQ(img.size.cy, 0);
}

TEST_F(ImageTest, TakesTheReferenceSurfaceMappingAndOrigin)
{
    Surface ref(32, 32);
    SetMapMode(ref.dc, MM_ANISOTROPIC);
    SetViewportOrgEx(ref.dc, 10, 20, nullptr);
    Dib pic(16, 16);
    Image img(pic.bm, ref.dc);
    EXPECT_EQ(GetMapMode(img.hdcImage), MM_ANISOTROPIC);
    // Device (0, 0) in the reference's logical units.
    EXPECT_EQ(img.org.x, -10);
    EXPECT_EQ(img.org.y, -20);
}

TEST_F(ImageTest, BlockAtBottomRightFillsExactlyTheLastCell)
{
    Surface field(WELL_WIDTH, WELL_HEIGHT);
    field.Fill(SENTINEL);
    Dib block(CELL, CELL);
    for (int y = 0; y < CELL; y++)
        for (int x = 0; x < CELL; x++)
            block.Set(x, y, RGB(200, 16 * x, 16 * y));
    {
        Image img(block.bm, field.dc);
        img.Blit(field.dc, 176, 336);
        GdiFlush();
    }
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            COLORREF want = (x >= 176 && y >= 336) ? RGB(200, 16 * (x - 176), 16 * (y - 336)) : SENTINEL;
            ASSERT_EQ(field.dib.At(x, y), want) << "at " << x << "," << y;
        }
}

TEST_F(ImageTest, BlitRectCopiesOnlyItsRectangleAtTheSamePlace)
{
    // A band of whole rows (as the well's redraw asks for) and an inner rectangle.
    struct Case {
        int x, y, w, h;
    };
    const Case cases[] = {{0, 32, 192, 32}, {40, 100, 24, 8}};
    Dib pic(WELL_WIDTH, WELL_HEIGHT);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            pic.Set(x, y, Code(x, y));
    for (const Case& c : cases) {
        Surface dest(WELL_WIDTH, WELL_HEIGHT);
        dest.Fill(SENTINEL);
        {
            Image img(pic.bm, dest.dc);
            img.BlitRect(dest.dc, c.x, c.y, c.w, c.h);
            GdiFlush();
        }
        for (int y = 0; y < WELL_HEIGHT; y++)
            for (int x = 0; x < WELL_WIDTH; x++) {
                bool in = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
                ASSERT_EQ(dest.dib.At(x, y), in ? Code(x, y) : SENTINEL)
                    << "rect " << c.x << "," << c.y << " at " << x << "," << y;
            }
    }
}

TEST_F(ImageTest, StretchBlitToHalfSizeHalvesBothWays)
{
    // 2 x 2 pixel squares, each its own colour, so halving has one right answer.
    Dib pic(WELL_WIDTH, WELL_HEIGHT);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            pic.Set(x, y, Code(x / 2, y / 2));
    Surface dest(WELL_WIDTH, WELL_HEIGHT);
    dest.Fill(SENTINEL);
    Image img(pic.bm, dest.dc);
    img.StretchBlit(dest.dc, 0, 0, WELL_WIDTH / 2, WELL_HEIGHT / 2);
    GdiFlush();
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++) {
            bool in = x < WELL_WIDTH / 2 && y < WELL_HEIGHT / 2;
            ASSERT_EQ(dest.dib.At(x, y), in ? Code(x, y) : SENTINEL) << "at " << x << "," << y;
        }
}

TEST_F(ImageTest, StretchBlitToTheSameSizeIsAPlainCopy)
{
    Dib pic(WELL_WIDTH, WELL_HEIGHT);
    for (int y = 0; y < WELL_HEIGHT; y++)
        for (int x = 0; x < WELL_WIDTH; x++)
            pic.Set(x, y, Code(x, y));
    Surface dest(WELL_WIDTH + 20, WELL_HEIGHT + 20);
    dest.Fill(SENTINEL);
    Image img(pic.bm, dest.dc);
    img.StretchBlit(dest.dc, 10, 10, WELL_WIDTH, WELL_HEIGHT);
    GdiFlush();
    for (int y = 0; y < dest.dib.h; y++)
        for (int x = 0; x < dest.dib.w; x++) {
            bool in = x >= 10 && x < 10 + WELL_WIDTH && y >= 10 && y < 10 + WELL_HEIGHT;
            ASSERT_EQ(dest.dib.At(x, y), in ? Code(x - 10, y - 10) : SENTINEL) << "at " << x << "," << y;
        }
}

TEST_F(ImageTest, StretchBlitPutsBackTheCallersStretchMode)
{
    Dib pic(8, 8);
    Surface dest(8, 8);
    SetStretchBltMode(dest.dc, HALFTONE);
    Image img(pic.bm, dest.dc);
    img.StretchBlit(dest.dc, 0, 0, 4, 4);
    EXPECT_EQ(GetStretchBltMode(dest.dc), HALFTONE);
}

TEST_F(ImageTest, BlitFromTakesTheTileInTheThirdColumnSecondRow)
{
    Surface src(64, 48);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            src.dib.Set(x, y, Code(x, y));
    Dib tile(CELL, CELL);
    Surface out(CELL, CELL);
    {
        Image img(tile.bm, src.dc);
        img.BlitFrom(0, 0, src.dc, 32, 16, 16, 16);
        // Read back through the image's own Blit.
        img.Blit(out.dc, 0, 0);
        GdiFlush();
    }
    for (int y = 0; y < CELL; y++)
        for (int x = 0; x < CELL; x++)
            ASSERT_EQ(out.dib.At(x, y), Code(32 + x, 16 + y)) << "at " << x << "," << y;
}

TEST_F(ImageTest, BlitCopiesFromTheOrigin)
{
    Dib pic(20, 10);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 20; x++)
            pic.Set(x, y, Code(x, y));
    Surface dest(40, 30);
    dest.Fill(SENTINEL);
    Image img(pic.bm, dest.dc);
    img.Blit(dest.dc, 5, 7);
    GdiFlush();
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++) {
            bool in = x >= 5 && x < 25 && y >= 7 && y < 17;
            ASSERT_EQ(dest.dib.At(x, y), in ? Code(x - 5, y - 7) : SENTINEL) << "at " << x << "," << y;
        }
}

TEST_F(ImageTest, DestructionReleasesTheSurfaceButNotTheBitmap)
{
    Dib pic(16, 16);
    pic.Set(3, 4, RGB(9, 8, 7));
    delete new Image(pic.bm, screen); // first use makes stock objects
    int before = GdiObjects();
    Image *img = new Image(pic.bm, screen);
    HDC surface = img->hdcImage;
    EXPECT_EQ(GdiObjects(), before + 1);
    delete img;
    EXPECT_EQ(GdiObjects(), before);
    EXPECT_EQ(GetObjectType(surface), 0u);
    // The bitmap is still there and whole.
    BITMAP bm;
    ASSERT_EQ(GetObjectA(pic.bm, sizeof bm, &bm), (int)sizeof bm);
    EXPECT_EQ(pic.At(3, 4), RGB(9, 8, 7));
}

TEST_F(ImageTest, ThousandImagesLeaveNoGdiObjectBehind)
{
    Dib pic(CELL, CELL);
    Surface dest(CELL, CELL);
    int before = GdiObjects();
    for (int i = 0; i < 1000; i++) {
        Image *img = new Image(pic.bm, dest.dc);
        img->BlitFrom(0, 0, dest.dc, 0, 0, CELL, CELL);
        img->Blit(dest.dc, 0, 0);
        img->BlitRect(dest.dc, 0, 0, 4, 4);
        img->StretchBlit(dest.dc, 0, 0, 8, 8);
        delete img;
    }
    EXPECT_EQ(GdiObjects(), before);
}

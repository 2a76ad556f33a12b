// Image: the stretched copy and the caller's stretch mode, the reference surface's mapping,
// and who releases what. Plain copies are checked through the playfield's surfaces.
#include <gtest/gtest.h>

#include "gdi_count.h"
#include "image.h"
#include "testkit.h"

namespace {
COLORREF Code(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x80); }
} // namespace

TEST(Image, StretchedCopyKeepsTheCallersModeAndSurroundings)
{
    const COLORREF kSentinel = RGB(1, 2, 3);
    Surface pic(64, 48, 0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            pic.Set(x, y, Code(x / 2, y / 2));
    SelectObject(pic.dc, pic.old);    // a bitmap shown by an image is selected nowhere else
    Image img(pic.bm, nullptr);
    EXPECT_EQ(64, img.size.cx);
    EXPECT_EQ(48, img.size.cy);
    Surface half(80, 60, kSentinel);
    SetStretchBltMode(half.dc, HALFTONE);
    img.StretchBlit(half.dc, 3, 4, 32, 24);
    EXPECT_EQ(HALFTONE, GetStretchBltMode(half.dc));
    Pixels p = half.Read();
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++)
            ASSERT_EQ(x >= 3 && x < 35 && y >= 4 && y < 28 ? Code(x - 3, y - 4) : kSentinel,
                      p.At(x, y)) << x << "," << y;
}

TEST(Image, TakesTheReferenceMappingAndReleasesItsSurfaceOnly)
{
    Surface ref(32, 32, 0);
    SetMapMode(ref.dc, MM_ANISOTROPIC);
    SetViewportOrgEx(ref.dc, 10, 20, nullptr);
    Surface pic(16, 16, RGB(9, 8, 7));
    SelectObject(pic.dc, pic.old);
    {
        Image img(pic.bm, ref.dc);
        EXPECT_EQ(MM_ANISOTROPIC, GetMapMode(img.hdcImage));
        EXPECT_EQ(-10, img.org.x);    // device (0, 0) in the reference's logical units
        EXPECT_EQ(-20, img.org.y);
    }
    delete new Image(pic.bm, nullptr);   // the first use makes stock objects
    int before = GdiObjectCount();
    for (int i = 0; i < 1000; i++)
        delete new Image(pic.bm, ref.dc);
    EXPECT_EQ(before, GdiObjectCount());
    EXPECT_EQ(RGB(9, 8, 7), ReadBitmap(pic.bm).At(15, 15));   // the bitmap lives on
}

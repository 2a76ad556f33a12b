// Image: the four copies pixel by pixel on memory surfaces, the reference surface's mapping,
// and who releases what.
#include <gtest/gtest.h>

#include <functional>

#include "gdi_count.h"
#include "image.h"
#include "testkit.h"

namespace {

const COLORREF kSentinel = RGB(1, 2, 3);

// Every pixel its own colour, none the sentinel.
COLORREF Code(int x, int y) { return RGB(x & 0xFF, y & 0xFF, 0x80 | (x >> 8) << 2 | (y >> 8)); }

void ExpectEveryPixel(const Pixels& p, std::function<COLORREF(int, int)> want)
{
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++)
            ASSERT_EQ(want(x, y), p.At(x, y)) << "at " << x << "," << y;
}

} // namespace

TEST(Image, CopiesWholeInPartScaledAndBack)
{
    Surface pic(64, 48, 0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            pic.Set(x, y, Code(x / 2, y / 2));
    SelectObject(pic.dc, pic.old);    // a bitmap shown by an image is selected nowhere else
    Image img(pic.bm, nullptr);
    EXPECT_EQ(64, img.size.cx);
    EXPECT_EQ(48, img.size.cy);

    Surface dest(80, 60, kSentinel);
    img.Blit(dest.dc, 5, 7);
    ExpectEveryPixel(dest.Read(), [](int x, int y) {
        return x >= 5 && x < 69 && y >= 7 && y < 55 ? Code((x - 5) / 2, (y - 7) / 2) : kSentinel;
    });
    Surface part(80, 60, kSentinel);
    img.BlitRect(part.dc, 40, 10, 24, 8);   // from the same place of the image
    ExpectEveryPixel(part.Read(), [](int x, int y) {
        return x >= 40 && x < 64 && y >= 10 && y < 18 ? Code(x / 2, y / 2) : kSentinel;
    });
    Surface half(80, 60, kSentinel);
    SetStretchBltMode(half.dc, HALFTONE);
    img.StretchBlit(half.dc, 3, 4, 32, 24);
    EXPECT_EQ(HALFTONE, GetStretchBltMode(half.dc));   // the caller's mode comes back
    ExpectEveryPixel(half.Read(), [](int x, int y) {
        return x >= 3 && x < 35 && y >= 4 && y < 28 ? Code(x - 3, y - 4) : kSentinel;
    });
    Surface same(80, 60, kSentinel);
    img.StretchBlit(same.dc, 0, 0, 64, 48);
    EXPECT_EQ(Code(63 / 2, 47 / 2), same.Read().At(63, 47));
    EXPECT_EQ(kSentinel, same.Read().At(64, 48));
    // BlitFrom: the tile in the third column and second row of a sheet, into the image.
    Surface sheet(64, 48, 0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            sheet.Set(x, y, Code(100 + x, 100 + y));
    img.BlitFrom(1, 2, sheet.dc, 32, 16, 16, 16);
    Surface back(64, 48, kSentinel);
    img.Blit(back.dc, 0, 0);
    ExpectEveryPixel(back.Read(), [](int x, int y) {
        return x >= 1 && x < 17 && y >= 2 && y < 18 ? Code(100 + 31 + x, 100 + 14 + y)
                                                    : Code(x / 2, y / 2);
    });
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
    Image empty;
    EXPECT_EQ(nullptr, empty.hdcImage);
    delete new Image(pic.bm, nullptr);   // the first use makes stock objects
    int before = GdiObjectCount();
    for (int i = 0; i < 1000; i++) {
        Image* img = new Image(pic.bm, ref.dc);
        img->StretchBlit(ref.dc, 0, 0, 8, 8);
        delete img;
    }
    EXPECT_EQ(before, GdiObjectCount());
    EXPECT_EQ(RGB(9, 8, 7), ReadBitmap(pic.bm).At(15, 15));   // the bitmap lives on
}

// Image: the stretched copy and the caller's stretch mode, the reference surface's mapping,
// and who releases what. Plain copies are checked through the playfield's surfaces.
#include <gtest/gtest.h>

#include "gdi_count.h"
#include "image.h"
#include "testkit.h"

TEST(Image, StretchedCopyKeepsTheModeOriginFollowsTheMappingAndNothingLeaks)
{
    Surface pic(64, 48, RGB(9, 8, 7));
    Surface ref(80, 60, RGB(1, 2, 3));
    for (int i = 0; i < 4; i++)
        pic.Set(62 + i % 2, 46 + i / 2, RGB(200, 0, 0));
    SelectObject(pic.dc, pic.old); // a bitmap shown by an image is selected nowhere else
    Image* img = new Image(pic.bm, nullptr);
    EXPECT_EQ((SIZE{64, 48}), img->size);
    SetStretchBltMode(ref.dc, HALFTONE);
    img->StretchBlit(ref.dc, 3, 4, 32, 24); // halved: the last pixel drawn is the file's last
    delete img;
    EXPECT_EQ(HALFTONE, GetStretchBltMode(ref.dc));
    Pixels p = ref.Read();
    EXPECT_EQ(RGB(9, 8, 7), p.At(3, 4));
    EXPECT_EQ(RGB(200, 0, 0), p.At(34, 27));
    EXPECT_EQ(RGB(1, 2, 3), p.At(35, 28));
    // The origin in the reference's logical units, and its mapping mode.
    SetMapMode(ref.dc, MM_ANISOTROPIC);
    SetViewportOrgEx(ref.dc, 10, 20, nullptr);
    {
        Image mapped(pic.bm, ref.dc);
        EXPECT_EQ(MM_ANISOTROPIC, GetMapMode(mapped.hdcImage));
        EXPECT_EQ((POINT{-10, -20}), mapped.org);
    }
    int before = GdiObjectCount();
    for (int i = 0; i < 1000; i++)
        delete new Image(pic.bm, ref.dc);
    EXPECT_EQ(before, GdiObjectCount());
    EXPECT_EQ(RGB(9, 8, 7), ReadBitmap(pic.bm).At(15, 15)); // the bitmap lives on
}

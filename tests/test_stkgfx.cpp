// The graphics library as the build makes it: every picture the program loads by name is there
// in the size the program relies on.
#include <gtest/gtest.h>

#include <string>

#include "bgimage.h"
#include "options.h"
#include "stkdefs.h"
#include "testkit.h"

TEST(GraphicsLibrary, EveryNameLoadsInItsSize)
{
    HMODULE dll = LoadLibraryA("stkgfx.dll");
    ASSERT_NE(nullptr, dll) << "stkgfx.dll must lie beside the test program";
    auto load = [dll](const std::string& name) {
        HBITMAP bm = LoadBitmapA(dll, name.c_str());
        EXPECT_NE(nullptr, bm) << name;
        Pixels p = bm ? ReadBitmap(bm) : Pixels();
        DeleteObject(bm);
        return p;
    };
    // Whole tiles, enough for the default schemes (tiles 0..41), no more than the tables hold.
    Pixels blocks = load("Blocks");
    int tiles = (blocks.w / CELL) * (blocks.h / CELL);
    EXPECT_TRUE(blocks.w % CELL == 0 && blocks.h % CELL == 0) << blocks.w << "x" << blocks.h;
    EXPECT_GE(tiles, 42);
    EXPECT_LE(tiles, 256);
    for (int i = 0; i < NUM_BACKGROUND_NAMES; i++) {
        Pixels p = load(std::string(backgroundNames[i]) + szBuiltinSuffix);
        EXPECT_TRUE(p.w == WELL_WIDTH && p.h == WELL_HEIGHT) << backgroundNames[i];
    }
    for (int i = 0; i < NUM_TILE_NAMES; i++) {
        Pixels p = load(std::string(tileNames[i]) + szTileSuffix);
        EXPECT_TRUE(p.w >= 8 && p.w <= 64 && p.h >= 8 && p.h <= 64) << tileNames[i];
    }
    FreeLibrary(dll);
}

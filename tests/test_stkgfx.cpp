// The graphics library as the build makes it: every picture the program loads by name is there
// in the size the program relies on, and the block tiles the default schemes name differ.
#include <gtest/gtest.h>

#include <set>
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
    // Whole tiles, enough for the default schemes (tiles 0..41), no more than the tables hold;
    // the tiles those schemes name are all different pictures.
    Pixels blocks = load("Blocks");
    int across = blocks.w / CELL, tiles = across * (blocks.h / CELL);
    EXPECT_TRUE(blocks.w % CELL == 0 && blocks.h % CELL == 0) << blocks.w << "x" << blocks.h;
    EXPECT_GE(tiles, 42);
    EXPECT_LE(tiles, 256);
    std::set<std::vector<COLORREF>> distinct;
    for (int k = 0; k < 42 && k < tiles; k++) {
        std::vector<COLORREF> tile;
        for (int y = 0; y < CELL; y++)
            for (int x = 0; x < CELL; x++)
                tile.push_back(blocks.At(k % across * CELL + x, k / across * CELL + y));
        distinct.insert(tile);
    }
    EXPECT_EQ(42u, distinct.size());
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

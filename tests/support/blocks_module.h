// blocks_module.h - a throwaway resource module holding a "Blocks" bitmap of
// any size, so the playfield can be built against block bitmaps the
// graphics library would never ship (odd sizes, too many tiles, none).
#ifndef BLOCKS_MODULE_H
#define BLOCKS_MODULE_H

#include <windows.h>

// Colour of tile k in the generated bitmap: unique for k = 0..65535, so a
// pixel tells which tile was drawn.
COLORREF TileColor(int k);

// A copy of the running program with a "Blocks" bitmap (24 bits a pixel)
// of width x height, tile k filled with TileColor(k), loaded as a data file.
// With withBlocks 0 the module has no "Blocks" at all. Returns null on failure.
// Free it with FreeBlocksModule.
HMODULE MakeBlocksModule(int width, int height, int withBlocks = 1);
void FreeBlocksModule(HMODULE module);

#endif // BLOCKS_MODULE_H

// blocks_module.cpp - throwaway resource modules with a "Blocks" bitmap (see the header).
#include "blocks_module.h"

#include <stdio.h>

#include <map>
#include <string>

#include "testkit.h"

namespace {
std::map<HMODULE, std::string> modulePaths;
int tilesAcross = 1;
COLORREF TilePixel(int x, int y) { return TileColor((y / 16) * tilesAcross + x / 16); }
} // namespace

COLORREF TileColor(int k) { return RGB(k & 0xFF, (k >> 8) & 0xFF, 0x80 + (k % 7) * 16); }

HMODULE MakeBlocksModule(int width, int height, int withBlocks)
{
    static int serial = 0;
    char self[MAX_PATH], dir[MAX_PATH], path[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    GetTempPathA(sizeof dir, dir);
    snprintf(path, sizeof path, "%sblocks_%lu_%d.dll", dir, GetCurrentProcessId(), serial++);
    HANDLE update = CopyFileA(self, path, FALSE) ? BeginUpdateResourceA(path, TRUE) : NULL;
    if (!update)
        return NULL;
    tilesAcross = width / 16 > 0 ? width / 16 : 1;
    std::vector<BYTE> bmp = Bmp24(width, height, TilePixel);
    // A bitmap resource is a bitmap file without its 14-byte file header.
    if (withBlocks)
        UpdateResourceA(update, (LPCSTR)RT_BITMAP, "BLOCKS",
                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &bmp[14],
                        (DWORD)bmp.size() - 14);
    HMODULE module = EndUpdateResourceA(update, FALSE)
                         ? LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE)
                         : NULL;
    if (module)
        modulePaths[module] = path;
    return module;
}

void FreeBlocksModule(HMODULE module)
{
    if (module && FreeLibrary(module) && modulePaths.count(module)) {
        DeleteFileA(modulePaths[module].c_str());
        modulePaths.erase(module);
    }
}

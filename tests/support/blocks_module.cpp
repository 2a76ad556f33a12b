// blocks_module.cpp - builds resource modules with a chosen "Blocks" bitmap.
#include "blocks_module.h"

#include <stdio.h>
#include <string.h>
#include <map>
#include <string>
#include <vector>

namespace {
// A data-file module does not know its own file name: remember it.
std::map<HMODULE, std::string> modulePaths;
} // namespace

COLORREF TileColor(int k)
{
    return RGB(k & 0xFF, (k >> 8) & 0xFF, 0x80 + (k % 7) * 16);
}

HMODULE MakeBlocksModule(int width, int height, int withBlocks)
{
    static int serial = 0;
    char self[MAX_PATH], dir[MAX_PATH], path[MAX_PATH];
    if (!GetModuleFileNameA(NULL, self, sizeof self) || !GetTempPathA(sizeof dir, dir))
        return NULL;
    snprintf(path, sizeof path, "%sblocks_%lu_%d.dll", dir, GetCurrentProcessId(), serial++);
    if (!CopyFileA(self, path, FALSE))
        return NULL;

    HANDLE update = BeginUpdateResourceA(path, TRUE);
    if (!update)
        return NULL;
    if (withBlocks) {
        // A packed DIB, bottom-up, as a bitmap resource holds it.
        int w = width > 0 ? width : 0, h = height > 0 ? height : 0;
        std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + (size_t)w * h * 4);
        BITMAPINFOHEADER* bi = (BITMAPINFOHEADER*)dib.data();
        bi->biSize = sizeof *bi;
        bi->biWidth = width;
        bi->biHeight = height;
        bi->biPlanes = 1;
        bi->biBitCount = 32;
        bi->biCompression = BI_RGB;
        unsigned char* px = dib.data() + sizeof *bi;
        int across = w / 16 > 0 ? w / 16 : 1;
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                int k = (y / 16) * across + x / 16;
                COLORREF c = TileColor(k);
                unsigned char* p = px + ((size_t)(h - 1 - y) * w + x) * 4;
                p[0] = GetBValue(c);
                p[1] = GetGValue(c);
                p[2] = GetRValue(c);
                p[3] = 0;
            }
        }
        UpdateResourceA(update, (LPCSTR)RT_BITMAP, "BLOCKS", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                        dib.data(), (DWORD)dib.size());
    }
    if (!EndUpdateResourceA(update, FALSE))
        return NULL;
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module)
        modulePaths[module] = path;
    else
        DeleteFileA(path);
    return module;
}

void FreeBlocksModule(HMODULE module)
{
    if (!module)
        return;
    FreeLibrary(module);
    auto it = modulePaths.find(module);
    if (it != modulePaths.end()) {
        DeleteFileA(it->second.c_str());
        modulePaths.erase(it);
    }
}

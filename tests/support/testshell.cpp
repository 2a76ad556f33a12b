// testshell.cpp - the main window and playfield for tests and benchmarks (see testshell.h).
#include "testshell.h"

#include <stdio.h>
#include <string.h>

#include "STAKKA.h"
#include "grid.h"
#include "shell.h"

namespace
{
const POINT TEST_WINDOW_POS = {100, 100};
const char GFX_LIBRARY_NAME[] = "stkgfx.dll";

bool Failed(const char* step)
{
    fprintf(stderr, "test shell: %s failed\n", step);
    return false;
}
} // namespace

TestShell::TestShell()
{
    memset(&op, 0, sizeof op);
    op.windowpos = TEST_WINDOW_POS;
    op.go.bg.flags = BG_SOLID;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    memcpy(op.co.keys, defaultkeys, sizeof op.co.keys);
    lstrcpynA(op.so.bgMusic, defaultMusic, sizeof op.so.bgMusic);
}

TestShell::~TestShell()
{
    Close();
}

bool TestShell::Open(HMODULE blocks)
{
    HINSTANCE self = GetModuleHandleA(nullptr);
    hinst = self;
    WNDCLASSA wc;
    if (!GetClassInfoA(self, szAppname, &wc) && !RegisterStakkaClasses(self))
        return Failed("registering the window classes");
    SetOptionsStore(&store);
    storeSet = true;
    if (!blocks) {
        ownLibrary = LoadLibraryA(GFX_LIBRARY_NAME);
        if (!ownLibrary)
            return Failed("loading the graphics library");
        hinstDll = ownLibrary;
        blocks = ownLibrary;
    }
    hwndMain = CreateMainWindow(self, &op);
    if (!hwndMain)
        return Failed("creating the main window");
    ShowWindow(hwndMain, SW_SHOWNORMAL);
    UpdateWindow(hwndMain);
    grid = new StakkaGrid(hwndMain, blocks, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    DrainMessages();
    return true;
}

void TestShell::Close()
{
    if (hwndMain && IsWindow(hwndMain)) {
        SendMessageA(hwndMain, WM_SETGRID, 0, 0);
        DestroyWindow(hwndMain);
    }
    hwndMain = nullptr;
    delete grid;
    grid = nullptr;
    DrainMessages();
    if (ownLibrary) {
        FreeLibrary(ownLibrary);
        hinstDll = nullptr;
        ownLibrary = nullptr;
    }
    if (storeSet) {
        SetOptionsStore(nullptr);
        storeSet = false;
    }
}

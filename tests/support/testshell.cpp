// testshell.cpp - the main window and playfield for tests and benchmarks (see testshell.h).
#include "testshell.h"

#include <stdio.h>
#include <string.h>

#include "STAKKA.h"
#include "grid.h"
#include "netshell.h"
#include "shell.h"

TestShell::TestShell()
{
    memset(&op, 0, sizeof op);
    op.windowpos = {100, 100};
    op.go.bg.flags = BG_SOLID;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    memcpy(op.co.keys, defaultkeys, sizeof op.co.keys);
    lstrcpynA(op.so.bgMusic, defaultMusic, sizeof op.so.bgMusic);
    SetOptionsStore(&store);
}

TestShell::~TestShell()
{
    Close();
    SetOptionsStore(nullptr);
}

bool TestShell::Open(HMODULE blocks)
{
    hinst = GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    if (!GetClassInfoA(hinst, szAppname, &wc) && !RegisterStakkaClasses(hinst)) {
        fprintf(stderr, "test shell: the window classes cannot be registered\n");
        return false;
    }
    if (!blocks) {
        ownLibrary = LoadLibraryA("stkgfx.dll");
        hinstDll = ownLibrary;
        blocks = ownLibrary;
    }
    hwndMain = CreateMainWindow(hinst, &op);
    if (!blocks || !hwndMain) {
        fprintf(stderr, "test shell: no graphics library beside the program, or no main window\n");
        return false;
    }
    ShowWindow(hwndMain, SW_SHOWNORMAL);
    UpdateWindow(hwndMain);
    grid = new StakkaGrid(hwndMain, blocks, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    DrainMessages();
    return true;
}

void TestShell::Close()
{
    // As WinMain ends: a session or a computer match goes before the playfield does.
    if (grid)
        NetShellShutdown(grid);
    if (hwndMain && IsWindow(hwndMain)) {
        SendMessageA(hwndMain, WM_SETGRID, 0, 0);
        DestroyWindow(hwndMain);
    }
    hwndMain = nullptr;
    delete grid;
    grid = nullptr;
    DrainMessages();
    if (ownLibrary)
        FreeLibrary(ownLibrary);
    ownLibrary = nullptr;
}

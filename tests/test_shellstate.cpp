// The state the real main window leaves behind: the stored position across
// minimise, restore and a close while minimised, and the "Next" panel after
// Stop Game.
#include <gtest/gtest.h>

#include <string.h>

#include "STAKKA.h"
#include "clock.h"
#include "grid.h"
#include "options.h"
#include "resource.h"
#include "shell.h"

namespace {

const int PANEL = 112; // the "Next" panel is square

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

struct ShellState : ::testing::Test {
    OPTIONS op;
    void SetUp() override
    {
        WNDCLASSA wc;
        if (!GetClassInfoA(GetModuleHandleA(NULL), "Stakka", &wc)) {
            ASSERT_EQ(1, RegisterStakkaClasses(GetModuleHandleA(NULL)));
        }
        memset(&op, 0, sizeof op);
        op.go.bg.flags = BG_SOLID;
        op.go.preview = 1;
        hwndMain = CreateMainWindow(GetModuleHandleA(NULL), &op);
        ASSERT_NE((HWND)NULL, hwndMain);
        ShowWindow(hwndMain, SW_SHOWNORMAL);
        Drain();
    }
    void TearDown() override
    {
        if (IsWindow(hwndMain))
            DestroyWindow(hwndMain);
        hwndMain = NULL;
        Drain();
        StkClockDrive(0, 0);
    }
    void ExpectStored(LONG x, LONG y)
    {
        EXPECT_EQ(x, op.windowpos.x);
        EXPECT_EQ(y, op.windowpos.y);
    }
};

// Non-white pixels where the next piece is drawn, from the panel's own
// drawing into a DIB (the screen cannot be read under the null driver).
int PiecePixels(HWND panel)
{
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = PANEL;
    bi.bmiHeader.biHeight = -PANEL;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = NULL;
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bm = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(dc, bm);
    SendMessageA(panel, WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    int n = 0;
    const DWORD* px = (const DWORD*)bits;
    for (int y = 24; y < 104; y++) // below the label, inside the frame
        for (int x = 8; x < 104; x++)
            n += (px[y * PANEL + x] & 0xFFFFFF) != 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bm);
    DeleteDC(dc);
    return n;
}

int erases;
WNDPROC nextProc;

LRESULT CALLBACK CountErase(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_ERASEBKGND)
        erases++;
    return CallWindowProcA(nextProc, hwnd, msg, wParam, lParam);
}

} // namespace

TEST_F(ShellState, OnlyANormalPlacementIsStored)
{
    // A place the player chose is kept exactly, off the screen included.
    SetWindowPos(hwndMain, NULL, -70, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectStored(-70, -30);
    ShowWindow(hwndMain, SW_MINIMIZE);
    Drain();
    ASSERT_TRUE(IsIconic(hwndMain));
    ExpectStored(-70, -30);
    ShowWindow(hwndMain, SW_RESTORE);
    Drain();
    ExpectStored(-70, -30);
    // Closed from the taskbar while minimised.
    ShowWindow(hwndMain, SW_MINIMIZE);
    SendMessageA(hwndMain, WM_CLOSE, 0, 0);
    Drain();
    EXPECT_FALSE(IsWindow(hwndMain));
    ExpectStored(-70, -30);
}

TEST_F(ShellState, StopGameLeavesTheNextPanelEmpty)
{
    HMODULE gfx = LoadLibraryA("stkgfx.dll");
    ASSERT_NE((HMODULE)NULL, gfx);
    StakkaGrid* grid = new StakkaGrid(hwndMain, gfx, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    StkClockDrive(1, 1000);
    SendMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
    grid->RunFrame(); // the first piece enters and the next one waits
    ASSERT_NE(nullptr, grid->pNextTetrad);
    nextProc = (WNDPROC)SetWindowLongPtrA(grid->hwndNext, GWLP_WNDPROC, (LONG_PTR)CountErase);
    UpdateWindow(grid->hwndNext);
    EXPECT_GT(PiecePixels(grid->hwndNext), 0);

    SendMessageA(hwndMain, WM_COMMAND, IDM_STOPGAME, 0);
    // The panel must be repainted whole, erased, or it keeps showing the piece.
    RECT r;
    ASSERT_TRUE(GetUpdateRect(grid->hwndNext, &r, FALSE));
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(PANEL, r.right);
    EXPECT_EQ(PANEL, r.bottom);
    erases = 0;
    UpdateWindow(grid->hwndNext);
    EXPECT_EQ(1, erases);
    EXPECT_EQ(0, PiecePixels(grid->hwndNext));

    SetWindowLongPtrA(grid->hwndNext, GWLP_WNDPROC, (LONG_PTR)nextProc);
    SendMessageA(hwndMain, WM_SETGRID, 0, 0);
    DestroyWindow(hwndMain);
    delete grid;
    FreeLibrary(gfx);
}

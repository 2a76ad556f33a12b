// What the real main window, its playfield and the graphics dialog keep
// through minimising, Stop Game, and error boxes shown while a background
// picture is built (the box's modal loop repaints and may bring another
// change before the build is done).
#include <gtest/gtest.h>

#include <malloc.h>
#include <string.h>

#include <new>

#include "STAKKA.h"
#include "bgimage.h"
#include "clock.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "grid.h"
#include "resource.h"
#include "shell.h"

namespace
{
// Virtual calls made through freed objects (the allocator below).
int freedCalls;
void Trap()
{
    freedCalls++;
}
void (*const trapTable[8])() = {Trap, Trap, Trap, Trap, Trap, Trap, Trap, Trap};

int boxes, reentries;
StakkaGrid* grid; // the playfield while a rebuild is checked
HWND dlg;         // the graphics dialog while a rebuild is checked

// What the box's modal loop may do: repaint everything, and once, bring
// another change. Every picture that can be reached must be alive.
int WINAPI BoxDuringBuild(HWND, LPCSTR, LPCSTR, UINT)
{
    boxes++;
    if (grid) {
        EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(grid->backgrnd->hdcImage));
        SendMessageA(hwndMain, WM_SETFOCUS, 0, 0); // recomposes the well
        if (!reentries++)
            grid->UpdateGfxOptions();
    }
    if (dlg) {
        RedrawWindow(GetDlgItem(dlg, IDC_PREVIEW), NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        if (!reentries++) {
            SendDlgItemMessageA(dlg, IDC_BGDETAIL, CB_SETCURSEL, 3, 0); // "Stretch"
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_BGDETAIL, CBN_SELCHANGE), 0);
        }
    }
    return IDOK;
}

// Once the dialog shows: a placement change rebuilds the preview, then Cancel.
void CALLBACK DriveDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    static int ticks;
    HWND shown = FindWindowA("#32770", "Graphics Options");
    if (!shown || (!IsWindowVisible(shown) && ++ticks < 200))
        return;
    KillTimer(NULL, id);
    dlg = shown;
    SendDlgItemMessageA(dlg, IDC_BGDETAIL, CB_SETCURSEL, 2, 0); // "Tile"
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_BGDETAIL, CBN_SELCHANGE), 0);
    dlg = NULL;
    PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
}

int erases;
WNDPROC nextProc;

LRESULT CALLBACK CountErase(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    erases += msg == WM_ERASEBKGND;
    return CallWindowProcA(nextProc, hwnd, msg, wParam, lParam);
}

void Drain() // also the quit messages the windows post as they go
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

struct ShellState : ::testing::Test {
    OPTIONS op;
    HMODULE gfx = NULL;
    StakkaGrid* g = NULL;
    MBERRORBOXPROC oldBox = NULL;
    void SetUp() override
    {
        WNDCLASSA wc;
        if (!GetClassInfoA(GetModuleHandleA(NULL), "Stakka", &wc))
            RegisterStakkaClasses(GetModuleHandleA(NULL));
        memset(&op, 0, sizeof op);
        op.go.bg.flags = BG_SOLID;
        op.go.preview = 1;
        hwndMain = CreateMainWindow(GetModuleHandleA(NULL), &op);
        ASSERT_NE((HWND)NULL, hwndMain);
        ShowWindow(hwndMain, SW_SHOWNORMAL);
        gfx = LoadLibraryA("stkgfx.dll");
        ASSERT_NE((HMODULE)NULL, gfx);
        oldBox = SetMbErrorBox(BoxDuringBuild);
        boxes = reentries = freedCalls = 0;
        Drain();
    }
    void TearDown() override
    {
        SetMbErrorBox(oldBox);
        if (IsWindow(hwndMain)) {
            SendMessageA(hwndMain, WM_SETGRID, 0, 0);
            DestroyWindow(hwndMain);
        }
        hwndMain = NULL;
        delete g;
        FreeLibrary(gfx);
        Drain();
        StkClockDrive(0, 0);
    }
    void MakeGrid()
    {
        g = new StakkaGrid(hwndMain, gfx, &op);
        SendMessageA(hwndMain, WM_SETGRID, (WPARAM)g, 0);
    }
    void ExpectStored(LONG x, LONG y)
    {
        EXPECT_EQ(x, op.windowpos.x);
        EXPECT_EQ(y, op.windowpos.y);
    }
    void MissingFile()
    {
        op.go.bg.flags = BG_FILE | BG_CENTER;
        lstrcpynA(op.go.bg.name, "Z:\\no\\such\\picture.bmp", sizeof op.go.bg.name);
    }
};

} // namespace

// Freed memory is never handed out again, and its first word is made to
// point at a table whose every entry is Trap: a virtual call through a freed
// picture (drawing it, deleting it once more) is counted instead of running
// on whatever the memory holds. The table's layout is the x86_64 ABI's.
void* operator new(size_t n)
{
    void* p = malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
static void Quarantine(void* p)
{
    if (p && _msize(p) >= sizeof(void*)) {
        memset(p, 0xDD, _msize(p));
        *(const void**)p = trapTable;
    }
}
void operator delete(void* p) noexcept
{
    Quarantine(p);
}
void operator delete(void* p, size_t) noexcept
{
    Quarantine(p);
}

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
    EXPECT_FALSE(IsWindow(hwndMain));
    ExpectStored(-70, -30);
}

TEST_F(ShellState, StopGameRepaintsTheNextPanelWhole)
{
    MakeGrid();
    StkClockDrive(1, 1000);
    SendMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
    g->RunFrame(); // the first piece enters and the next one waits
    ASSERT_NE(nullptr, g->pNextTetrad);
    nextProc = (WNDPROC)SetWindowLongPtrA(g->hwndNext, GWLP_WNDPROC, (LONG_PTR)CountErase);
    UpdateWindow(g->hwndNext);

    SendMessageA(hwndMain, WM_COMMAND, IDM_STOPGAME, 0);
    // Erased whole, or the screen keeps the stopped game's piece.
    RECT r, whole = {0, 0, NEXT_SIZE, NEXT_SIZE};
    ASSERT_TRUE(GetUpdateRect(g->hwndNext, &r, FALSE));
    EXPECT_TRUE(EqualRect(&whole, &r));
    erases = 0;
    UpdateWindow(g->hwndNext);
    EXPECT_EQ(1, erases);
    SetWindowLongPtrA(g->hwndNext, GWLP_WNDPROC, (LONG_PTR)nextProc);
}

TEST_F(ShellState, PlayfieldKeepsItsOldPictureUntilTheNewOneIsBuilt)
{
    MakeGrid();
    grid = g;
    MissingFile();
    g->UpdateGfxOptions();
    grid = NULL;
    EXPECT_EQ(2, boxes); // the change, and the one brought in under its box
    EXPECT_EQ(0, freedCalls);
    EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(g->backgrnd->hdcImage));
}

TEST_F(ShellState, PreviewKeepsItsOldPictureUntilTheNewOneIsBuilt)
{
    GFXOPTIONSDATA god;
    memset(&god, 0, sizeof god);
    god.pgo = &op.go;
    MissingFile();
    UINT_PTR timer = SetTimer(NULL, 0, 20, DriveDialog);
    GraphicsOptions(gfx, hwndMain, &god);
    KillTimer(NULL, timer);
    EXPECT_EQ(3, boxes); // opening, the change, and the one brought in under its box
    EXPECT_EQ(0, freedCalls);
}

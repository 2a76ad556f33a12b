// Background pictures rebuilt while an error box is up: the box's modal loop
// repaints the playfield and the dialog's preview and may bring another
// change. Neither may find a freed picture, and a change brought in while a
// picture is being built must do no harm.
#include <gtest/gtest.h>

#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "STAKKA.h"
#include "bgimage.h"
#include "dlgids.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "grid.h"
#include "options.h"
#include "shell.h"

// Freed memory is never handed out again, and its first word is made to
// point at a table whose every entry is Trap: a virtual call through a freed
// picture (drawing it, deleting it once more) is counted instead of running
// on whatever the memory holds. The table's layout is the x86_64 ABI's.
namespace {
int freedCalls;
void Trap() { freedCalls++; }
void (*const trapTable[8])() = {Trap, Trap, Trap, Trap, Trap, Trap, Trap, Trap};
} // namespace

void* operator new(size_t n)
{
    void* p = malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept
{
    if (!p)
        return;
    size_t n = _msize(p);
    memset(p, 0xDD, n);
    if (n >= sizeof(void*))
        *(const void**)p = trapTable;
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

const char MISSING_FILE[] = "Z:\\no\\such\\picture.bmp";
int boxes;
int reentries;
StakkaGrid* grid; // the playfield under test, once built
HWND dlg;         // the graphics dialog, once it is driven

// What the box's modal loop may do: repaint everything, and once, bring
// another change. Every picture that can be reached must be alive.
int WINAPI BoxDuringBuild(HWND, LPCSTR, LPCSTR, UINT)
{
    boxes++;
    if (grid) {
        EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(grid->backgrnd->hdcImage));
        SendMessageA(hwndMain, WM_SETFOCUS, 0, 0); // redraws the well
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

struct Rebuild : ::testing::Test {
    OPTIONS op;
    HMODULE gfx = NULL;
    MBERRORBOXPROC oldBox = NULL;
    void SetUp() override
    {
        WNDCLASSA wc;
        if (!GetClassInfoA(GetModuleHandleA(NULL), "Stakka", &wc)) {
            ASSERT_EQ(1, RegisterStakkaClasses(GetModuleHandleA(NULL)));
        }
        memset(&op, 0, sizeof op);
        op.go.bg.flags = BG_SOLID;
        hwndMain = CreateMainWindow(GetModuleHandleA(NULL), &op);
        ASSERT_NE((HWND)NULL, hwndMain);
        ShowWindow(hwndMain, SW_SHOW);
        gfx = LoadLibraryA("stkgfx.dll");
        ASSERT_NE((HMODULE)NULL, gfx);
        oldBox = SetMbErrorBox(BoxDuringBuild);
        boxes = reentries = freedCalls = 0;
    }
    void TearDown() override
    {
        SetMbErrorBox(oldBox);
        DestroyWindow(hwndMain);
        hwndMain = NULL;
        FreeLibrary(gfx);
        MSG msg; // the quit messages the windows posted as they went
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    void MissingFile(BACKGROUND& bg)
    {
        bg.flags = BG_FILE | BG_CENTER;
        lstrcpynA(bg.name, MISSING_FILE, sizeof bg.name);
    }
};

} // namespace

TEST_F(Rebuild, PlayfieldKeepsItsOldPictureUntilTheNewOneIsBuilt)
{
    StakkaGrid* g = new StakkaGrid(hwndMain, gfx, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)g, 0);
    grid = g;
    MissingFile(op.go.bg);
    g->UpdateGfxOptions();
    grid = NULL;
    EXPECT_EQ(2, boxes); // the change, and the one brought in under its box
    EXPECT_EQ(0, freedCalls);
    EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(g->backgrnd->hdcImage));
    SendMessageA(hwndMain, WM_SETGRID, 0, 0);
    delete g;
}

TEST_F(Rebuild, PreviewKeepsItsOldPictureUntilTheNewOneIsBuilt)
{
    GFXOPTIONSDATA god;
    memset(&god, 0, sizeof god);
    god.pgo = &op.go;
    MissingFile(op.go.bg);
    UINT_PTR timer = SetTimer(NULL, 0, 20, DriveDialog);
    GraphicsOptions(gfx, hwndMain, &god);
    KillTimer(NULL, timer);
    EXPECT_EQ(3, boxes); // opening, the change, and the one brought in under its box
    EXPECT_EQ(0, freedCalls);
}

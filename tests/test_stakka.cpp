// The application shell: the New/Stop/Pause state machine with its menu and music, the game
// that ends by itself, the waiting main loop, resources flat over played games, WinMain without
// the graphics library, and what the main window keeps through minimising, Stop Game, and error
// boxes shown while a background picture is built (the box's modal loop repaints and may bring
// another change).
#include <gtest/gtest.h>
#include <malloc.h>
#include <shlwapi.h>

#include <tuple>

#include "STAKKA.h"
#include "bgimage.h"
#include "blocks_module.h"
#include "clock.h"
#include "dlgids.h"
#include "gdi_count.h"
#include "gfxdlg.h"
#include "gfxopt.h"
#include "grid.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "testkit.h"
#include "testshell.h"
#include "tetrad.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace
{

// Virtual calls made through freed objects (the allocator below).
int freedCalls;
void (*const trap)() = [] { freedCalls++; };
void (*const trapTable[8])() = {trap, trap, trap, trap, trap, trap, trap, trap};

VOID CALLBACK QuitLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    PostQuitMessage(0);
}

// What the player sees of the shell: the first item of the File menu, the music, a game
// running, the game paused.
typedef std::tuple<std::string, bool, bool, bool> ShellState;

const POINT STORED_POS = {-15, 40}; // used as stored, even partly off the screen

struct ShellTest : ::testing::Test {
    TestShell shell;
    StakkaGrid*& grid = shell.grid;
    OPTIONS& op = shell.op;
    HMODULE mod = nullptr;
    BoxRecorder rec;

    void SetUp() override
    {
        op.windowpos = STORED_POS;
        mod = MakeBlocksModule(160, 96);
        ASSERT_TRUE(shell.Open(mod));
        ASSERT_EQ(std::vector<std::string>{}, rec.Texts());
        freedCalls = 0;
    }
    void TearDown() override
    {
        shell.Close();
        FreeBlocksModule(mod);
        SetFrameHook(nullptr);
        StkClockDrive(0, 0);
    }
    void Command(UINT id) { SendMessageA(hwndMain, WM_COMMAND, id, 0); }
    ShellState State()
    {
        char text[32] = "";
        GetMenuStringA(GetSubMenu(GetMenu(hwndMain), 0), 0, text, sizeof text, MF_BYPOSITION);
        return ShellState(text, GameMusicLoaded() != 0, grid->Active() != 0, grid->paused != 0);
    }
    void Run(UINT ms)
    {
        SetTimer(nullptr, 0, ms, QuitLater);
        RunMainLoop(grid, nullptr);
    }
};

} // namespace

// Freed memory is never handed out again, and its first word is made to point at a table whose
// every entry is Trap: a virtual call through a freed picture (drawing it, deleting it once
// more) is counted instead of running on whatever the memory holds (x86_64 ABI's layout).
void operator delete(void* p) noexcept
{
    if (p && _msize(p) >= sizeof(void*)) {
        memset(p, 0xDD, _msize(p));
        *(const void**)p = trapTable;
    }
}
void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}

// A game command, or the message of a game that ended by itself (a stale one when none runs).
const UINT GAME_ENDED = 0;
// A cell set before each step: New Game clears the well, except during a game.
const int MARK_X = 0, MARK_Y = 21, MARK = 5;

TEST_F(ShellTest, NewStopPauseEndAndCloseSetMenuAndMusicAndTheWindowOpensWhereStored)
{
    const std::string newItem = "&New Game\tF2", stopItem = "S&top Game\tF3";
    struct Step {
        const char* what;
        UINT command;
        int playMusic;
        ShellState after;
    };
    const Step steps[] = {
        {"stop without a game", IDM_STOPGAME, 1, {newItem, false, false, false}},
        {"pause without a game", IDM_PAUSE, 1, {newItem, false, false, false}},
        {"new game, music off", IDM_NEWGAME, 0, {stopItem, false, true, false}},
        {"stop", IDM_STOPGAME, 0, {newItem, false, false, false}},
        {"new game, music on", IDM_NEWGAME, 1, {stopItem, true, true, false}},
        {"new game during a game", IDM_NEWGAME, 1, {stopItem, true, true, false}},
        {"pause", IDM_PAUSE, 1, {stopItem, true, true, true}},
        {"resume", IDM_PAUSE, 1, {stopItem, true, true, false}},
        {"a stale end", GAME_ENDED, 1, {stopItem, true, true, false}},
        {"stop with music", IDM_STOPGAME, 1, {newItem, false, false, false}},
        {"new game again", IDM_NEWGAME, 1, {stopItem, true, true, false}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        op.so.playMusic = step.playMusic;
        const bool wasRunning = grid->Active() != 0;
        grid->field[MARK_X][MARK_Y] = MARK;
        if (step.command == GAME_ENDED)
            SendMessageA(hwndMain, WM_GAMEENDED, 0, 0);
        else
            Command(step.command);
        EXPECT_EQ(step.after, State());
        if (step.command == IDM_NEWGAME) {
            EXPECT_EQ(wasRunning, grid->field[MARK_X][MARK_Y] == MARK) << "the well kept";
        }
    }
    // The next piece cannot enter: the main loop ends the game, the shell puts New Game and
    // the music back as Stop Game would.
    for (int x = 0; x < WELL_COLS; x++) {
        grid->field[x][0] = 1;
        grid->field[x][1] = 1;
    }
    delete grid->pActiveTetrad;
    grid->pActiveTetrad = nullptr;
    grid->nextFrame = grid->curTime;
    PostMessageA(hwndMain, WM_NULL, 0, 0);
    PostQuitMessage(0);
    RunMainLoop(grid, nullptr);
    EXPECT_EQ(ShellState(newItem, false, false, false), State()) << "after the game ended";
    // The main window opens where it was left.
    RECT r;
    GetWindowRect(hwndMain, &r);
    EXPECT_EQ(STORED_POS, (POINT{r.left, r.top}));
    // Closing during a game stops the music and ends the loop.
    Command(IDM_NEWGAME);
    Command(IDM_EXIT);
    EXPECT_EQ(0, RunMainLoop(grid, nullptr));
    EXPECT_FALSE(IsWindow(hwndMain));
    EXPECT_EQ(0, GameMusicLoaded());
}

TEST_F(ShellTest, TheLoopWaitsUntilTheNextStepIsDueAlsoAcrossTheWrap)
{
    EXPECT_EQ(INFINITE, FrameWaitTime(grid)) << "no game";
    Command(IDM_NEWGAME);
    // Wake a tick grain (16 ms) early, then look every millisecond, also across the wrap; a
    // long wait is taken in slices of at most 100 ms.
    struct Wait {
        const char* what;
        DWORD frameTime, due, now, shortest, longest;
    };
    const Wait waits[] = {
        {"30 ms to go", 1000, 1040, 1010, 14, 14},
        {"16 ms to go", 1000, 1040, 1024, 1, 1},
        {"1 ms to go", 1000, 1040, 1039, 1, 1},
        {"due now", 1000, 1040, 1040, 0, 0},
        {"overdue", 1000, 1040, 1100, 0, 0},
        {"56 ms to go across the wrap", 0xFFFFFFF0u, 0x30u, 0xFFFFFFF8u, 40, 40},
        {"due now across the wrap", 0xFFFFFFF0u, 0x30u, 0x30u, 0, 0},
        {"1.5 s to go", 5000, 6500, 5000, 1, 100},
    };
    for (const Wait& w : waits) {
        SCOPED_TRACE(w.what);
        grid->curTime = w.frameTime;
        grid->nextFrame = w.due;
        StkClockDrive(1, w.now);
        const DWORD wait = FrameWaitTime(grid);
        EXPECT_GE(wait, w.shortest);
        EXPECT_LE(wait, w.longest);
    }
    Command(IDM_PAUSE);
    EXPECT_EQ(INFINITE, FrameWaitTime(grid)) << "paused";
    Command(IDM_PAUSE);
}

// GDI objects}

// GDI objects, USER objects and kernel handles of the process.
typedef std::tuple<DWORD, DWORD, DWORD> ResourceCounts;

ResourceCounts CountResources()
{
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return ResourceCounts((DWORD)GdiObjectCount(),
                          GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), handles);
}

TEST_F(ShellTest, PlayedGamesLeaveGdiUserAndHandleCountsFlat)
{
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), "MainAccel");
    auto press = [&](std::vector<WPARAM> keys) {
        for (WPARAM k : keys)
            PostMessageA(grid->hwndGrid, WM_KEYDOWN, k, 0);
        PostQuitMessage(0);
        RunMainLoop(grid, accel); // the accelerators act before the well sees the keys
    };
    ResourceCounts before;
    for (int round = 0; round < 3; round++) {
        press({VK_F2});
        grid->delay_drop_normal = 5;
        for (int i = 0; i < 6; i++) {
            const WPARAM last = i % 2 ? VK_PAUSE : VK_RIGHT;
            press({VK_LEFT, VK_UP, VK_DOWN, last});
            Run(60);
        }
        press({VK_F3});
        // The first game makes what stays for the process's life.
        if (round == 1)
            before = CountResources();
    }
    EXPECT_EQ(before, CountResources()) << "GDI, USER, handles";
    DestroyAcceleratorTable(accel);
}

// ---- what the main window keeps -------------------------------------------------------------

TEST_F(ShellTest, OnlyANormalPlacementIsStored)
{
    // A place the player chose is kept exactly, off the screen included; minimising, restoring
    // and closing from the taskbar while minimised keep it.
    const POINT chosen = {-70, -30};
    SetWindowPos(hwndMain, NULL, chosen.x, chosen.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    struct Change {
        const char* what;
        int show; // 0: closed
    };
    const Change changes[] = {{"minimised", SW_MINIMIZE}, {"restored", SW_RESTORE},
                              {"minimised again", SW_MINIMIZE}, {"closed while minimised", 0}};
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        if (c.show)
            ShowWindow(hwndMain, c.show);
        else
            SendMessageA(hwndMain, WM_CLOSE, 0, 0);
        DrainMessages();
        if (c.show == SW_MINIMIZE) {
            EXPECT_TRUE(IsIconic(hwndMain));
        }
        EXPECT_EQ(chosen, op.windowpos);
    }
    EXPECT_FALSE(IsWindow(hwndMain));
}

TEST_F(ShellTest, StopGameRepaintsTheNextPanelWhole)
{
    StkClockDrive(1, 1000);
    Command(IDM_NEWGAME);
    grid->RunFrame(); // the first piece enters and the next one waits
    ASSERT_NE(nullptr, grid->pNextTetrad);
    UpdateWindow(grid->hwndNext);
    Command(IDM_STOPGAME);
    // Repainted whole, or the screen keeps the stopped game's piece.
    RECT r = {};
    const RECT whole = {0, 0, NEXT_SIZE, NEXT_SIZE};
    GetUpdateRect(grid->hwndNext, &r, FALSE);
    EXPECT_EQ(whole, r);
}

namespace
{
int reentries;
StakkaGrid* building; // the playfield while a rebuild is checked
HWND dlg;             // the graphics dialog while a rebuild is checked

// What the box's modal loop may do: repaint everything, and once, bring another change.
// Every picture that can be reached must be alive.
void BoxDuringBuild(const BOXSEEN&)
{
    if (building) {
        EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(building->backgrnd->hdcImage));
        SendMessageA(hwndMain, WM_SETFOCUS, 0, 0); // recomposes the well
        if (!reentries++)
            building->UpdateGfxOptions();
    }
    if (dlg) {
        RedrawWindow(GetDlgItem(dlg, IDC_PREVIEW), NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        if (!reentries++) {
            SendDlgItemMessageA(dlg, IDC_BGDETAIL, CB_SETCURSEL, 3, 0); // "Stretch"
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_BGDETAIL, CBN_SELCHANGE), 0);
        }
    }
}

// Once the dialog shows: a placement change rebuilds the preview, then Cancel.
void CALLBACK DriveDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND shown = FindWindowA("#32770", "Graphics Options");
    if (!shown)
        return;
    KillTimer(NULL, id);
    dlg = shown;
    SendDlgItemMessageA(dlg, IDC_BGDETAIL, CB_SETCURSEL, 2, 0); // "Tile"
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_BGDETAIL, CBN_SELCHANGE), 0);
    dlg = NULL;
    PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
}
} // namespace

TEST_F(ShellTest, PicturesKeptUntilTheNewOnesAreBuilt)
{
    rec.onBox = BoxDuringBuild;
    op.go.bg.flags = BG_FILE | BG_CENTER;
    lstrcpynA(op.go.bg.name, "Z:\\no\\such\\picture.bmp", sizeof op.go.bg.name);
    reentries = 0;
    building = grid;
    grid->UpdateGfxOptions();
    building = NULL;
    EXPECT_EQ(2u, rec.Texts().size()); // the change, and the one brought in under its box
    EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(grid->backgrnd->hdcImage));
    // The graphics dialog's preview: opening, the change, and the one brought under its box.
    rec.Clear();
    reentries = 0;
    HMODULE gfx = LoadLibraryA("stkgfx.dll");
    GFXOPTIONSDATA god = {};
    god.pgo = &op.go;
    UINT_PTR timer = SetTimer(NULL, 0, 20, DriveDialog);
    GraphicsOptions(gfx, hwndMain, &god);
    KillTimer(NULL, timer);
    FreeLibrary(gfx);
    EXPECT_EQ(3u, rec.Texts().size());
    EXPECT_EQ(0, freedCalls);
}

// ---- a whole run ---------------------------------------------------------------------------
// (Options saved only at exit are checked on the real program, end to end.)

TEST(ShellRun, WithoutTheLibraryWinMainSaysSoAndWritesNothing)
{
    BoxRecorder rec;
    SHDeleteKeyA(HKEY_CURRENT_USER, szRegKey); // a first run's store, whatever came before
    OPTIONS first;
    LoadOptions(first);
    rec.Clear();
    // "01" would be written back as "1".
    SHSetValueA(HKEY_CURRENT_USER, szRegKey, "Preview", REG_SZ, "01", 3);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dll = std::string(self, strrchr(self, '\\') + 1) + "stkgfx.dll";
    ASSERT_TRUE(MoveFileA(dll.c_str(), (dll + ".away").c_str()));
    for (const char* c : {"Stakka", "StakkaGrid", "StakkaNext", "Score", "Stats", "ChooseKey"})
        UnregisterClassA(c, GetModuleHandleA(nullptr)); // WinMain registers them itself
    EXPECT_EQ(0, WinMain(GetModuleHandleA(nullptr), nullptr, (LPSTR) "ignored", SW_SHOW));
    MoveFileA((dll + ".away").c_str(), dll.c_str());
    EXPECT_EQ(std::vector<std::string>{"Unable to load stkgfx.dll"}, rec.Texts());
    char text[8] = "";
    DWORD size = sizeof text - 1;
    SHGetValueA(HKEY_CURRENT_USER, szRegKey, "Preview", nullptr, text, &size);
    EXPECT_STREQ("01", text);
    if (IsWindow(hwndMain))
        DestroyWindow(hwndMain);
    hwndMain = nullptr;
}

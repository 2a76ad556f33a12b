// The application shell: the New/Stop/Pause state machine with its menu and music, the game
// that ends by itself, the waiting main loop, resources flat over played games, WinMain without
// the graphics library, and what the main window keeps through minimising, Stop Game, and error
// boxes shown while a background picture is built (the box's modal loop repaints and may bring
// another change).
#include <gtest/gtest.h>
#include <malloc.h>
#include <shlwapi.h>

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

struct ShellTest : ::testing::Test {
    OPTIONS op = {};
    HMODULE mod = nullptr;
    StakkaGrid* grid = nullptr;
    BoxRecorder rec;

    void SetUp() override
    {
        WNDCLASSA wc;
        ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "Stakka", &wc) ||
                    RegisterStakkaClasses(GetModuleHandleA(nullptr)));
        op.go.bg.flags = BG_SOLID;
        op.go.drawGrid = op.go.preview = 1;
        op.windowpos = {-15, 40}; // used as stored, even partly off the screen
        const int keys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
        memcpy(op.co.keys, keys, sizeof keys);
        lstrcpynA(op.so.bgMusic, "beyond.mod", sizeof op.so.bgMusic);
        hwndMain = CreateMainWindow(GetModuleHandleA(nullptr), &op);
        ASSERT_NE(nullptr, hwndMain);
        ShowWindow(hwndMain, SW_SHOWNORMAL);
        mod = MakeBlocksModule(160, 96);
        grid = new StakkaGrid(hwndMain, mod, &op);
        SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
        DrainQueue();
        ASSERT_TRUE(rec.Texts().empty());
        freedCalls = 0;
    }
    void TearDown() override
    {
        if (IsWindow(hwndMain)) {
            SendMessageA(hwndMain, WM_SETGRID, 0, 0);
            DestroyWindow(hwndMain);
        }
        hwndMain = nullptr;
        delete grid;
        DrainQueue();
        FreeBlocksModule(mod);
        SetFrameHook(nullptr);
        StkClockDrive(0, 0);
    }
    static void DrainQueue()
    {
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            if (msg.message != WM_QUIT)
                DispatchMessageA(&msg);
    }
    void Command(UINT id) { SendMessageA(hwndMain, WM_COMMAND, id, 0); }
    // The first item of the File menu, and whether the music plays and a game runs.
    std::string State()
    {
        char text[32] = "";
        GetMenuStringA(GetSubMenu(GetMenu(hwndMain), 0), 0, text, sizeof text, MF_BYPOSITION);
        return std::string(text) + (GameMusicLoaded() ? " music" : "") +
               (grid->Active() ? " game" : "") + (grid->paused ? " paused" : "");
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

TEST_F(ShellTest, NewStopPauseAndTheGameThatEndsByItself)
{
    // The sixth (New Game during a game) does nothing, the ninth (a stale end) neither.
    const UINT commands[] = {IDM_STOPGAME, IDM_PAUSE,    IDM_NEWGAME, IDM_STOPGAME,
                             IDM_NEWGAME,  IDM_NEWGAME,  IDM_PAUSE,   IDM_PAUSE,
                             WM_GAMEENDED, IDM_STOPGAME, IDM_NEWGAME};
    const char music[] = "11001111111";
    const std::string N = "&New Game\tF2", S = "S&top Game\tF3", M = S + " music game";
    const std::string states[] = {N, N, S + " game", N, M, M, M + " paused", M, M, N, M};
    for (int i = 0; i < 11; i++) {
        op.so.playMusic = music[i] - '0';
        grid->field[0][21] = 5;
        SendMessageA(hwndMain, commands[i] == WM_GAMEENDED ? WM_GAMEENDED : WM_COMMAND,
                     commands[i] == WM_GAMEENDED ? 0 : commands[i], 0);
        EXPECT_EQ(states[i], State()) << i;
        EXPECT_TRUE(commands[i] != IDM_NEWGAME || (i == 5) == (grid->field[0][21] == 5));
    }
    // The next piece cannot enter: the main loop ends the game, the shell puts New Game and
    // the music back as Stop Game would.
    for (int x = 0; x < WELL_COLS; x++)
        grid->field[x][0] = grid->field[x][1] = 1;
    delete grid->pActiveTetrad;
    grid->pActiveTetrad = nullptr;
    grid->nextFrame = grid->curTime;
    PostMessageA(hwndMain, WM_NULL, 0, 0);
    PostQuitMessage(0);
    RunMainLoop(grid, nullptr);
    EXPECT_EQ(N, State());
    // The main window opens where it was left.
    RECT r;
    GetWindowRect(hwndMain, &r);
    EXPECT_EQ(-15 * 10000 + 40, r.left * 10000 + r.top);
    // Closing during a game stops the music and ends the loop.
    Command(IDM_NEWGAME);
    Command(IDM_EXIT);
    EXPECT_EQ(0, RunMainLoop(grid, nullptr));
    EXPECT_FALSE(IsWindow(hwndMain));
    EXPECT_EQ(0, GameMusicLoaded());
}

TEST_F(ShellTest, TheLoopWaitsForTheNextStepInsteadOfSpinning)
{
    EXPECT_EQ(INFINITE, FrameWaitTime(grid)); // no game
    Command(IDM_NEWGAME);
    // 40 ms to go: wake a tick grain (16 ms) early, then look every millisecond, also across
    // the wrap; a long wait is taken in slices.
    const DWORD cases[][4] = {{1000, 1040, 1010, 14},         {1000, 1040, 1024, 1},
                              {1000, 1040, 1039, 1},          {1000, 1040, 1040, 0},
                              {1000, 1040, 1100, 0},          {0xFFFFFFF0u, 0x30u, 0xFFFFFFF8u, 40},
                              {0xFFFFFFF0u, 0x30u, 0x30u, 0}, {5000, 6500, 5000, 100}};
    for (const auto& c : cases) {
        grid->curTime = c[0];
        grid->nextFrame = c[1];
        StkClockDrive(1, c[2]);
        DWORD wait = FrameWaitTime(grid);
        EXPECT_TRUE(c[3] == 100 ? wait > 0 && wait <= 100 : wait == c[3]) << c[2];
    }
    Command(IDM_PAUSE);
    EXPECT_EQ(INFINITE, FrameWaitTime(grid));
    Command(IDM_PAUSE);
    StkClockDrive(0, 0);
    // A running game with 20 ms steps: each step acts in time, without a busy loop.
    static int passes, steps;
    passes = steps = 0;
    SetFrameHook([](StakkaGrid* g, DWORD dueBefore, DWORD timeBefore) {
        passes++;
        steps += g->curTime != timeBefore && dueBefore != timeBefore;
    });
    grid->delay_drop_normal = grid->delay_drop = 20;
    grid->curTime = grid->nextFrame = GetTickCount();
    DrainQueue();
    Run(600);
    EXPECT_GE(steps, 15);
    EXPECT_LT(passes, 2000);
}

TEST_F(ShellTest, AcceleratorsAndResourcesFlatOverPlayedGames)
{
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), "MainAccel");
    auto press = [&](std::vector<WPARAM> keys) {
        for (WPARAM k : keys)
            PostMessageA(grid->hwndGrid, WM_KEYDOWN, k, 0);
        PostQuitMessage(0);
        RunMainLoop(grid, accel); // the accelerators act before the well sees the keys
    };
    std::vector<DWORD> counts; // GDI, USER, handles
    for (int round = 0; round < 3; round++) {
        press({VK_F2});
        grid->delay_drop_normal = 5;
        for (int i = 0; i < 6; i++) {
            press({VK_LEFT, VK_UP, VK_DOWN, (WPARAM)(i % 2 ? VK_PAUSE : VK_RIGHT)});
            Run(60);
        }
        press({VK_F3});
        std::vector<DWORD> now = {(DWORD)GdiObjectCount(),
                                  GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), 0};
        GetProcessHandleCount(GetCurrentProcess(), &now[2]);
        EXPECT_TRUE(round < 2 || counts == now) << now[0] << " " << now[1] << " " << now[2];
        counts = now; // the first game makes what stays for the process's life
    }
    DestroyAcceleratorTable(accel);
}

// ---- what the main window keeps -------------------------------------------------------------

TEST_F(ShellTest, OnlyANormalPlacementIsStored)
{
    // A place the player chose is kept exactly, off the screen included; minimising, restoring
    // and closing from the taskbar while minimised keep it.
    SetWindowPos(hwndMain, NULL, -70, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int show : {SW_MINIMIZE, SW_RESTORE, SW_MINIMIZE, 0}) {
        show ? ShowWindow(hwndMain, show) : SendMessageA(hwndMain, WM_CLOSE, 0, 0);
        DrainQueue();
        EXPECT_EQ(show != SW_MINIMIZE || IsIconic(hwndMain), 1) << show;
        EXPECT_EQ(-70 * 10000 - 30, op.windowpos.x * 10000 + op.windowpos.y) << show;
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
    RECT r, whole = {0, 0, NEXT_SIZE, NEXT_SIZE};
    EXPECT_TRUE(GetUpdateRect(grid->hwndNext, &r, FALSE) && EqualRect(&whole, &r));
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

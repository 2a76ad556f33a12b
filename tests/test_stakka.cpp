// Tests of the application shell: window classes, the main window and its
// menu and accelerators, the commands, the game-over mend, the waiting main
// loop, and a whole run of WinMain against an in-memory options store.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "blocks_module.h"
#include "clock.h"
#include "gdi_count.h"
#include "grid.h"
#include "teststore.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "tetrad.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace {

std::vector<std::string> g_errors;

int WINAPI RecordError(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_errors.push_back(text);
    return IDOK;
}

void DrainQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

HINSTANCE Self()
{
    return GetModuleHandleA(NULL);
}

void EnsureClasses()
{
    WNDCLASSA wc;
    if (!GetClassInfoA(Self(), "Stakka", &wc)) {
        ASSERT_EQ(1, RegisterStakkaClasses(Self()));
    }
}

void SetOptions(OPTIONS& op)
{
    memset(&op, 0, sizeof op);
    op.windowpos.x = 100;
    op.windowpos.y = 100;
    op.go.bg.flags = BG_SOLID;
    op.go.bg.color[0] = RGB(10, 20, 30);
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
        op.go.bs.blocks[i] = (DWORD)i;
    op.go.drawGrid = 1;
    op.go.preview = 1;
    const int keys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
    memcpy(op.co.keys, keys, sizeof keys);
    op.so.playMusic = 0;
    lstrcpynA(op.so.bgMusic, "beyond.mod", sizeof op.so.bgMusic);
}

std::string ItemText(HMENU menu, UINT id)
{
    char text[64] = "";
    if (!GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND))
        return "<none>";
    return text;
}

bool Checked(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool Grayed(HMENU menu, UINT id)
{
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

struct ShellTest : ::testing::Test {
    OPTIONS op;
    HMODULE mod = NULL;
    StakkaGrid* grid = NULL;
    MBERRORBOXPROC oldBox = NULL;

    void SetUp() override
    {
        EnsureClasses();
        g_errors.clear();
        oldBox = SetMbErrorBox(RecordError);
        SetOptions(op);
    }
    void TearDown() override
    {
        if (hwndMain && IsWindow(hwndMain)) {
            SendMessageA(hwndMain, WM_SETGRID, 0, 0);
            DestroyWindow(hwndMain);
        }
        hwndMain = NULL;
        delete grid;
        grid = NULL;
        DrainQueue();
        if (mod)
            FreeBlocksModule(mod);
        SetFrameHook(NULL);
        StkClockDrive(0, 0);
        SetMbErrorBox(oldBox);
    }
    HWND MakeMain()
    {
        hwndMain = CreateMainWindow(Self(), &op);
        return hwndMain;
    }
    // The main window with its playfield, as WinMain leaves them before the loop.
    void MakeGame()
    {
        ASSERT_NE((HWND)NULL, MakeMain());
        ShowWindow(hwndMain, SW_SHOW);
        mod = MakeBlocksModule(160, 96);
        ASSERT_NE((HMODULE)NULL, mod);
        grid = new StakkaGrid(hwndMain, mod, &op);
        SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
        ASSERT_TRUE(g_errors.empty());
    }
    void Command(UINT id) { SendMessageA(hwndMain, WM_COMMAND, id, 0); }
    HMENU Menu() { return GetMenu(hwndMain); }
};

} // namespace

// ---- Classes, window, menu, accelerators --------------------------------------

TEST_F(ShellTest, RegistersTheSixClasses)
{
    struct {
        const char* name;
        WNDPROC proc;
        int stock;
        int menu;
    } want[] = {
        {"Stakka", MainWndProc, WHITE_BRUSH, 1},     {"StakkaGrid", GridWndProc, WHITE_BRUSH, 0},
        {"StakkaNext", NextWndProc, WHITE_BRUSH, 0}, {"Score", ScoreWndProc, BLACK_BRUSH, 0},
        {"Stats", StatsWndProc, BLACK_BRUSH, 0},
    };
    for (auto& w : want) {
        WNDCLASSA wc;
        ASSERT_TRUE(GetClassInfoA(Self(), w.name, &wc)) << w.name;
        EXPECT_EQ(w.proc, wc.lpfnWndProc) << w.name;
        EXPECT_EQ(0u, wc.style) << w.name;
        EXPECT_EQ(0, wc.cbClsExtra);
        EXPECT_EQ(0, wc.cbWndExtra);
        EXPECT_EQ((HBRUSH)GetStockObject(w.stock), wc.hbrBackground) << w.name;
        EXPECT_EQ(LoadCursorA(NULL, (LPCSTR)IDC_ARROW), wc.hCursor) << w.name;
        if (w.menu) {
            EXPECT_STREQ("MainMenu", wc.lpszMenuName);
            EXPECT_NE((HICON)NULL, wc.hIcon);
        } else {
            EXPECT_EQ(NULL, wc.lpszMenuName) << w.name;
            EXPECT_EQ((HICON)NULL, wc.hIcon) << w.name;
        }
    }
    WNDCLASSA wc;
    EXPECT_TRUE(GetClassInfoA(Self(), "ChooseKey", &wc));
    // A second registration of the main class fails, and says so.
    EXPECT_EQ(0, RegisterStakkaClasses(Self()));
}

TEST_F(ShellTest, IconIsOne32By32Picture)
{
    HICON icon = (HICON)LoadImageA(Self(), "AppIco", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    ASSERT_NE((HICON)NULL, icon);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm;
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(32, bm.bmWidth);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

TEST_F(ShellTest, MainWindowHasItsStyleSizeAndPlaceAndStoresItsMoves)
{
    op.windowpos.x = -60; // left of and above the screen's origin
    op.windowpos.y = -25;
    ASSERT_NE((HWND)NULL, MakeMain());
    char title[32] = "";
    GetWindowTextA(hwndMain, title, sizeof title);
    EXPECT_STREQ("Stakka", title);
    LONG_PTR style = GetWindowLongPtrA(hwndMain, GWL_STYLE);
    const LONG_PTR want = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(want, style & (want | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP));
    RECT r;
    GetWindowRect(hwndMain, &r);
    EXPECT_EQ(-60, r.left);
    EXPECT_EQ(-25, r.top);
    EXPECT_EQ(394, r.right - r.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU) + 424, r.bottom - r.top);
    EXPECT_EQ(NULL, GetParent(hwndMain));
    // Creating it there is not a move that changes the stored place; moving is.
    EXPECT_EQ(-60, op.windowpos.x);
    EXPECT_EQ(-25, op.windowpos.y);
    for (POINT p : {POINT{-37, -12}, POINT{250, 90}}) {
        SetWindowPos(hwndMain, NULL, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(p.x, op.windowpos.x);
        EXPECT_EQ(p.y, op.windowpos.y);
    }
}

TEST_F(ShellTest, MenuHasItsTextsIdsAndStates)
{
    ASSERT_NE((HWND)NULL, MakeMain());
    HMENU menu = Menu();
    ASSERT_EQ(2, GetMenuItemCount(menu));
    struct Item {
        UINT id;
        const char* text;
        bool grayed;
    };
    const std::vector<Item> items[2] = {
        {{IDM_NEWGAME, "&New Game\tF2", false}, {IDM_STARTSERVER, "&Start Server", false},
         {IDM_CONNECT, "&Connect", true}, {IDM_PAUSE, "&Pause\tPause", false}, {0, NULL, false},
         {IDM_EXIT, "&Exit", false}},
        {{IDM_GRAPHICS, "&Graphics", false}, {IDM_CONTROLS, "&Controls", false},
         {IDM_SINGLEPLAYER, "&Single Player", true}, {IDM_MULTIPLAYER, "&Multi Player", true},
         {0, NULL, false}, {IDM_SHOWGRID, "Show G&rid", false}, {IDM_SHOWNEXT, "Show &Next", false}},
    };
    const char* titles[2] = {"&File", "&Options"};
    for (int m = 0; m < 2; m++) {
        char text[32] = "";
        GetMenuStringA(menu, m, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(titles[m], text);
        HMENU sub = GetSubMenu(menu, m);
        ASSERT_EQ((int)items[m].size(), GetMenuItemCount(sub));
        for (int i = 0; i < (int)items[m].size(); i++) {
            const Item& it = items[m][i];
            EXPECT_EQ(it.id, GetMenuItemID(sub, i)) << m << "/" << i;
            if (!it.text) {
                EXPECT_TRUE(GetMenuState(sub, i, MF_BYPOSITION) & MF_SEPARATOR) << m << "/" << i;
                continue;
            }
            EXPECT_EQ(it.text, ItemText(menu, it.id));
            EXPECT_EQ(it.grayed, Grayed(menu, it.id)) << it.text;
        }
    }
}

TEST_F(ShellTest, CheckMarksFollowTheLoadedOptions)
{
    for (int grid : {0, 1}) {
        op.go.drawGrid = grid;
        op.go.preview = !grid;
        ASSERT_NE((HWND)NULL, MakeMain());
        EXPECT_EQ(grid == 1, Checked(Menu(), IDM_SHOWGRID));
        EXPECT_EQ(grid == 0, Checked(Menu(), IDM_SHOWNEXT));
        DestroyWindow(hwndMain);
        DrainQueue();
    }
}

TEST_F(ShellTest, AcceleratorsAreF2F3AndPause)
{
    HACCEL accel = LoadAcceleratorsA(Self(), "MainAccel");
    ASSERT_NE((HACCEL)NULL, accel);
    ACCEL entries[8];
    int n = CopyAcceleratorTableA(accel, entries, 8);
    ASSERT_EQ(3, n);
    struct {
        WORD key, cmd;
    } want[] = {{VK_PAUSE, IDM_PAUSE}, {VK_F2, IDM_NEWGAME}, {VK_F3, IDM_STOPGAME}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(want[i].key, entries[i].key) << i;
        EXPECT_EQ(want[i].cmd, entries[i].cmd) << i;
        EXPECT_TRUE(entries[i].fVirt & FVIRTKEY) << i;
        EXPECT_EQ(0, entries[i].fVirt & (FSHIFT | FCONTROL | FALT)) << i;
    }
    DestroyAcceleratorTable(accel);
}

// ---- Commands ---------------------------------------------------------------

TEST_F(ShellTest, NewAndStopGameSwapTheItemAndPauseActsOnlyInAGame)
{
    MakeGame();
    Command(IDM_STOPGAME); // nothing runs: nothing happens
    Command(IDM_PAUSE);
    EXPECT_EQ(0, grid->paused);
    EXPECT_EQ("&New Game\tF2", ItemText(Menu(), IDM_NEWGAME));
    Command(IDM_NEWGAME);
    EXPECT_EQ(1, grid->Active());
    EXPECT_EQ("S&top Game\tF3", ItemText(Menu(), IDM_STOPGAME));
    EXPECT_EQ("<none>", ItemText(Menu(), IDM_NEWGAME));
    EXPECT_EQ((UINT)IDM_STOPGAME, GetMenuItemID(GetSubMenu(Menu(), 0), 0));
    // F2 during a game does nothing.
    grid->field[0][21] = 5;
    Command(IDM_NEWGAME);
    EXPECT_EQ(5, grid->field[0][21]);
    Command(IDM_PAUSE);
    EXPECT_EQ(1, grid->paused);
    Command(IDM_PAUSE);
    EXPECT_EQ(0, grid->paused);
    Command(IDM_STOPGAME);
    EXPECT_EQ(0, grid->Active());
    EXPECT_EQ("&New Game\tF2", ItemText(Menu(), IDM_NEWGAME));
    EXPECT_EQ("<none>", ItemText(Menu(), IDM_STOPGAME));
    EXPECT_EQ((UINT)IDM_NEWGAME, GetMenuItemID(GetSubMenu(Menu(), 0), 0));
}

TEST_F(ShellTest, ShowGridAndShowNextToggleOptionAndCheckMark)
{
    MakeGame();
    struct {
        UINT id;
        int* option;
    } toggles[] = {{IDM_SHOWGRID, &op.go.drawGrid}, {IDM_SHOWNEXT, &op.go.preview}};
    for (auto& t : toggles)
        for (int want : {0, 1}) {
            Command(t.id);
            EXPECT_EQ(want, *t.option) << t.id;
            EXPECT_EQ(want == 1, Checked(Menu(), t.id)) << t.id;
        }
}

TEST_F(ShellTest, UnusedItemsDoNothing)
{
    MakeGame();
    OPTIONS before = op;
    for (UINT id : {(UINT)IDM_STARTSERVER, (UINT)IDM_CONNECT, (UINT)IDM_SINGLEPLAYER,
                    (UINT)IDM_MULTIPLAYER, 999u})
        Command(id);
    EXPECT_EQ(0, memcmp(&before, &op, sizeof op));
    EXPECT_TRUE(IsWindow(hwndMain));
    EXPECT_EQ(0, grid->Active());
}

TEST_F(ShellTest, ExitClosesTheWindowAndEndsTheLoop)
{
    MakeGame();
    Command(IDM_EXIT);
    EXPECT_TRUE(IsWindow(hwndMain)); // posted, not yet handled
    int result = RunMainLoop(grid, NULL);
    EXPECT_EQ(0, result);
    EXPECT_FALSE(IsWindow(hwndMain));
}

TEST_F(ShellTest, FocusOnTheMainWindowGoesToTheWell)
{
    MakeGame();
    SetFocus(hwndMain);
    EXPECT_EQ(grid->hwndGrid, GetFocus());
}

// ---- Music ------------------------------------------------------------------

TEST_F(ShellTest, MusicFollowsNewAndStopGameOnlyWithMusicOnAndStopsOnClose)
{
    MakeGame();
    Command(IDM_NEWGAME);
    EXPECT_EQ(0, GameMusicLoaded());
    Command(IDM_STOPGAME);
    op.so.playMusic = 1;
    Command(IDM_NEWGAME);
    EXPECT_EQ(1, GameMusicLoaded());
    Command(IDM_STOPGAME);
    EXPECT_EQ(0, GameMusicLoaded());
    // Closing during a game stops the music before quitting.
    Command(IDM_NEWGAME);
    ASSERT_EQ(1, GameMusicLoaded());
    DestroyWindow(hwndMain);
    EXPECT_EQ(0, GameMusicLoaded());
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// ---- The game that ends by itself -------------------------------------------

namespace {

// Blocks the top of the well so that the next piece to enter ends the game.
void BlockTheTop(StakkaGrid* grid)
{
    delete grid->pActiveTetrad;
    grid->pActiveTetrad = NULL;
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < 3; y++)
            grid->field[x][y] = 1;
    grid->nextFrame = grid->curTime;
}

} // namespace

TEST_F(ShellTest, GameOverRestoresNewGameAndStopsTheMusic)
{
    MakeGame();
    op.so.playMusic = 1;
    Command(IDM_NEWGAME);
    ASSERT_EQ(1, GameMusicLoaded());
    BlockTheTop(grid);
    // One pass handles a message and ends the game; the next meets WM_QUIT.
    PostMessageA(hwndMain, WM_NULL, 0, 0);
    PostQuitMessage(0);
    RunMainLoop(grid, NULL);
    ASSERT_EQ(0, grid->Active());
    EXPECT_EQ("&New Game\tF2", ItemText(Menu(), IDM_NEWGAME));
    EXPECT_EQ("<none>", ItemText(Menu(), IDM_STOPGAME));
    EXPECT_EQ(0, GameMusicLoaded());
    // And the next New Game starts a game again, with its own music.
    Command(IDM_NEWGAME);
    EXPECT_EQ(1, grid->Active());
    EXPECT_EQ(1, GameMusicLoaded());
    EXPECT_EQ("S&top Game\tF3", ItemText(Menu(), IDM_STOPGAME));
}

TEST_F(ShellTest, GameEndedNoticeChangesNothingWhileAGameRuns)
{
    MakeGame();
    op.so.playMusic = 1;
    Command(IDM_NEWGAME);
    SendMessageA(hwndMain, WM_GAMEENDED, 0, 0);
    EXPECT_EQ(1, GameMusicLoaded());
    EXPECT_EQ("S&top Game\tF3", ItemText(Menu(), IDM_STOPGAME));
}

// ---- The main loop ----------------------------------------------------------

namespace {

int g_passes = 0;
std::vector<DWORD> g_late;

void CountPass(StakkaGrid*, DWORD, DWORD)
{
    g_passes++;
}

void RecordLateness(StakkaGrid* grid, DWORD dueBefore, DWORD timeBefore)
{
    g_passes++;
    // A step acted when the frame time moved on. A step "due" at the last
    // frame's own time was never scheduled (the first piece of a game).
    if (grid->curTime != timeBefore && dueBefore != timeBefore)
        g_late.push_back(grid->curTime - dueBefore);
}

VOID CALLBACK QuitLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    PostQuitMessage(0);
}

ULONGLONG ThreadCpu()
{
    FILETIME c, e, k, u;
    GetThreadTimes(GetCurrentThread(), &c, &e, &k, &u);
    return ((ULONGLONG)k.dwHighDateTime << 32 | k.dwLowDateTime) +
           ((ULONGLONG)u.dwHighDateTime << 32 | u.dwLowDateTime);
}

} // namespace

TEST_F(ShellTest, WaitTimeFollowsTheNextStep)
{
    MakeGame();
    EXPECT_EQ(INFINITE, FrameWaitTime(grid)); // no game
    Command(IDM_NEWGAME);
    // 30 ms to go: wake a tick grain (16 ms) early, then look every millisecond;
    // also across the tick count's wrap.
    struct {
        DWORD cur, next, now, wait;
    } cases[] = {
        {1000, 1040, 1010, 14}, {1000, 1040, 1024, 1}, {1000, 1040, 1039, 1},
        {1000, 1040, 1040, 0},  {1000, 1040, 1100, 0}, {0xFFFFFFF0u, 0x30u, 0xFFFFFFF8u, 40},
        {0xFFFFFFF0u, 0x30u, 0x30u, 0},
    };
    for (auto& c : cases) {
        grid->curTime = c.cur;
        grid->nextFrame = c.next;
        StkClockDrive(1, c.now);
        EXPECT_EQ(c.wait, FrameWaitTime(grid)) << c.now;
    }
    // A long wait is taken in slices; a paused game waits for a message only.
    grid->curTime = 5000;
    grid->nextFrame = 6500;
    StkClockDrive(1, 5000);
    EXPECT_GT(FrameWaitTime(grid), 0u);
    EXPECT_LE(FrameWaitTime(grid), 100u);
    Command(IDM_PAUSE);
    EXPECT_EQ(INFINITE, FrameWaitTime(grid));
}

TEST_F(ShellTest, IdleLoopWaitsInsteadOfSpinning)
{
    MakeGame();
    DrainQueue();
    g_passes = 0;
    SetFrameHook(CountPass);
    ULONGLONG cpu = ThreadCpu();
    SetTimer(NULL, 0, 400, QuitLater);
    RunMainLoop(grid, NULL);
    cpu = ThreadCpu() - cpu;
    // A polling loop would pass hundreds of thousands of times in 400 ms.
    EXPECT_LT(g_passes, 100);
    EXPECT_LT(cpu, 1000000ull); // under 100 ms of 400
}

TEST_F(ShellTest, RunningGameLoopActsOnEveryStepWithoutSpinning)
{
    MakeGame();
    Command(IDM_NEWGAME);
    grid->delay_drop_normal = 20;
    grid->delay_drop = 20;
    DrainQueue();
    g_passes = 0;
    g_late.clear();
    SetFrameHook(RecordLateness);
    SetTimer(NULL, 0, 600, QuitLater);
    RunMainLoop(grid, NULL);
    // About 30 steps of 20 ms. Near each step the loop looks every millisecond or so
    // (the tick count moves in grains); a polling loop would pass hundreds of thousands
    // of times.
    EXPECT_GE(g_late.size(), 15u);
    EXPECT_LT(g_passes, 2000);
    // No step waited for the next slice or a message: late by the clock's grain only.
    DWORD worst = 0;
    for (DWORD l : g_late)
        worst = l > worst ? l : worst;
    EXPECT_LT(worst, 50u);
}

TEST_F(ShellTest, AcceleratorsTurnKeysIntoCommandsBeforeTheWellSeesThem)
{
    MakeGame();
    HACCEL accel = LoadAcceleratorsA(Self(), "MainAccel");
    SetFocus(grid->hwndGrid);
    DrainQueue();
    auto press = [&](std::vector<WPARAM> keys) {
        for (WPARAM k : keys)
            PostMessageA(grid->hwndGrid, WM_KEYDOWN, k, 0);
        PostQuitMessage(0);
        RunMainLoop(grid, accel);
    };
    press({VK_F2});
    EXPECT_EQ(1, grid->Active());
    EXPECT_EQ("S&top Game\tF3", ItemText(Menu(), IDM_STOPGAME));
    press({VK_PAUSE});
    EXPECT_EQ(1, grid->paused);
    press({VK_PAUSE, VK_F3});
    EXPECT_EQ(0, grid->Active());
    EXPECT_EQ("&New Game\tF2", ItemText(Menu(), IDM_NEWGAME));
    DestroyAcceleratorTable(accel);
}

// ---- A whole run --------------------------------------------------------------

namespace {

int g_step = 0;
TestStore* g_store = NULL;
std::string g_gridDuringRun;

// Plays the part of the user once the main loop runs: a game, a move of the
// window, a toggle, then Exit.
VOID CALLBACK UserActs(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND main = FindWindowA("Stakka", "Stakka");
    if (!main)
        return;
    switch (g_step++) {
    case 0:
        SendMessageA(main, WM_COMMAND, IDM_NEWGAME, 0);
        break;
    case 1:
        SetWindowPos(main, NULL, -15, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SendMessageA(main, WM_COMMAND, IDM_SHOWGRID, 0);
        break;
    default:
        // Nothing reaches the store before the run ends.
        g_store->GetValueData(szRegKey, "DrawGrid", &g_gridDuringRun);
        KillTimer(NULL, id);
        SendMessageA(main, WM_COMMAND, IDM_EXIT, 0);
        break;
    }
}

} // namespace

TEST(ShellRun, WinMainRunsAndSavesOnlyAtTheEnd)
{
    // WinMain registers the classes itself.
    const char* classes[] = {"Stakka", "StakkaGrid", "StakkaNext", "Score", "Stats", "ChooseKey"};
    for (const char* c : classes)
        UnregisterClassA(c, GetModuleHandleA(NULL));
    g_errors.clear();
    MBERRORBOXPROC oldBox = SetMbErrorBox(RecordError);
    TestStore store;
    Store* oldStore = SetOptionsStore(&store);

    g_step = 0;
    g_store = &store;
    SetTimer(NULL, 0, 100, UserActs);
    int result = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "ignored", SW_SHOW);
    EXPECT_EQ(0, result);
    EXPECT_TRUE(g_errors.empty()) << (g_errors.empty() ? "" : g_errors[0]);
    EXPECT_EQ(NULL, hinstDll);
    EXPECT_FALSE(IsWindow(hwndMain));

    // Saved once at the end: the moved position and the toggled grid.
    std::string window, grid;
    std::string app = std::string(szRegKey);
    EXPECT_TRUE(store.GetValueData(app.c_str(), "Window", &window));
    EXPECT_STREQ("-15,40", window.c_str());
    EXPECT_TRUE(store.GetValueData(app.c_str(), "DrawGrid", &grid));
    EXPECT_STREQ("0", grid.c_str());
    EXPECT_STREQ("1", g_gridDuringRun.c_str());

    SetOptionsStore(oldStore);
    SetMbErrorBox(oldBox);
    hwndMain = NULL;
    DrainQueue();
}

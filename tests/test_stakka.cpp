// The application shell: the New/Stop/Pause state machine with its menu and music, the game
// that ends by itself, the waiting main loop, resources flat over played games, and whole runs
// of WinMain against the real registry: options saved only at exit, none without the library.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "blocks_module.h"
#include "clock.h"
#include "gdi_count.h"
#include "grid.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "tetrad.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace {

std::vector<std::string> g_boxes;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

void DrainQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

VOID CALLBACK QuitLater(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    PostQuitMessage(0);
}

// A stored option as text, or "<none>".
std::string Stored(const char* name)
{
    HKEY key;
    char text[64] = "<none>";
    DWORD size = sizeof text - 1;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, szRegKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, name, nullptr, nullptr, (BYTE*)text, &size) != ERROR_SUCCESS)
            strcpy(text, "<none>");
        RegCloseKey(key);
    }
    return text;
}

struct ShellTest : ::testing::Test {
    OPTIONS op = {};
    HMODULE mod = nullptr;
    StakkaGrid* grid = nullptr;
    MBERRORBOXPROC oldBox = nullptr;

    void SetUp() override
    {
        WNDCLASSA wc;
        if (!GetClassInfoA(GetModuleHandleA(nullptr), "Stakka", &wc)) {
            ASSERT_EQ(1, RegisterStakkaClasses(GetModuleHandleA(nullptr)));
        }
        g_boxes.clear();
        oldBox = SetMbErrorBox(RecordBox);
        op.go.bg.flags = BG_SOLID;
        op.go.drawGrid = 1;
        op.windowpos = {-15, 40};   // used as stored, even partly off the screen
        const int keys[NUM_KEYS] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_DOWN};
        memcpy(op.co.keys, keys, sizeof keys);
        lstrcpynA(op.so.bgMusic, "beyond.mod", sizeof op.so.bgMusic);
        hwndMain = CreateMainWindow(GetModuleHandleA(nullptr), &op);
        ASSERT_NE(nullptr, hwndMain);
        ShowWindow(hwndMain, SW_SHOW);
        mod = MakeBlocksModule(160, 96);
        grid = new StakkaGrid(hwndMain, mod, &op);
        SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
        ASSERT_TRUE(g_boxes.empty());
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
        SetMbErrorBox(oldBox);
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

TEST_F(ShellTest, NewStopPauseAndTheGameThatEndsByItself)
{
    const struct {
        UINT command;
        int music;
        const char* state;
    } steps[] = {
        {IDM_STOPGAME, 1, "&New Game\tF2"},
        {IDM_PAUSE, 1, "&New Game\tF2"}, // nothing runs
        {IDM_NEWGAME, 0, "S&top Game\tF3 game"},
        {IDM_STOPGAME, 0, "&New Game\tF2"},
        {IDM_NEWGAME, 1, "S&top Game\tF3 music game"},
        {IDM_NEWGAME, 1, "S&top Game\tF3 music game"},
        {IDM_PAUSE, 1, "S&top Game\tF3 music game paused"},
        {IDM_PAUSE, 1, "S&top Game\tF3 music game"},
        {WM_GAMEENDED, 1, "S&top Game\tF3 music game"}, // a stale notice while a game runs
        {IDM_STOPGAME, 1, "&New Game\tF2"},
        {IDM_NEWGAME, 1, "S&top Game\tF3 music game"},
    };
    for (const auto& s : steps) {
        op.so.playMusic = s.music;
        grid->field[0][21] = 5;
        if (s.command == WM_GAMEENDED)
            SendMessageA(hwndMain, WM_GAMEENDED, 0, 0);
        else
            Command(s.command);
        EXPECT_EQ(s.state, State()) << &s - steps;
        if (s.command == IDM_NEWGAME) {   // during a game it does nothing
            EXPECT_EQ(&s == steps + 5, grid->field[0][21] == 5) << &s - steps;
        }
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
    EXPECT_EQ("&New Game\tF2", State());
    // The check marks start as the options were loaded and follow the toggles.
    for (int* option : {&op.go.drawGrid, &op.go.preview}) {
        UINT id = option == &op.go.drawGrid ? IDM_SHOWGRID : IDM_SHOWNEXT;
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(*option != 0,
                      (GetMenuState(GetMenu(hwndMain), id, MF_BYCOMMAND) & MF_CHECKED) != 0);
            int was = *option;
            Command(id);
            EXPECT_EQ(!was, *option) << id;
        }
    }
    // The main window: where it was left, of its fixed size; its focus goes to the well.
    RECT r;
    GetWindowRect(hwndMain, &r);
    EXPECT_EQ(-15, r.left);
    EXPECT_EQ(40, r.top);
    EXPECT_EQ(MAIN_WIDTH, r.right - r.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU) + MAIN_CLIENT_HEIGHT,
              r.bottom - r.top);
    SetFocus(nullptr);
    SetFocus(hwndMain);
    EXPECT_EQ(grid->hwndGrid, GetFocus());
    // Closing during a game stops the music and ends the loop.
    Command(IDM_NEWGAME);
    Command(IDM_EXIT);
    EXPECT_EQ(0, RunMainLoop(grid, nullptr));
    EXPECT_FALSE(IsWindow(hwndMain));
    EXPECT_EQ(0, GameMusicLoaded());
}

TEST_F(ShellTest, TheLoopWaitsForTheNextStepInsteadOfSpinning)
{
    EXPECT_EQ(INFINITE, FrameWaitTime(grid));   // no game
    Command(IDM_NEWGAME);
    // 40 ms to go: wake a tick grain (16 ms) early, then look every millisecond, also across
    // the wrap; a long wait is taken in slices.
    const struct {
        DWORD cur, next, now, wait;
    } cases[] = {{1000, 1040, 1010, 14},        {1000, 1040, 1024, 1},
                 {1000, 1040, 1039, 1},         {1000, 1040, 1040, 0},
                 {1000, 1040, 1100, 0},         {0xFFFFFFF0u, 0x30u, 0xFFFFFFF8u, 40},
                 {0xFFFFFFF0u, 0x30u, 0x30u, 0}};
    for (const auto& c : cases) {
        grid->curTime = c.cur;
        grid->nextFrame = c.next;
        StkClockDrive(1, c.now);
        EXPECT_EQ(c.wait, FrameWaitTime(grid)) << c.now;
    }
    grid->curTime = 5000;
    grid->nextFrame = 6500;
    StkClockDrive(1, 5000);
    EXPECT_GT(FrameWaitTime(grid), 0u);
    EXPECT_LE(FrameWaitTime(grid), 100u);
    Command(IDM_PAUSE);
    EXPECT_EQ(INFINITE, FrameWaitTime(grid));
    Command(IDM_PAUSE);
    StkClockDrive(0, 0);
    // A running game with 20 ms steps: each step acts in time, without a busy loop.
    static int passes, steps;
    static DWORD worst;
    passes = steps = 0;
    worst = 0;
    SetFrameHook([](StakkaGrid* g, DWORD dueBefore, DWORD timeBefore) {
        passes++;
        if (g->curTime != timeBefore && dueBefore != timeBefore) {
            steps++;
            worst = std::max<DWORD>(worst, g->curTime - dueBefore);
        }
    });
    grid->delay_drop_normal = grid->delay_drop = 20;
    grid->curTime = grid->nextFrame = GetTickCount();
    DrainQueue();
    Run(600);
    EXPECT_GE(steps, 15);
    EXPECT_LT(passes, 2000);
    EXPECT_LT(worst, 50u);
    // No game: hardly a pass in 400 ms.
    Command(IDM_STOPGAME);
    passes = 0;
    Run(400);
    EXPECT_LT(passes, 100);
}

TEST_F(ShellTest, AcceleratorsAndResourcesFlatOverPlayedGames)
{
    HACCEL accel = LoadAcceleratorsA(GetModuleHandleA(nullptr), "MainAccel");
    auto press = [&](std::vector<WPARAM> keys) {
        for (WPARAM k : keys)
            PostMessageA(grid->hwndGrid, WM_KEYDOWN, k, 0);
        PostQuitMessage(0);
        RunMainLoop(grid, accel);   // the accelerators act before the well sees the keys
    };
    press({VK_F2, VK_PAUSE});
    EXPECT_EQ("S&top Game\tF3 game paused", State());
    press({VK_PAUSE, VK_F3});
    EXPECT_EQ("&New Game\tF2", State());
    int gdi = 0, user = 0, handles = 0;
    for (int round = 0; round < 4; round++) {
        press({VK_F2});
        grid->delay_drop_normal = 5;
        for (int i = 0; i < 6; i++) {
            press({VK_LEFT, VK_UP, VK_DOWN, (WPARAM)(i % 2 ? VK_PAUSE : VK_RIGHT)});
            Run(60);
        }
        press({VK_F3});
        DWORD h = 0;
        GetProcessHandleCount(GetCurrentProcess(), &h);
        if (round == 1) {
            gdi = GdiObjectCount();
            user = (int)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
            handles = (int)h;
        }
        if (round == 3) {
            EXPECT_EQ(gdi, GdiObjectCount());
            EXPECT_EQ(user, (int)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
            EXPECT_EQ(handles, (int)h);
        }
    }
    DestroyAcceleratorTable(accel);
}

namespace {

std::string g_gridDuringRun;
int g_step = 0;

// The user, once the loop runs: a game, a move of the window, a toggle, then Exit.
VOID CALLBACK UserActs(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND main = FindWindowA("Stakka", "Stakka");
    if (!main)
        return;
    if (g_step == 0)
        SendMessageA(main, WM_COMMAND, IDM_NEWGAME, 0);
    if (g_step == 1) {
        SetWindowPos(main, nullptr, -15, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        SendMessageA(main, WM_COMMAND, IDM_SHOWGRID, 0);
    }
    if (g_step++ == 2) {
        g_gridDuringRun = Stored("DrawGrid");
        KillTimer(nullptr, id);
        SendMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    }
}

void StoreText(const char* name, const char* text)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, szRegKey, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
    RegCloseKey(key);
}

int RunWinMain()
{
    for (const char* c : {"Stakka", "StakkaGrid", "StakkaNext", "Score", "Stats", "ChooseKey"})
        UnregisterClassA(c, GetModuleHandleA(nullptr));   // WinMain registers them itself
    return WinMain(GetModuleHandleA(nullptr), nullptr, (LPSTR) "ignored", SW_SHOW);
}

} // namespace

TEST(ShellRun, WinMainSavesOnlyAtExitAndNothingWithoutTheLibrary)
{
    MBERRORBOXPROC oldBox = SetMbErrorBox(RecordBox);
    // A first run's store, whatever other tests left in this prefix.
    SHDeleteKeyA(HKEY_CURRENT_USER, szRegKey);
    OPTIONS first;
    LoadOptions(first);
    g_boxes.clear();
    StoreText("DrawGrid", "1");
    StoreText("Window", "100,100");
    SetTimer(nullptr, 0, 100, UserActs);
    EXPECT_EQ(0, RunWinMain());
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ("1", g_gridDuringRun);
    EXPECT_EQ("0", Stored("DrawGrid"));
    EXPECT_EQ("-15,40", Stored("Window"));
    // Without the graphics library: the message, and the stored options stay as they were
    // ("01" would be written back as "1").
    StoreText("Preview", "01");
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string dll = std::string(self, strrchr(self, '\\') + 1) + "stkgfx.dll";
    ASSERT_TRUE(MoveFileA(dll.c_str(), (dll + ".away").c_str()));
    DrainQueue();
    EXPECT_EQ(0, RunWinMain());
    MoveFileA((dll + ".away").c_str(), dll.c_str());
    EXPECT_EQ(std::vector<std::string>{"Unable to load stkgfx.dll"}, g_boxes);
    EXPECT_EQ("01", Stored("Preview"));
    if (IsWindow(hwndMain))
        DestroyWindow(hwndMain);
    hwndMain = nullptr;
    DrainQueue();
    SetMbErrorBox(oldBox);
}

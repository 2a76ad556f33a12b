// stakka.cpp - the application shell: start-up, the main window and its
// menu, the main loop and shut-down.
//
// WinMain owns the one OPTIONS record and the one StakkaGrid for the whole
// run. The options reach the store only once, after the main loop has
// ended; a start-up that fails before the game exists saves nothing.
#include <windows.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <time.h>

#include <new>

#include "STAKKA.h"
#include "clock.h"
#include "cpushell.h"
#include "ctrldlg.h"
#include "gfxdlg.h"
#include "grid.h"
#include "music.h"
#include "netshell.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "stkdefs.h"

const char szAppname[] = "Stakka";

namespace {

const char GFX_LIBRARY[] = "stkgfx.dll";
const char MENU_NAME[] = "MainMenu";
const char ACCEL_NAME[] = "MainAccel";
const char ICON_NAME[] = "AppIco";
const char NEWGAME_TEXT[] = "&New Game\tF2";
const char STOPGAME_TEXT[] = "S&top Game\tF3";

// While a game runs the loop sleeps until the next step falls due; the
// platform's timer is made this fine meanwhile so the step acts on time.
const UINT GAME_TIMER_RESOLUTION = 1;
// The tick count does not move every millisecond: it advances in steps of
// up to this many (the system clock's interrupt on Windows, the server's
// update of it under Wine). Sleeping until the tick says "due" could miss
// the moment by a whole step, so the loop wakes this much early and then
// looks in slices of GAME_WAIT_SLICE until the tick count gets there.
const DWORD TICK_GRAIN = 16;
const DWORD GAME_WAIT_SLICE = 1;
// An idle pass never sleeps longer than this while a game runs: a step can
// only ever be looked at early, never missed, if the wait were misjudged.
const DWORD MAX_GAME_WAIT = 100;

FRAMEHOOKPROC frameHook = NULL;

} // namespace

// ---------------------------------------------------------------------------
// Window classes and the main window
// ---------------------------------------------------------------------------

int RegisterStakkaClasses(HINSTANCE hInstance)
{
    // One record, changing between registrations only what differs.
    WNDCLASSA wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, ICON_NAME);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = MENU_NAME;
    wc.lpszClassName = szAppname;
    if (!RegisterClassA(&wc))
        return 0;

    wc.lpfnWndProc = GridWndProc;
    wc.hIcon = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = "StakkaGrid";
    RegisterClassA(&wc);

    wc.lpfnWndProc = NextWndProc;
    wc.lpszClassName = "StakkaNext";
    RegisterClassA(&wc);

    wc.lpfnWndProc = ScoreWndProc;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "Score";
    RegisterClassA(&wc);

    wc.lpfnWndProc = StatsWndProc;
    wc.lpszClassName = "Stats";
    RegisterClassA(&wc);

    RegisterChooseKeyClass(hInstance);
    return 1;
}

HWND CreateMainWindow(HINSTANCE hInstance, OPTIONS* op)
{
    // The stored corner is used as it is, even off the screen: the player
    // put the window there.
    int height = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU) + MAIN_CLIENT_HEIGHT;
    return CreateWindowExA(0, szAppname, szAppname,
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           op->windowpos.x, op->windowpos.y, MAIN_WIDTH, height, NULL, NULL,
                           hInstance, op);
}

// ---------------------------------------------------------------------------
// The main window
// ---------------------------------------------------------------------------

namespace {

// What the main window keeps across messages; one main window per process.
struct MainState {
    OPTIONS* op;
    StakkaGrid* grid;
    HMENU hmenu;
    MUSICSTATE music;
};

MainState mainState;

void SetCheck(HMENU hmenu, UINT id, int on)
{
    CheckMenuItem(hmenu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void OnCreate(HWND hwnd, LPARAM lParam)
{
    const CREATESTRUCTA* cs = (const CREATESTRUCTA*)lParam;
    mainState.op = (OPTIONS*)cs->lpCreateParams;
    mainState.hmenu = GetMenu(hwnd);
    // The check marks follow the loaded options, not the menu template.
    SetCheck(mainState.hmenu, IDM_SHOWGRID, mainState.op->go.drawGrid);
    SetCheck(mainState.hmenu, IDM_SHOWNEXT, mainState.op->go.preview);
    NetShellInit(hwnd, mainState.hmenu);
}

void OnMove(HWND hwnd)
{
    // WM_MOVE reports the client origin; the stored position is the
    // window's own corner, which is what the next start creates it at.
    // Minimising moves the window to where the system parks icons
    // (-32000,-32000 on Windows); only a normal placement is kept, so a
    // close from the taskbar does not save the parking place.
    if (IsIconic(hwnd) || IsZoomed(hwnd))
        return;
    RECT r;
    if (GetWindowRect(hwnd, &r)) {
        mainState.op->windowpos.x = r.left;
        mainState.op->windowpos.y = r.top;
    }
}

void ShowNewGameItem()
{
    ModifyMenuA(mainState.hmenu, IDM_STOPGAME, MF_BYCOMMAND | MF_STRING, IDM_NEWGAME,
                NEWGAME_TEXT);
}

void OnMatchStarted();

void OnNewGame()
{
    StakkaGrid* grid = mainState.grid;
    if (!grid || grid->Active())
        return;
    if (NetShellNewGame(grid))
        return; // a two-player match starts on both sides at once (WM_MATCHSTARTED)
    grid->Reset();
    OnMatchStarted();
}

void OnMatchStarted()
{
    if (mainState.op->so.playMusic)
        GameMusicStart(mainState.op->so, mainState.music);
    ModifyMenuA(mainState.hmenu, IDM_NEWGAME, MF_BYCOMMAND | MF_STRING, IDM_STOPGAME,
                STOPGAME_TEXT);
}

void OnStopGame()
{
    StakkaGrid* grid = mainState.grid;
    if (!grid || !grid->Active())
        return;
    grid->Stop();
    NetShellStopped(grid);
    if (mainState.op->so.playMusic)
        GameMusicStop(mainState.music);
    ShowNewGameItem();
}

void OnGameEnded()
{
    // A game over is not a command: the menu still offers Stop Game and the
    // module still plays. Put both back as Stop Game would, once.
    StakkaGrid* grid = mainState.grid;
    if (!grid || grid->Active())
        return;
    if (GetMenuState(mainState.hmenu, IDM_STOPGAME, MF_BYCOMMAND) == (UINT)-1)
        return; // already showing New Game
    if (mainState.op->so.playMusic)
        GameMusicStop(mainState.music);
    ShowNewGameItem();
}

void OnCommand(HWND hwnd, WPARAM wParam)
{
    StakkaGrid* grid = mainState.grid;
    switch (LOWORD(wParam)) {
    case IDM_NEWGAME:
        OnNewGame();
        break;
    case IDM_STOPGAME:
        OnStopGame();
        break;
    case IDM_PAUSE:
        if (grid) {
            grid->TogglePause();
            NetShellPaused(grid);
        }
        break;
    case IDM_EXIT:
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    case IDM_GRAPHICS:
        // The playfield rebuilds its background afterwards, OK or Cancel.
        GraphicsOptionsCommand(hwnd, grid);
        break;
    case IDM_CONTROLS:
        // The playfield reads the bindings from the same record at every key.
        ControlOptions(hinst, hwnd, &mainState.op->co);
        break;
    case IDM_SHOWGRID:
        if (grid)
            SetCheck(mainState.hmenu, IDM_SHOWGRID, grid->ToggleGrid());
        break;
    case IDM_SHOWNEXT:
        if (grid)
            SetCheck(mainState.hmenu, IDM_SHOWNEXT, grid->TogglePreview());
        break;
    default:
        // Start Server, Connect, Single Player, Multi Player.
        NetShellCommand(hwnd, grid, LOWORD(wParam));
        break;
    }
}

void OnDestroy()
{
    StakkaGrid* grid = mainState.grid;
    if (mainState.op && mainState.op->so.playMusic && grid && grid->Active())
        GameMusicStop(mainState.music);
    PostQuitMessage(0);
}

} // namespace

int GameMusicLoaded(void)
{
    return mainState.music.loaded;
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd, lParam);
        return 0;
    case WM_MOVE:
        OnMove(hwnd);
        return 0;
    case WM_SETFOCUS:
        if (mainState.grid)
            mainState.grid->SetGridFocus();
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_SETGRID:
        mainState.grid = (StakkaGrid*)wParam;
        return 0;
    case WM_GAMEENDED:
        OnGameEnded();
        return 0;
    case WM_MATCHSTARTED:
        OnMatchStarted();
        return 0;
    case WM_NETSOCKET:
        NetShellSocket(mainState.grid, wParam, lParam);
        return 0;
    case WM_NETLOOKUP:
        NetShellLookup(mainState.grid, wParam);
        return 0;
    case WM_TIMER:
        if (wParam == CPU_TIMER_ID) {
            CpuShellTimer(); // the main loop's pass that dispatched it steps the computer
            return 0;
        }
        if (wParam != NET_TIMER_ID)
            break;
        NetShellTimer(mainState.grid);
        return 0;
    case WM_COMMAND:
        OnCommand(hwnd, wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------
// The main loop
// ---------------------------------------------------------------------------

FRAMEHOOKPROC SetFrameHook(FRAMEHOOKPROC hook)
{
    FRAMEHOOKPROC old = frameHook;
    frameHook = hook;
    return old;
}

namespace {

int GameRunning(StakkaGrid* grid)
{
    return grid->Active() && !grid->paused;
}

} // namespace

DWORD FrameWaitTime(StakkaGrid* grid)
{
    if (!GameRunning(grid))
        return INFINITE; // RunFrame can do nothing until a message changes that
    // The step was scheduled from curTime (see RunFrame); measure from there
    // so the tick count's wrap does not matter.
    DWORD now = StkTickCount();
    DWORD elapsed = now - grid->curTime;
    DWORD wait = grid->nextFrame - grid->curTime;
    if (elapsed >= wait)
        return 0;
    DWORD left = wait - elapsed;
    if (left <= TICK_GRAIN)
        return GAME_WAIT_SLICE;
    left -= TICK_GRAIN;
    return left < MAX_GAME_WAIT ? left : MAX_GAME_WAIT;
}

int RunMainLoop(StakkaGrid* grid, HACCEL accel)
{
    MSG msg;
    int fineTimer = 0;
    for (;;) {
        // One message, if there is one, then one frame step: the order the
        // game's timing relies on.
        BOOL got = PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
        if (got) {
            if (msg.message == WM_QUIT)
                break;
            if (!TranslateAcceleratorA(hwndMain, accel, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }

        int wasActive = grid->Active();
        DWORD dueBefore = grid->nextFrame;
        DWORD timeBefore = grid->curTime;
        grid->RunFrame();
        if (frameHook)
            frameHook(grid, dueBefore, timeBefore);
        if (wasActive && !grid->Active())
            SendMessageA(hwndMain, WM_GAMEENDED, 0, 0);
        NetShellAfterStep(grid);

        // A fine timer costs power: only while steps are being timed.
        int running = GameRunning(grid);
        if (running && !fineTimer)
            fineTimer = timeBeginPeriod(GAME_TIMER_RESOLUTION) == TIMERR_NOERROR;
        else if (!running && fineTimer) {
            timeEndPeriod(GAME_TIMER_RESOLUTION);
            fineTimer = 0;
        }

        // Only a pass that found the queue empty sleeps; it wakes for any
        // message, including one already queued by the time it waits.
        if (!got) {
            DWORD wait = FrameWaitTime(grid);
            if (wait != 0)
                MsgWaitForMultipleObjectsEx(0, NULL, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
    if (fineTimer)
        timeEndPeriod(GAME_TIMER_RESOLUTION);
    return (int)msg.wParam;
}

// ---------------------------------------------------------------------------
// Start-up and shut-down
// ---------------------------------------------------------------------------

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow)
{
    (void)lpszCmdLine; // the command line is ignored
    static OPTIONS op;

    if (!hPrevInstance && !RegisterStakkaClasses(hInstance))
        return 0;
    hinst = hInstance;
    LoadOptions(op);

    hwndMain = CreateMainWindow(hInstance, &op);
    if (!hwndMain)
        return 0;
    ShowWindow(hwndMain, nCmdShow);
    UpdateWindow(hwndMain);

    hinstDll = LoadLibraryA(GFX_LIBRARY);
    if (!hinstDll) {
        // Nothing was changed yet worth keeping, and the music library was
        // never started: leave without saving or shutting it down.
        MbError("Unable to load %s", GFX_LIBRARY);
        return 0;
    }
    srand((unsigned)time(NULL));
    MusicStartup();

    StakkaGrid* grid = new (std::nothrow) StakkaGrid(hwndMain, hinstDll, &op);
    if (!grid) {
        // Without the playfield there is no game; nothing was changed yet.
        MbError("Not enough memory to start the game");
        DestroyWindow(hwndMain);
        FreeLibrary(hinstDll);
        hinstDll = NULL;
        MusicShutdown();
        return 0;
    }
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    HACCEL accel = LoadAcceleratorsA(hinst, ACCEL_NAME);

    int result = RunMainLoop(grid, accel);

    NetShellShutdown(grid);
    // The playfield's bitmaps came from the library: it goes first.
    delete grid;
    FreeLibrary(hinstDll);
    hinstDll = NULL;
    SaveOptions(op);
    MusicShutdown();
    return result;
}

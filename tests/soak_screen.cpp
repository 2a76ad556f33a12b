// soak_screen - a long game under the real WinMain and main loop, driven by
// synthetic key presses and menu commands, that watches the process's GDI
// object count and memory. Options live in an in-memory store, so nothing of
// the machine's registry is touched.
//   soak_screen [seconds, default 60]
// Prints a sample every 10 s and ends with exit code 0 when both stayed flat:
// the lowest GDI count of the last 10 s equals that of the first 10 s after
// the warm-up, and private memory grew by less than 1 MB.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>

#include "STAKKA.h"
#include "gdi_count.h"
#include "teststore.h"
#include "options.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace {

const UINT KEY_MS = 40;           // a key every 40 ms
const int DROP_HOLD_TICKS = 12;   // the drop key held 480 ms: most of the well at 25 ms a row
const DWORD WARMUP_S = 15;        // lazily made system objects settle first
const DWORD WINDOW_S = 10;        // samples are compared by their lowest per window
const SIZE_T MEMORY_SLACK = 1024 * 1024;

DWORD seconds = 60;
DWORD startTick;
int baseGdi = -1, lastGdi = -1, windowGdi = 0x7fffffff;
SIZE_T baseMem = 0, lastMem = 0, windowMem = (SIZE_T)-1;
DWORD windowStart = 0;
long keys = 0, games = 0; // games: New Game commands after a game over (or at start)
int errors = 0;

int WINAPI CountError(HWND, LPCSTR text, LPCSTR, UINT)
{
    fprintf(stderr, "soak: error box: %s\n", text);
    errors++;
    return IDOK;
}

HWND Well()
{
    return hwndMain ? FindWindowExA(hwndMain, NULL, "StakkaGrid", NULL) : NULL;
}

VOID CALLBACK PressKeys(HWND, UINT, UINT_PTR, DWORD)
{
    static WPARAM held = 0;
    static int holdTicks = 0;
    HWND well = Well();
    if (!well)
        return;
    // A game over leaves the File menu offering New Game: start the next one.
    HMENU menu = GetMenu(hwndMain);
    if (GetMenuState(menu, IDM_NEWGAME, MF_BYCOMMAND) != (UINT)-1) {
        PostMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
        games++;
    }
    if (held) {
        // The drop key is held long enough to bring most pieces down.
        if (--holdTicks > 0)
            return;
        PostMessageA(well, WM_KEYUP, held, 0);
        held = 0;
    }
    static const WPARAM choice[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_CONTROL, VK_LEFT, VK_RIGHT, VK_DOWN};
    WPARAM k = choice[rand() % 7];
    PostMessageA(well, WM_KEYDOWN, k, 0);
    keys++;
    if (k == VK_DOWN) {
        held = k;
        holdTicks = DROP_HOLD_TICKS;
    } else {
        PostMessageA(well, WM_KEYUP, k, 0);
    }
}

VOID CALLBACK Commands(HWND, UINT, UINT_PTR, DWORD)
{
    static int n = 0;
    if (!hwndMain)
        return;
    n++;
    // Now and then what a player does besides playing.
    if (n % 7 == 0) {
        SendMessageA(hwndMain, WM_COMMAND, IDM_PAUSE, 0);
        SendMessageA(hwndMain, WM_COMMAND, IDM_PAUSE, 0);
    }
    if (n % 11 == 0)
        SendMessageA(hwndMain, WM_COMMAND, IDM_SHOWGRID, 0);
    if (n % 13 == 0)
        SendMessageA(hwndMain, WM_COMMAND, IDM_SHOWNEXT, 0);
    if (n % 61 == 0) {
        SendMessageA(hwndMain, WM_COMMAND, IDM_STOPGAME, 0);
        SendMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
    }
}

SIZE_T PrivateBytes()
{
    // The committed private memory. (Wine leaves PrivateUsage unreliable;
    // PagefileUsage counts the same commitments on both systems.)
    PROCESS_MEMORY_COUNTERS pmc;
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PagefileUsage;
}

VOID CALLBACK Sample(HWND, UINT, UINT_PTR id, DWORD)
{
    DWORD t = (GetTickCount() - startTick) / 1000;
    int gdi = GdiObjectCount();
    SIZE_T mem = PrivateBytes();
    if (gdi < windowGdi)
        windowGdi = gdi;
    if (mem < windowMem)
        windowMem = mem;
    if (t >= windowStart + WINDOW_S) {
        printf("soak: %4lus gdi %d private %lu KB keys %ld games %ld\n", (unsigned long)t,
               windowGdi, (unsigned long)(windowMem / 1024), keys, games);
        fflush(stdout);
        if (baseGdi < 0 && t >= WARMUP_S + WINDOW_S) {
            baseGdi = windowGdi;
            baseMem = windowMem;
        }
        lastGdi = windowGdi;
        lastMem = windowMem;
        windowGdi = 0x7fffffff;
        windowMem = (SIZE_T)-1;
        windowStart = t;
    }
    if (t >= seconds) {
        KillTimer(NULL, id);
        PostMessageA(hwndMain, WM_COMMAND, IDM_EXIT, 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        seconds = (DWORD)atoi(argv[1]);
    if (seconds < WARMUP_S + 3 * WINDOW_S)
        seconds = WARMUP_S + 3 * WINDOW_S;
    TestStore store;
    SetOptionsStore(&store);
    SetMbErrorBox(CountError);
    srand(7);
    startTick = GetTickCount();
    SetTimer(NULL, 0, KEY_MS, PressKeys);
    SetTimer(NULL, 0, 1000, Commands);
    SetTimer(NULL, 0, 1000, Sample);
    int rc = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW);
    SetOptionsStore(NULL);

    long long gdiGrowth = (long long)lastGdi - baseGdi;
    long long memGrowth = (long long)lastMem - (long long)baseMem;
    printf("soak: gdi objects %d -> %d, private memory %lu KB -> %lu KB, %ld keys, %ld games\n",
           baseGdi, lastGdi, (unsigned long)(baseMem / 1024), (unsigned long)(lastMem / 1024), keys,
           games);
    int ok = rc == 0 && errors == 0 && baseGdi > 0 && gdiGrowth == 0 &&
             memGrowth < (long long)MEMORY_SLACK && keys > 0 && games > 0;
    printf("soak: %s\n", ok ? "flat" : "NOT FLAT");
    return ok ? 0 : 1;
}

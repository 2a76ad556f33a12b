// bench_screen - what the screen and the main loop cost, measured in one run
// against the real graphics library and the real main loop:
//   - a frame step that is not due, against a bare tick-count read;
//   - composing the whole well, against one two-row band;
//   - how late frame steps act after falling due during a fast game driven
//     by key presses, and how often the loop passed and the CPU it took.
// Prints one "bench: <what> <value> <unit>" line per figure.
//   bench_screen [seconds of play, default 20]
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "STAKKA.h"
#include "clock.h"
#include "grid.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "testshell.h"

namespace {

double Now()
{
    static LARGE_INTEGER freq;
    if (!freq.QuadPart)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)freq.QuadPart;
}

double CpuSeconds()
{
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    ULONGLONG t = ((ULONGLONG)k.dwHighDateTime << 32 | k.dwLowDateTime) +
                  ((ULONGLONG)u.dwHighDateTime << 32 | u.dwLowDateTime);
    return (double)t / 1e7;
}

std::vector<DWORD> lateness;   // by the tick count: frame time minus due time
std::vector<double> bound;     // real ms since the last pass that found it not due
std::vector<double> afterTick; // real ms since the tick count first showed the step due
long passes = 0;
double lastPass = 0;

// An observer thread notes when each new tick count value first appears, so
// a step's lateness can be taken from the moment it really fell due (the
// tick count moves in grains of about 16 ms under Wine and on Windows).
struct TickChange {
    DWORD tick;
    double at;
};
const LONG RING = 4096;
TickChange ring[RING];
volatile LONG ringCount = 0;
volatile LONG observing = 1;

DWORD WINAPI ObserveTicks(void*)
{
    DWORD last = GetTickCount();
    while (observing) {
        DWORD k = GetTickCount();
        if (k != last) {
            LONG n = ringCount;
            ring[n % RING].tick = k;
            ring[n % RING].at = Now();
            MemoryBarrier();
            InterlockedIncrement(&ringCount);
            last = k;
        }
        SwitchToThread();
    }
    return 0;
}

// When the tick count first reached `due`, or a negative number if unknown.
double FirstReached(DWORD due)
{
    LONG n = ringCount;
    double found = -1;
    for (LONG i = n - 1; i >= 0 && i > n - RING; i--) {
        const TickChange& c = ring[i % RING];
        if ((LONG)(c.tick - due) < 0)
            break;
        found = c.at;
    }
    return found;
}

int wasRunning = 0;

void OnFrame(StakkaGrid* grid, DWORD dueBefore, DWORD timeBefore)
{
    passes++;
    double now = Now();
    // A step acted when the frame time moved on. The first step of a game
    // was scheduled by the game before (or never): it does not count.
    if (grid->curTime != timeBefore && wasRunning) {
        lateness.push_back(grid->curTime - dueBefore);
        // The tick count reached the step's time after the previous pass
        // looked: this pass came at most this much after it fell due.
        bound.push_back((now - lastPass) * 1000.0);
        double reached = FirstReached(dueBefore);
        if (reached >= 0)
            afterTick.push_back((now - reached) * 1000.0);
    }
    lastPass = now;
    wasRunning = grid->Active();
    // Keep the game going: a new one as soon as one ends.
    if (!grid->Active())
        PostMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
}

StakkaGrid* theGrid;

VOID CALLBACK PressKey(HWND, UINT, UINT_PTR, DWORD)
{
    // A player's shifts and turns. No fast drop: by the game's rule it
    // schedules the next step 25 ms after the last frame, which may already
    // be past, and would count as lateness that the loop did not cause.
    const int SHIFT_AND_TURN_KEYS = 4; // the first bindings: left, right and the two turns
    WPARAM k = (WPARAM)defaultkeys[rand() % SHIFT_AND_TURN_KEYS];
    PostMessageA(theGrid->hwndGrid, WM_KEYDOWN, k, 0);
    PostMessageA(theGrid->hwndGrid, WM_KEYUP, k, 0);
}

VOID CALLBACK Quit(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    PostQuitMessage(0);
}

// A fast game (the fastest level's 100 ms a row) under the real main loop for the given time,
// every frame step seen by OnFrame.
void PlayFastGame(StakkaGrid* grid, int seconds)
{
    DrainMessages();
    SendMessageA(hwndMain, WM_COMMAND, IDM_STOPGAME, 0);
    SendMessageA(hwndMain, WM_COMMAND, IDM_NEWGAME, 0);
    grid->delay_drop_normal = DELAY_DROP_MIN;
    grid->delay_drop = DELAY_DROP_MIN;
    SetFrameHook(OnFrame);
    SetTimer(NULL, 0, (UINT)seconds * 1000, Quit);
    RunMainLoop(grid, NULL);
    SetFrameHook(NULL);
}

// One sorted series of frame delays in ms: count, mean, 99th percentile, worst, and how many
// passed the 2 ms target.
void PrintSeries(const char* name, const std::vector<double>& v, const char* meanNote)
{
    size_t n = v.size();
    double sum = 0;
    size_t over2 = 0;
    for (double x : v) {
        sum += x;
        over2 += x > 2.0;
    }
    printf("bench: %s_steps %zu steps\n", name, n);
    printf("bench: %s_mean %.2f ms%s\n", name, sum / n, meanNote);
    printf("bench: %s_p99 %.2f ms\n", name, v[(n * 99) / 100]);
    printf("bench: %s_max %.2f ms\n", name, v[n - 1]);
    printf("bench: %s_over_2ms %zu steps\n", name, over2);
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 20;
    if (seconds < 1)
        seconds = 1;
    TestShell shell;
    shell.op.go.bg.flags = BG_BUILTIN;
    lstrcpynA(shell.op.go.bg.name, "Background", sizeof shell.op.go.bg.name);
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
        shell.op.go.bs.blocks[i] = (DWORD)i;
    if (!shell.Open())
        return 1;
    StakkaGrid* grid = shell.grid;
    theGrid = grid;
    srand(1);

    // A frame step that is not due: the game runs, the next step is 1.5 s away.
    grid->Reset();
    grid->RunFrame();
    const int N = 2000000;
    double t0 = Now();
    volatile DWORD sink = 0;
    for (int i = 0; i < N; i++)
        sink += GetTickCount();
    double tickNs = (Now() - t0) / N * 1e9;
    t0 = Now();
    for (int i = 0; i < N; i++)
        grid->RunFrame();
    if (grid->pActiveTetrad == NULL || grid->curTime == 0)
        fprintf(stderr, "bench: the game did not start\n");
    double frameNs = (Now() - t0) / N * 1e9;
    (void)sink;
    printf("bench: tick_read %.1f ns\n", tickNs);
    printf("bench: runframe_not_due %.1f ns\n", frameNs);
    printf("bench: runframe_not_due_vs_tick_read %.2f x\n", frameNs / tickNs);

    // Composing the well: all of it, and one band.
    const int R = 2000;
    t0 = Now();
    for (int i = 0; i < R; i++)
        grid->Redraw(REDRAW_ALL);
    double allUs = (Now() - t0) / R * 1e6;
    t0 = Now();
    for (int i = 0; i < R; i++)
        grid->Redraw(i % WELL_ROWS);
    double bandUs = (Now() - t0) / R * 1e6;
    printf("bench: redraw_all %.1f us\n", allUs);
    printf("bench: redraw_band %.1f us\n", bandUs);
    printf("bench: redraw_all_vs_band %.1f x\n", allUs / bandUs);
    grid->Stop();

    // A fast game driven by key presses.
    SetTimer(NULL, 0, 150, PressKey);
    double cpu0 = CpuSeconds();
    t0 = Now();
    PlayFastGame(grid, seconds);
    double wall = Now() - t0;
    double cpu = CpuSeconds() - cpu0;

    // The same game again, with an observer of the tick count beside it.
    // (The observer spins a core, so the CPU figure above comes from the run without it.)
    HANDLE observer = CreateThread(NULL, 0, ObserveTicks, NULL, 0, NULL);
    std::vector<DWORD> plainLateness = lateness;
    std::vector<double> plainBound = bound;
    lateness.clear();
    bound.clear();
    wasRunning = 0;
    PlayFastGame(grid, seconds);
    observing = 0;
    WaitForSingleObject(observer, INFINITE);
    CloseHandle(observer);
    lateness = plainLateness;
    bound = plainBound;

    std::sort(lateness.begin(), lateness.end());
    std::sort(bound.begin(), bound.end());
    size_t n = lateness.size();
    if (n) {
        PrintSeries("frame_pass_gap", bound, " (bound: since the pass that found it not due)");
        printf("bench: frame_late_by_tick_p99 %lu ms (the tick count's own grain included)\n",
               (unsigned long)lateness[(n * 99) / 100]);
        printf("bench: frame_late_by_tick_max %lu ms\n", (unsigned long)lateness[n - 1]);
    }
    std::sort(afterTick.begin(), afterTick.end());
    if (!afterTick.empty())
        PrintSeries("frame_late_after_tick", afterTick, "");
    printf("bench: loop_passes %.0f per s\n", passes / wall);
    printf("bench: loop_cpu_playing %.2f %% of a core\n", cpu / wall * 100.0);

    shell.Close();
    return 0;
}

// bench_midas.exe - what the music library costs while the game runs.
//
//   bench_midas [--idle SECONDS] [--play SECONDS] [--after SECONDS] [--replay SECONDS]
//               [--cycles N] [--module FILE]
//
// Starts the library as the game does and prints the CPU used (percent of one
// core, whole process) while nothing has played yet (--idle), while the
// module plays (--play; also the mixing thread alone) and after
// MIDASstopModule, between games (--after; a recording of that span must be
// silent; the device must be released), then plays the module --replay
// seconds more from its start, as the next game does. Then it times MIDASstopModule, MIDASstopBackgroundPlay and
// MIDASclose; --cycles N adds N play/stop and N start-up/close rounds and
// prints the worst and median times. Output lines are "name=value".
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "midasdll.h"

namespace {

double Now()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart / (double)f.QuadPart;
}

double Seconds(const FILETIME& ft)
{
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return (double)u.QuadPart / 1e7;
}

double ProcessCpu()
{
    FILETIME c, e, k, u;
    return GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u) ? Seconds(k) + Seconds(u) : 0;
}

double ThreadCpu(HANDLE thread)
{
    FILETIME c, e, k, u;
    return thread && GetThreadTimes(thread, &c, &e, &k, &u) ? Seconds(k) + Seconds(u) : 0;
}

std::vector<DWORD> ThreadIds()
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == GetCurrentProcessId())
            ids.push_back(te.th32ThreadID);
    CloseHandle(snap);
    std::sort(ids.begin(), ids.end());
    return ids;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Percent of one core the process uses over the next `seconds`.
double CpuPercentOver(double seconds)
{
    double w0 = Now(), c0 = ProcessCpu();
    Sleep((DWORD)(seconds * 1000));
    return 100.0 * (ProcessCpu() - c0) / (Now() - w0);
}

std::string ExeDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string s(path, n < sizeof path ? n : 0);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

} // namespace

int main(int argc, char** argv)
{
    double idleSeconds = 3, playSeconds = 10, afterSeconds = 3, replaySeconds = 0;
    int cycles = 0;
    std::string module = ExeDir() + "beyond.mod";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--idle"))
            idleSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--play"))
            playSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--after"))
            afterSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--replay"))
            replaySeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cycles"))
            cycles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--module"))
            module = argv[i + 1];
    }

    MIDASstartup();
    BOOL device = MIDASinit();
    std::vector<DWORD> before = ThreadIds();
    MIDASstartBackgroundPlay(0);
    HANDLE mixer = NULL;
    for (DWORD id : ThreadIds())
        if (!mixer && !std::binary_search(before.begin(), before.end(), id))
            mixer = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    std::printf("device=%s\n", device ? "open" : "none");
    // What New Game waits for before the first note: the module loaded, then played.
    double load0 = Now();
    MIDASmodule m = MIDASloadModule(module.c_str());
    std::printf("module_loaded=%d\nload_module_ms=%.2f\n", m != NULL, (Now() - load0) * 1000);
    std::printf("cpu_idle_percent=%.2f\n", CpuPercentOver(idleSeconds));
    std::fflush(stdout);

    double wall0 = Now(), proc0 = ProcessCpu(), thr0 = ThreadCpu(mixer);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    std::printf("play_module_ms=%.2f\n", (Now() - wall0) * 1000);
    Sleep((DWORD)(playSeconds * 1000));
    double wall = Now() - wall0;
    double proc = ProcessCpu() - proc0, thr = ThreadCpu(mixer) - thr0;
    double t = Now();
    MIDASstopModule(p);
    double stopMs = (Now() - t) * 1000;
    std::printf("played_ms=%.0f\n", (t - wall0) * 1000);
    std::printf("cpu_play_percent=%.2f\n", 100.0 * proc / wall);
    std::printf("cpu_mixer_percent=%.2f\n", 100.0 * thr / wall);
    std::printf("stop_module_ms=%.3f\n", stopMs);
    std::fflush(stdout);
    std::printf("cpu_after_stop_percent=%.2f\n", CpuPercentOver(afterSeconds));
    std::fflush(stdout);
    if (replaySeconds > 0) {
        p = MIDASplayModule(m, TRUE);
        Sleep((DWORD)(replaySeconds * 1000));
        MIDASstopModule(p);
    }

    MIDASfreeModule(m);
    t = Now();
    MIDASstopBackgroundPlay();
    double stopBgMs = (Now() - t) * 1000;
    t = Now();
    MIDASclose();
    double closeMs = (Now() - t) * 1000;
    std::printf("stop_background_ms=%.3f\nclose_ms=%.3f\n", stopBgMs, closeMs);
    if (mixer)
        CloseHandle(mixer);

    if (cycles > 0) {
        std::vector<double> stops, closes;
        MIDASstartup();
        MIDASinit();
        MIDASstartBackgroundPlay(0);
        m = MIDASloadModule(module.c_str());
        for (int i = 0; i < cycles; i++) {
            p = MIDASplayModule(m, TRUE);
            Sleep(200);
            t = Now();
            MIDASstopModule(p);
            stops.push_back((Now() - t) * 1000);
        }
        MIDASfreeModule(m);
        MIDASclose();
        for (int i = 0; i < cycles; i++) {
            MIDASstartup();
            MIDASinit();
            MIDASstartBackgroundPlay(0);
            m = MIDASloadModule(module.c_str());
            MIDASplayModule(m, TRUE);
            Sleep(100);
            t = Now();
            MIDASclose(); // with the module playing and the thread running
            closes.push_back((Now() - t) * 1000);
        }
        std::printf("stop_module_ms_median=%.3f\nstop_module_ms_max=%.3f\n", Median(stops),
                    *std::max_element(stops.begin(), stops.end()));
        std::printf("close_ms_median=%.3f\nclose_ms_max=%.3f\n", Median(closes),
                    *std::max_element(closes.begin(), closes.end()));
    }
    return 0;
}

// bench_midas.exe - what the music library costs while the game runs.
//
//   bench_midas [--play SECONDS] [--after SECONDS] [--cycles N] [--module FILE]
//
// Starts the library as the game does, plays the module for --play seconds
// and prints the CPU used meanwhile by the whole process and by the mixing
// thread (percent of one core), then the time MIDASstopModule takes. It then
// keeps the library running --after seconds with nothing playing (a
// recording of that span must be silent), frees the module and times
// MIDASstopBackgroundPlay and MIDASclose. --cycles N adds N play/stop and N
// start-up/close rounds and prints the worst and median times.
// Output lines are "name=value", for scripts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "midasdll.h"
#include "proc_count.h"

namespace {

double Now()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart / (double)f.QuadPart;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    double playSeconds = 10, afterSeconds = 2;
    int cycles = 0;
    std::string module = ExeDir() + "beyond.mod";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--play"))
            playSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--after"))
            afterSeconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--cycles"))
            cycles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--module"))
            module = argv[i + 1];
    }

    MIDASstartup();
    BOOL device = MIDASinit();
    std::vector<DWORD> before = ProcessThreadIds();
    MIDASstartBackgroundPlay(0);
    std::vector<DWORD> after = ProcessThreadIds();
    HANDLE mixer = NULL;
    for (DWORD id : after)
        if (!std::binary_search(before.begin(), before.end(), id))
            mixer = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    std::printf("device=%s\n", device ? "open" : "none");
    std::printf("mixer_thread=%s\n", mixer ? "found" : "none");

    MIDASmodule m = MIDASloadModule(module.c_str());
    std::printf("module_loaded=%d\n", m != NULL);
    double wall0 = Now(), proc0 = ProcessCpuSeconds(), thr0 = ThreadCpuSeconds(mixer);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    Sleep((DWORD)(playSeconds * 1000));
    double wall = Now() - wall0;
    double proc = ProcessCpuSeconds() - proc0, thr = ThreadCpuSeconds(mixer) - thr0;
    double t = Now();
    MIDASstopModule(p);
    double stopMs = (Now() - t) * 1000;
    std::printf("played_ms=%.0f\n", (t - wall0) * 1000);
    std::printf("cpu_process_percent=%.2f\n", 100.0 * proc / wall);
    std::printf("cpu_mixer_percent=%.2f\n", 100.0 * thr / wall);
    std::printf("stop_module_ms=%.3f\n", stopMs);
    std::fflush(stdout);

    Sleep((DWORD)(afterSeconds * 1000));
    MIDASfreeModule(m);
    t = Now();
    MIDASstopBackgroundPlay();
    double stopBgMs = (Now() - t) * 1000;
    t = Now();
    MIDASclose();
    double closeMs = (Now() - t) * 1000;
    std::printf("stop_background_ms=%.3f\n", stopBgMs);
    std::printf("close_ms=%.3f\n", closeMs);
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
            MIDASclose();   // with the module playing and the thread running
            closes.push_back((Now() - t) * 1000);
        }
        std::printf("stop_module_ms_median=%.3f\nstop_module_ms_max=%.3f\n", Median(stops),
                    *std::max_element(stops.begin(), stops.end()));
        std::printf("close_ms_median=%.3f\nclose_ms_max=%.3f\n", Median(closes),
                    *std::max_element(closes.begin(), closes.end()));
    }
    return 0;
}

// Tests of midas11.dll: garbage, stale and repeated handles, bad module files and leak-free
// cycles (closing with a module playing among them).
// Run without a device by ctest, and with one by music_pulse.sh.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midasdll.h"

namespace
{

const size_t MOD_HEADER_BYTES = 1084; // title, 31 samples, orders, "M.K."

std::string ExeDir()
{
    char path[MAX_PATH];
    std::string s(path, GetModuleFileNameA(NULL, path, sizeof path));
    return s.substr(0, s.find_last_of('\\') + 1);
}
const std::string MOD = ExeDir() + "beyond.mod";
std::string Bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
// The lowest count of this process's threads (or handles) over a second:
// Wine's sound driver starts and ends helper threads on its own schedule.
DWORD Lowest(bool threads)
{
    DWORD low = ~0u;
    for (int i = 0; i < 20; i++) {
        Sleep(50);
        DWORD n = 0;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 te = {sizeof te, 0, 0, 0, 0, 0, 0};
        for (BOOL ok = threads && Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
            n += te.th32OwnerProcessID == GetCurrentProcessId();
        CloseHandle(snap);
        if (!threads)
            GetProcessHandleCount(GetCurrentProcess(), &n);
        low = std::min(low, n);
    }
    return low;
}

struct Midas : ::testing::Test {
    void TearDown() override { MIDASclose(); }
    void Start()
    {
        MIDASstartup();
        MIDASinit();
        MIDASstartBackgroundPlay(0);
    }
    static void Write(std::string f, std::string d) { std::ofstream(f, std::ios::binary) << d; }
};

} // namespace

TEST_F(Midas, GarbageStaleAndRepeatedHandlesAreRefusedAndSlotsRunOut)
{
    Start();
    MIDASmodule m = MIDASloadModule(MOD.c_str());
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);
    const UINT_PTR M = (UINT_PTR)m;
    const UINT_PTR ALL = (UINT_PTR)-1;
    const UINT_PTR AT = (UINT_PTR)&m;
    const UINT_PTR junk[] = {0,     1,  9, 0x100,     ALL,   M + 0x100,
                             M ^ 1, AT, p, p + 0x100, p ^ 1, p ^ 0x80000000u};
    for (UINT_PTR j : junk) { // as a module, and as a playback (but for the live one)
        SCOPED_TRACE(j);
        EXPECT_FALSE(MIDASfreeModule((MIDASmodule)j));
        EXPECT_FALSE(MIDASplayModule((MIDASmodule)j, TRUE));
        if (j != p) {
            EXPECT_FALSE(MIDASstopModule((DWORD)j));
        }
    }
    // Playing again restarts under a new handle; the old one is dead.
    MIDASmodulePlayHandle p2 = MIDASplayModule(m, FALSE);
    EXPECT_NE(p, p2);
    EXPECT_FALSE(MIDASstopModule(p)) << "the old handle";
    EXPECT_TRUE(MIDASstopModule(p2));
    EXPECT_FALSE(MIDASstopModule(p2)) << "stopped twice";
    EXPECT_TRUE(MIDASfreeModule(m));
    EXPECT_FALSE(MIDASfreeModule(m)) << "freed twice";
    // Eight slots; a new module in a freed slot does not answer to the old handles.
    MIDASmodule held[8];
    for (MIDASmodule& h : held) {
        h = MIDASloadModule(MOD.c_str());
        EXPECT_NE(h, (MIDASmodule)NULL);
    }
    EXPECT_FALSE(MIDASloadModule(MOD.c_str())) << "a ninth";
    EXPECT_FALSE(MIDASplayModule(m, TRUE)) << "the freed module's handle";
    EXPECT_TRUE(MIDASplayModule(held[0], TRUE)); // mixed together
    EXPECT_TRUE(MIDASplayModule(held[7], TRUE));
    Sleep(100);
    const DWORD t = GetTickCount();
    EXPECT_TRUE(MIDASfreeModule(held[0])) << "while playing";
    EXPECT_LT(GetTickCount() - t, 1000u) << "freeing while playing hung";
    EXPECT_NE(MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
}

TEST_F(Midas, BadFilesAreRefusedOrPlayWithoutHarm)
{
    Start();
    const std::string dir = ExeDir();
    const std::string mod = Bytes(MOD);
    for (const std::string& data :
         {std::string(), std::string("A text file, not a module.\r\n"),
          std::string(mod.rbegin(), mod.rend()), mod.substr(0, 50), mod.substr(0, 951),
          mod.substr(0, MOD_HEADER_BYTES - 1), mod.substr(0, MOD_HEADER_BYTES)}) {
        Write(dir + "bad.mod", data);
        EXPECT_EQ(MIDASloadModule((dir + "bad.mod").c_str()), (MIDASmodule)NULL) << data.size();
    }
    EXPECT_FALSE(MIDASloadModule(NULL));
    for (const std::string& name : {std::string(), std::string("a<>|?.mod"), dir, std::string(5000, 'x')})
        EXPECT_FALSE(MIDASloadModule(name.c_str())) << name.substr(0, 20);

    // Cut in the patterns or samples, or damaged at random: what loads plays and
    // frees (and mixes, in the run with a device).
    srand(4242);
    for (int round = 0; round < 40; round++) {
        std::string copy = round < 8 ? mod.substr(0, mod.size() * (round + 2) / 10) : mod;
        for (int i = round < 8 ? 0 : 1 + rand() % 30; i > 0; i--)
            copy[(size_t)rand() % (round % 2 ? 9 * MOD_HEADER_BYTES : copy.size())] = (char)rand();
        Write(dir + "damaged.mod", copy);
        MIDASmodule m = MIDASloadModule((dir + "damaged.mod").c_str());
        MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
        Sleep(5);
        if (m) {
            EXPECT_TRUE(MIDASstopModule(p)) << round;
            EXPECT_TRUE(MIDASfreeModule(m)) << round;
        }
    }
}

TEST_F(Midas, CyclesLeaveHandlesMemoryAndThreadsFlat)
{
    auto game = [&](int i) {
        MIDASmodule m = MIDASloadModule(MOD.c_str());
        MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
        if (i % 5 == 0) // every fifth: freed while playing
            MIDASfreeModule(m);
        MIDASstopModule(p);
        MIDASfreeModule(m);
        return m != NULL && p != 0;
    };
    auto run = [&](int i) {
        Start();
        bool ok = game(i) && game(i + 1) && MIDASplayModule(MIDASloadModule(MOD.c_str()), TRUE);
        Sleep(2);
        if (i % 2)
            MIDASstopBackgroundPlay();
        const DWORD t = GetTickCount();
        MIDASclose(); // odd runs in the game's order, even ones with a module playing
        return ok && GetTickCount() - t < 1000;
    };
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(run(i));
    PROCESS_MEMORY_COUNTERS pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    SIZE_T memory = pmc.PagefileUsage;
    const DWORD handles = Lowest(false);
    const DWORD threads = Lowest(true);
    for (int i = 0; i < 60; i++)
        ASSERT_TRUE(run(i)) << i;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    EXPECT_LE(Lowest(false), handles + 3); // one driver thread of Wine may linger
    EXPECT_LE(Lowest(true), threads + 1);
    EXPECT_LT(pmc.PagefileUsage, memory + 2 * 1024 * 1024);
}

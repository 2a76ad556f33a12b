// Tests of midas11.dll: its ordinals, calls out of order and with bad handles,
// bad module files, the search for a relative name and leak-free cycles.
// STAKKA_AUDIO says whether the run has a device: "pulse" or "none"; unset: either.
#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "midasdll.h"
#include "midasmix.h"

namespace
{

const size_t MOD_HEADER_BYTES = 1084; // title, 31 samples, orders, "M.K."
const DWORD PROMPT_MS = 1000;         // "returns promptly", as a hang guard

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
void Write(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}
std::string TempDir(const char* name)
{
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string dir = std::string(base) + name + "\\";
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}
HMODULE LinkedMidas()
{
    HMODULE h = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)(void*)MIDASstartup, &h);
    return h;
}

// Threads of this process that started inside midas11.dll.
int LibraryThreads()
{
    typedef LONG(WINAPI * QueryFn)(HANDLE, int, PVOID, ULONG, PULONG);
    QueryFn query =
        (QueryFn)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread");
    MODULEINFO mi;
    GetModuleInformation(GetCurrentProcess(), LinkedMidas(), &mi, sizeof mi);
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te;
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID);
        BYTE* start = NULL; // class 9: the thread's start address
        if (h && query(h, 9, &start, sizeof start, NULL) == 0)
            n += start >= (BYTE*)mi.lpBaseOfDll && start < (BYTE*)mi.lpBaseOfDll + mi.SizeOfImage;
        CloseHandle(h);
    }
    CloseHandle(snap);
    return n;
}

// The lowest handle count over a second: Wine's sound driver starts and ends
// helper threads on its own schedule.
DWORD LowestHandles()
{
    DWORD low = ~0u, n = 0;
    for (int i = 0; i < 20; i++, Sleep(50))
        low = GetProcessHandleCount(GetCurrentProcess(), &n) && n < low ? n : low;
    return low;
}

class Midas : public ::testing::Test
{
  protected:
    void SetUp() override { MIDASclose(); }
    void TearDown() override { MIDASclose(); }
    void Start()
    {
        ASSERT_TRUE(MIDASstartup());
        MIDASinit();
        MIDASstartBackgroundPlay(0);
    }
};

} // namespace

TEST_F(Midas, EachOrdinalIsTheFunctionOfItsNameAndNoNamesAreExported)
{
    const int ordinals[] = {3, 6, 7, 16, 18, 19, 20, 21, 22};
    // clang-format off
    const void* fns[] = {(void*)MIDASstartup, (void*)MIDASinit, (void*)MIDASclose,
        (void*)MIDASloadModule, (void*)MIDASplayModule, (void*)MIDASstopModule,
        (void*)MIDASfreeModule, (void*)MIDASstartBackgroundPlay, (void*)MIDASstopBackgroundPlay};
    const char* names[] = {"MIDASstartup", "MIDASinit", "MIDASclose", "MIDASloadModule",
        "MIDASplayModule", "MIDASstopModule", "MIDASfreeModule", "MIDASstartBackgroundPlay",
        "MIDASstopBackgroundPlay"};
    // clang-format on
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ((void*)GetProcAddress(LinkedMidas(), MAKEINTRESOURCEA(ordinals[i])), fns[i]);
        EXPECT_EQ(GetProcAddress(LinkedMidas(), names[i]), (FARPROC)NULL) << names[i];
    }
}

TEST_F(Midas, CallsOutOfOrderDoNothing)
{
    EXPECT_FALSE(MIDASinit());
    EXPECT_FALSE(MIDASstartBackgroundPlay(0));
    EXPECT_EQ(MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
    EXPECT_FALSE(MIDASstopBackgroundPlay());
    EXPECT_FALSE(MIDASclose());
    ASSERT_TRUE(MIDASstartup());
    EXPECT_FALSE(MIDASstartBackgroundPlay(0)); // before init
    EXPECT_EQ(MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
    BOOL device = MIDASinit();
    EXPECT_EQ(MIDASinit(), device); // a second init changes nothing
    MIDASmodule m = MIDASloadModule(MOD.c_str());
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE); // before background play
    ASSERT_NE(p, 0u);
    EXPECT_TRUE(MIDASstartup());
    EXPECT_EQ(MIDASstartBackgroundPlay(0), device);
    EXPECT_EQ(MIDASstartBackgroundPlay(0), device);
    EXPECT_EQ(MIDASstopBackgroundPlay(), device);
    EXPECT_FALSE(MIDASstopBackgroundPlay());
    EXPECT_EQ(MIDASstartBackgroundPlay(0), device);
    EXPECT_TRUE(MIDASclose()); // with a module playing and the thread running
    EXPECT_FALSE(MIDASclose());
    for (int run = 0; run < 2; run++, Start()) { // closed, then a new run: old handles refused
        EXPECT_FALSE(MIDASstopModule(p));
        EXPECT_FALSE(MIDASfreeModule(m));
        EXPECT_EQ(MIDASplayModule(m, TRUE), 0u);
        EXPECT_EQ(MIDASloadModule(MOD.c_str()) != NULL, run == 1);
    }
}

TEST_F(Midas, GarbageStaleAndRepeatedHandlesAreRefusedAndSlotsRunOut)
{
    Start();
    MIDASmodule m = MIDASloadModule(MOD.c_str());
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);
    for (UINT_PTR junk : {(UINT_PTR)0, (UINT_PTR)1, (UINT_PTR)9, (UINT_PTR)0x100, (UINT_PTR)-1,
                          (UINT_PTR)m + 0x100, (UINT_PTR)m ^ 1, (UINT_PTR)&m, (UINT_PTR)p}) {
        EXPECT_FALSE(MIDASfreeModule((MIDASmodule)junk)) << junk;
        EXPECT_EQ(MIDASplayModule((MIDASmodule)junk, TRUE), 0u) << junk;
    }
    const DWORD playJunk[] = {0, 1, 9, 0xFFFFFFFF, p + 0x100, p ^ 1, p ^ 0x80000000u};
    for (DWORD junk : playJunk)
        EXPECT_FALSE(MIDASstopModule(junk)) << junk;
    srand(1234);
    for (int i = 0; i < 300; i++) {
        DWORD r = ((DWORD)rand() << 17) ^ ((DWORD)rand() << 4) ^ (DWORD)rand();
        EXPECT_FALSE(r != p && MIDASstopModule(r));
        EXPECT_FALSE((MIDASmodule)(UINT_PTR)r != m && MIDASfreeModule((MIDASmodule)(UINT_PTR)r));
    }
    // Playing again restarts under a new handle; the old one is dead.
    MIDASmodulePlayHandle p2 = MIDASplayModule(m, FALSE);
    EXPECT_NE(p2, p);
    EXPECT_FALSE(MIDASstopModule(p));
    EXPECT_TRUE(MIDASstopModule(p2));
    EXPECT_FALSE(MIDASstopModule(p2));
    EXPECT_TRUE(MIDASfreeModule(m));
    EXPECT_FALSE(MIDASfreeModule(m));
    // Eight slots; a new module in a freed slot does not answer to the old handles.
    MIDASmodule held[8];
    for (MIDASmodule& h : held)
        EXPECT_NE(h = MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
    EXPECT_EQ(MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
    EXPECT_EQ(MIDASplayModule(m, TRUE), 0u);
    EXPECT_NE(MIDASplayModule(held[0], TRUE), 0u); // two at once: the mixer sums them
    EXPECT_NE(MIDASplayModule(held[7], TRUE), 0u);
    Sleep(100);
    DWORD t = GetTickCount();
    EXPECT_TRUE(MIDASfreeModule(held[0])); // while playing
    EXPECT_LT(GetTickCount() - t, PROMPT_MS);
    EXPECT_NE(MIDASloadModule(MOD.c_str()), (MIDASmodule)NULL);
}

TEST_F(Midas, BadFilesAreRefusedOrPlayWithoutHarm)
{
    Start();
    const std::string dir = TempDir("midas-bad"), mod = Bytes(MOD);
    ASSERT_GT(mod.size(), 4 * MOD_HEADER_BYTES);
    std::string noise(70000, ' ');
    srand(99);
    for (char& c : noise)
        c = (char)rand();
    for (const std::string& data :
         {std::string(), std::string("A text file, not a module.\r\n"), noise, mod.substr(0, 50),
          mod.substr(0, 951), mod.substr(0, MOD_HEADER_BYTES - 1),
          mod.substr(0, MOD_HEADER_BYTES)}) {
        Write(dir + "bad.mod", data);
        EXPECT_EQ(MIDASloadModule((dir + "bad.mod").c_str()), (MIDASmodule)NULL) << data.size();
    }
    EXPECT_EQ(MIDASloadModule(NULL), (MIDASmodule)NULL);
    for (const std::string& name : {std::string(""), dir + "nosuch.mod", dir,
                                    std::string("bad<>|name?.mod"), std::string(5000, 'x')})
        EXPECT_EQ(MIDASloadModule(name.c_str()), (MIDASmodule)NULL) << name.substr(0, 40);

    // Cut in the patterns or samples, or damaged at random: what loads plays,
    // mixes and frees. The mixer is also driven directly (without a device the
    // library mixes nothing).
    static short buf[2048 * MIX_CHANNELS];
    srand(4242);
    for (int round = 0; round < 40; round++) {
        std::string copy = round < 8 ? mod.substr(0, mod.size() * (round + 2) / 10) : mod;
        for (int i = round < 8 ? 0 : 1 + rand() % 30; i > 0; i--)
            copy[(size_t)rand() % (round % 2 ? 9 * MOD_HEADER_BYTES : copy.size())] = (char)rand();
        Write(dir + "damaged.mod", copy);
        MIDASmodule m = MIDASloadModule((dir + "damaged.mod").c_str());
        if (m) {
            MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
            Sleep(5);
            EXPECT_TRUE(MIDASstopModule(p) && MIDASfreeModule(m)) << round;
        }
        xmp_context ctx = MixLoad((const BYTE*)copy.data(), (DWORD)copy.size());
        EXPECT_EQ(ctx != NULL, m != NULL) << round;
        for (int i = 0; ctx && i < 40; i++)
            MixRender(ctx, buf, 2048, i % 2);
        MixUnload(ctx);
    }
}

TEST(MidasSearch, RelativeNameTriesCurrentFolderThenBesideTheLibrary)
{
    // A second copy of the library in a folder of its own.
    const std::string lib = TempDir("midas-lib"), cwd = TempDir("midas-cwd");
    const std::string mod = Bytes(MOD), junk = "not a module";
    ASSERT_TRUE(
        CopyFileA((ExeDir() + "midas11.dll").c_str(), (lib + "midas11.dll").c_str(), FALSE));
    const struct {
        const char* name;
        std::string here, beside;
        bool loads;
    } table[] = {{"only-beside.mod", "", mod, true},
                 {"only-here.mod", mod, "", true},
                 {"here-good.mod", mod, junk, true}, // the current folder wins
                 {"here-bad.mod", junk, mod, false}};
    for (const auto& row : table) {
        DeleteFileA((cwd + row.name).c_str());
        DeleteFileA((lib + row.name).c_str());
        if (!row.here.empty())
            Write(cwd + row.name, row.here);
        if (!row.beside.empty())
            Write(lib + row.name, row.beside);
    }
    HMODULE dll = LoadLibraryA((lib + "midas11.dll").c_str());
    ASSERT_TRUE(dll != NULL && dll != LinkedMidas());
    typedef BOOL(MIDAS_CALL * VoidFn)(void);
    typedef MIDASmodule(MIDAS_CALL * LoadFn)(const char*);
    auto fn = [dll](int ordinal) { return (void*)GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)); };
    auto call = [&](int ordinal) { return ((VoidFn)fn(ordinal))(); };
    LoadFn load = (LoadFn)fn(MIDAS_ORD_LOADMODULE);
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
    call(MIDAS_ORD_STARTUP);
    call(MIDAS_ORD_INIT);
    for (const auto& row : table)
        EXPECT_EQ(load(row.name) != NULL, row.loads) << row.name;
    EXPECT_NE(load(".\\only-beside.mod"), (MIDASmodule)NULL); // relative too
    EXPECT_EQ(load((cwd + "only-beside.mod").c_str()), (MIDASmodule)NULL);
    EXPECT_TRUE(call(MIDAS_ORD_CLOSE));
    SetCurrentDirectoryA(ExeDir().c_str());
    EXPECT_TRUE(FreeLibrary(dll));
}

TEST_F(Midas, CyclesLeaveHandlesMemoryAndThreadsFlat)
{
    auto game = [&](int i) {
        MIDASmodule m = MIDASloadModule(MOD.c_str());
        MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
        if (i % 3 == 0)
            Sleep(1);
        if (i % 5 == 0)
            MIDASfreeModule(m); // free while playing, then the late stop
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
        MIDASclose(); // odd runs in the game's order, even ones with a module playing
        return ok && LibraryThreads() == 0;
    };
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(run(i));
    PROCESS_MEMORY_COUNTERS pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    SIZE_T memory = pmc.PagefileUsage;
    DWORD handles = LowestHandles();
    for (int i = 0; i < 30; i++)
        ASSERT_TRUE(run(i)) << i;
    Start();
    for (int i = 0; i < 300; i++)
        ASSERT_TRUE(game(i)) << i;
    MIDASclose();
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    EXPECT_LE(LowestHandles(), handles + 3); // one driver thread of Wine may linger
    EXPECT_LT(pmc.PagefileUsage, memory + 2 * 1024 * 1024);
}

TEST_F(Midas, DeviceOrSilenceAsTheRunExpectsAndStopsArePrompt)
{
    const char* mode = std::getenv("STAKKA_AUDIO");
    ASSERT_TRUE(MIDASstartup());
    BOOL device = MIDASinit();
    EXPECT_TRUE(!mode || device == (std::string(mode) == "pulse"));
    EXPECT_EQ(MIDASstartBackgroundPlay(0), device);
    EXPECT_EQ(LibraryThreads(), device ? 1 : 0); // the mixing thread, only with a device
    MIDASmodule m = MIDASloadModule(MOD.c_str());
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u); // silent or not, playbacks are issued
    Sleep(300);
    DWORD t = GetTickCount();
    EXPECT_TRUE(MIDASstopModule(p) && MIDASfreeModule(m));
    EXPECT_EQ(MIDASstopBackgroundPlay(), device);
    EXPECT_EQ(LibraryThreads(), 0);
    EXPECT_TRUE(MIDASclose());
    EXPECT_LT(GetTickCount() - t, PROMPT_MS);
}

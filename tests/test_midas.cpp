// Tests of midas11.dll: its export and import tables, every call in every
// state with every kind of bad handle and bad file, leak-free cycles, the
// search for a relative module name, and the engine on our own module.
//
// The library runs with or without an audio device. STAKKA_AUDIO says which
// the run must have: "pulse" (the recording harness started a sound server)
// or "none" (the harness pointed Wine at no server). Unset: either is fine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "midasdll.h"
#include "midasmix.h"
#include "proc_count.h"

namespace {

const int NINE_ORDINALS[] = {3, 6, 7, 16, 18, 19, 20, 21, 22};
const int MAX_MODULES = 8;          // modules the library holds at once
const char MUSIC_FILE[] = "beyond.mod";
const size_t MOD_HEADER_BYTES = 1084;   // title, 31 samples, orders, "M.K."
const size_t MOD_PATTERN_BYTES = 1024;  // 64 rows x 4 channels x 4 bytes
const DWORD PROMPT_MS = 1000;           // "returns promptly", as a hang guard only
const DWORD SETTLE_MS = 5000;           // Wine's driver threads end this soon after a close
const DWORD SAMPLE_WINDOW_MS = 1000;
// Without a device, each failed open leaves Wine's sound driver a helper
// thread that ends on its own schedule: one such thread, its handles and its
// 1 MB stack may be alive at the end and not at the start. A leak of ours
// would grow with the dozens or hundreds of cycles, far past this; the
// library's own thread is checked exactly, after every close.
const DWORD WINE_DRIVER_THREADS = 1;
const DWORD WINE_DRIVER_HANDLES = 3;
const long long MEMORY_SLACK = 2 * 1024 * 1024;

std::string MusicPath()
{
    return ExeDir() + MUSIC_FILE;
}

std::vector<unsigned char> MusicBytes()
{
    std::vector<unsigned char> bytes;
    ReadBytes(MusicPath(), bytes);
    return bytes;
}

std::string AudioMode()
{
    const char* v = std::getenv("STAKKA_AUDIO");
    return v ? v : "";
}

// The instance this program was linked against (a test loads a second copy).
HMODULE LinkedMidas()
{
    HMODULE h = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)(void*)MIDASstartup, &h);
    return h;
}

DWORD ElapsedMs(LARGE_INTEGER from)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return (DWORD)((now.QuadPart - from.QuadPart) * 1000 / freq.QuadPart);
}

void ExpectFlat(const PROCCOUNTS& before, const PROCCOUNTS& after, const char* what)
{
    long long grown = (long long)after.memory - (long long)before.memory;
    printf("%s: handles %lu -> %lu, threads %lu -> %lu, memory %+lld bytes\n", what, before.handles,
           after.handles, before.threads, after.threads, grown);
    EXPECT_LE(after.handles, before.handles + WINE_DRIVER_HANDLES) << what;
    EXPECT_LE(after.threads, before.threads + WINE_DRIVER_THREADS) << what;
    EXPECT_LT(grown, MEMORY_SLACK) << what;
}

class Midas : public ::testing::Test {
protected:
    void SetUp() override
    {
        MIDASclose();   // whatever an earlier test left behind
    }
    void TearDown() override
    {
        MIDASstopBackgroundPlay();
        MIDASclose();
        SetCurrentDirectoryA(ExeDir().c_str());
    }
    // The sequence of the game's music start-up.
    void Start()
    {
        ASSERT_TRUE(MIDASstartup());
        MIDASinit();
        MIDASstartBackgroundPlay(0);
    }
};

// ---- linking by ordinal ------------------------------------------------------

TEST_F(Midas, LinkedByTheNineOrdinalsOnlyEachTheFunctionOfItsName)
{
    HMODULE dll = LinkedMidas();
    ASSERT_NE(dll, (HMODULE)NULL);
    const std::vector<int> nine(std::begin(NINE_ORDINALS), std::end(NINE_ORDINALS));
    DWORD names = 99;
    EXPECT_EQ(ExportOrdinals(dll, &names), nine);
    EXPECT_EQ(names, 0u);
    EXPECT_EQ(GetProcAddress(dll, "MIDASstartup"), (FARPROC)NULL);
    EXPECT_EQ(ImportOrdinals(GetModuleHandleA(NULL), "midas11.dll"), nine);
    const void* fns[] = {(void*)MIDASstartup, (void*)MIDASinit, (void*)MIDASclose,
                         (void*)MIDASloadModule, (void*)MIDASplayModule, (void*)MIDASstopModule,
                         (void*)MIDASfreeModule, (void*)MIDASstartBackgroundPlay,
                         (void*)MIDASstopBackgroundPlay};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ((void*)GetProcAddress(dll, MAKEINTRESOURCEA(NINE_ORDINALS[i])), fns[i])
            << "ordinal " << NINE_ORDINALS[i];
}

// ---- every call in every state -----------------------------------------------

TEST_F(Midas, CallsBeforeStartupDoNothing)
{
    EXPECT_FALSE(MIDASinit());
    EXPECT_FALSE(MIDASstartBackgroundPlay(0));
    EXPECT_EQ(MIDASloadModule(MusicPath().c_str()), (MIDASmodule)NULL);
    EXPECT_EQ(MIDASplayModule((MIDASmodule)(UINT_PTR)0x101, TRUE), 0u);
    EXPECT_FALSE(MIDASstopModule(0x101));
    EXPECT_FALSE(MIDASfreeModule((MIDASmodule)(UINT_PTR)0x101));
    EXPECT_FALSE(MIDASstopBackgroundPlay());
    EXPECT_FALSE(MIDASclose());
}

TEST_F(Midas, LoadNeedsInitAndStartupComesFirst)
{
    ASSERT_TRUE(MIDASstartup());
    EXPECT_EQ(MIDASloadModule(MusicPath().c_str()), (MIDASmodule)NULL);
    MIDASinit();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    EXPECT_NE(m, (MIDASmodule)NULL);
    // A second start-up or init changes nothing: the module stays loaded.
    EXPECT_TRUE(MIDASstartup());
    MIDASinit();
    EXPECT_NE(MIDASplayModule(m, TRUE), 0u);
    EXPECT_TRUE(MIDASfreeModule(m));
}

TEST_F(Midas, CallsAfterCloseDoNothingAndOldHandlesStayDead)
{
    Start();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m, (MIDASmodule)NULL);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);
    EXPECT_TRUE(MIDASclose());

    EXPECT_FALSE(MIDASclose());
    EXPECT_FALSE(MIDASstopModule(p));
    EXPECT_FALSE(MIDASfreeModule(m));
    EXPECT_EQ(MIDASplayModule(m, TRUE), 0u);
    EXPECT_EQ(MIDASloadModule(MusicPath().c_str()), (MIDASmodule)NULL);
    EXPECT_FALSE(MIDASstopBackgroundPlay());

    // Started again, the handles of the earlier run are still refused.
    Start();
    EXPECT_FALSE(MIDASstopModule(p));
    EXPECT_FALSE(MIDASfreeModule(m));
    EXPECT_EQ(MIDASplayModule(m, TRUE), 0u);
}

TEST_F(Midas, GarbageHandlesAreRefused)
{
    Start();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m, (MIDASmodule)NULL);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);

    const UINT_PTR moduleJunk[] = {0, 1, 9, 0x100, (UINT_PTR)-1, (UINT_PTR)m + 0x100,
                                   (UINT_PTR)m ^ 1, (UINT_PTR)&m, (UINT_PTR)p};
    for (UINT_PTR junk : moduleJunk) {
        if ((MIDASmodule)junk == m)
            continue;
        EXPECT_FALSE(MIDASfreeModule((MIDASmodule)junk)) << std::hex << junk;
        EXPECT_EQ(MIDASplayModule((MIDASmodule)junk, TRUE), 0u) << std::hex << junk;
    }
    const DWORD playJunk[] = {0, 1, 0xFFFFFFFF, p + 0x100, p ^ 1, p ^ 0x80000000u,
                              (DWORD)(UINT_PTR)m};
    for (DWORD junk : playJunk) {
        if (junk != p) {
            EXPECT_FALSE(MIDASstopModule(junk)) << std::hex << junk;
        }
    }
    srand(1234);
    for (int i = 0; i < 500; i++) {
        DWORD r = ((DWORD)rand() << 17) ^ ((DWORD)rand() << 4) ^ (DWORD)rand();
        if (r != p) {
            EXPECT_FALSE(MIDASstopModule(r));
        }
        if ((MIDASmodule)(UINT_PTR)r != m) {
            EXPECT_FALSE(MIDASfreeModule((MIDASmodule)(UINT_PTR)r));
        }
    }
    // The real ones still work after all that.
    EXPECT_TRUE(MIDASstopModule(p));
    EXPECT_TRUE(MIDASfreeModule(m));
}

TEST_F(Midas, StaleAndRepeatedHandlesAreRefused)
{
    Start();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m, (MIDASmodule)NULL);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);
    EXPECT_TRUE(MIDASstopModule(p));
    EXPECT_FALSE(MIDASstopModule(p));
    EXPECT_TRUE(MIDASfreeModule(m));
    EXPECT_FALSE(MIDASfreeModule(m));
    EXPECT_EQ(MIDASplayModule(m, TRUE), 0u);

    // A new module in the same slot does not answer to the old handles.
    MIDASmodule m2 = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m2, (MIDASmodule)NULL);
    EXPECT_NE(m2, m);
    MIDASmodulePlayHandle p2 = MIDASplayModule(m2, TRUE);
    EXPECT_NE(p2, p);
    EXPECT_FALSE(MIDASstopModule(p));
    EXPECT_FALSE(MIDASfreeModule(m));
    EXPECT_TRUE(MIDASstopModule(p2));
    EXPECT_TRUE(MIDASfreeModule(m2));
}

TEST_F(Midas, StopBeforePlayFreeWhilePlayingAndPlayAgain)
{
    Start();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m, (MIDASmodule)NULL);
    EXPECT_FALSE(MIDASstopModule(0));                 // nothing plays yet

    MIDASmodulePlayHandle p1 = MIDASplayModule(m, TRUE);
    MIDASmodulePlayHandle p2 = MIDASplayModule(m, FALSE);   // restarts it
    ASSERT_NE(p1, 0u);
    ASSERT_NE(p2, 0u);
    EXPECT_NE(p1, p2);
    EXPECT_FALSE(MIDASstopModule(p1));
    Sleep(100);                                       // let the mixer run on it

    LARGE_INTEGER t0;
    QueryPerformanceCounter(&t0);
    EXPECT_TRUE(MIDASfreeModule(m));                  // still playing
    EXPECT_LT(ElapsedMs(t0), PROMPT_MS);
    EXPECT_FALSE(MIDASstopModule(p2));
    EXPECT_FALSE(MIDASfreeModule(m));
}

TEST_F(Midas, BackgroundPlayInAnyOrder)
{
    EXPECT_FALSE(MIDASstopBackgroundPlay());
    ASSERT_TRUE(MIDASstartup());
    EXPECT_FALSE(MIDASstartBackgroundPlay(0));        // before init
    MIDASinit();
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);   // before background play
    EXPECT_NE(p, 0u);
    BOOL started = MIDASstartBackgroundPlay(0);
    EXPECT_EQ(MIDASstartBackgroundPlay(0), started);  // a second start is harmless
    EXPECT_EQ(MIDASstopBackgroundPlay(), started);
    EXPECT_FALSE(MIDASstopBackgroundPlay());
    EXPECT_EQ(MIDASstartBackgroundPlay(0), started);  // and it can start again
    EXPECT_TRUE(MIDASstopModule(p));
    EXPECT_TRUE(MIDASfreeModule(m));
    EXPECT_TRUE(MIDASclose());                        // closes with background play on
}

TEST_F(Midas, SlotsRunOutAndComeBack)
{
    Start();
    std::vector<MIDASmodule> held;
    for (int i = 0; i < MAX_MODULES; i++) {
        MIDASmodule m = MIDASloadModule(MusicPath().c_str());
        ASSERT_NE(m, (MIDASmodule)NULL) << i;
        held.push_back(m);
    }
    EXPECT_EQ(MIDASloadModule(MusicPath().c_str()), (MIDASmodule)NULL);
    // Several modules may play at once; the mixer sums them.
    EXPECT_NE(MIDASplayModule(held[0], TRUE), 0u);
    EXPECT_NE(MIDASplayModule(held[1], TRUE), 0u);
    Sleep(50);
    EXPECT_TRUE(MIDASfreeModule(held[3]));
    MIDASmodule again = MIDASloadModule(MusicPath().c_str());
    EXPECT_NE(again, (MIDASmodule)NULL);
    EXPECT_TRUE(MIDASclose());                        // frees all eight
}

// ---- bad files ---------------------------------------------------------------

class MidasFiles : public Midas {
protected:
    std::string dir;
    void SetUp() override
    {
        Midas::SetUp();
        dir = MakeTempDir("midasfiles");
        ASSERT_FALSE(dir.empty());
        Start();
    }
    void TearDown() override
    {
        Midas::TearDown();
        RemoveTempDir(dir);
    }
    // Loads a file; if it loads, it must also play, stop and free.
    MIDASmodule LoadAndCycle(const std::string& path)
    {
        MIDASmodule m = MIDASloadModule(path.c_str());
        if (m) {
            MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
            EXPECT_NE(p, 0u) << path;
            Sleep(5);
            EXPECT_TRUE(MIDASstopModule(p)) << path;
            EXPECT_TRUE(MIDASfreeModule(m)) << path;
        }
        return m;
    }
};

TEST_F(MidasFiles, MissingEmptyAndNonModuleFilesAreRefused)
{
    EXPECT_EQ(MIDASloadModule(NULL), (MIDASmodule)NULL);
    const std::string longName(5000, 'x');
    for (const std::string& name : {std::string(""), dir + "nosuch.mod",
                                    std::string("nosuch-anywhere.mod"), dir /* a folder */,
                                    std::string("bad<>|name?.mod"), longName})
        EXPECT_EQ(MIDASloadModule(name.c_str()), (MIDASmodule)NULL) << name.substr(0, 60);

    std::vector<unsigned char> noise(70000);
    srand(99);
    for (auto& b : noise)
        b = (unsigned char)rand();
    const char text[] = "This is a text file, not a module.\r\n";
    struct {
        const char* name;
        const void* data;
        size_t size;
    } files[] = {{"empty.mod", "", 0}, {"text.mod", text, sizeof text - 1},
                 {"noise.mod", noise.data(), noise.size()}};
    for (auto& f : files) {
        ASSERT_TRUE(WriteBytes(dir + f.name, f.data, f.size));
        EXPECT_EQ(MIDASloadModule((dir + f.name).c_str()), (MIDASmodule)NULL) << f.name;
    }
}

TEST_F(MidasFiles, TruncatedModulesAreRefusedOrPlaySafely)
{
    std::vector<unsigned char> mod = MusicBytes();
    ASSERT_GT(mod.size(), MOD_HEADER_BYTES + MOD_PATTERN_BYTES);
    // Inside the header, at its fields' edges, in the patterns, in the samples.
    std::vector<size_t> cuts = {1, 50, 950, 951, 1083, 1084, 1085, 2000};
    for (size_t c = MOD_HEADER_BYTES + MOD_PATTERN_BYTES; c < mod.size(); c += mod.size() / 7)
        cuts.push_back(c);
    cuts.push_back(mod.size() - 1);
    int refused = 0;
    for (size_t cut : cuts) {
        std::string path = dir + "cut.mod";
        ASSERT_TRUE(WriteBytes(path, mod.data(), cut));
        MIDASmodule m = LoadAndCycle(path);
        if (cut <= MOD_HEADER_BYTES) {
            EXPECT_EQ(m, (MIDASmodule)NULL) << "cut at " << cut;
        }
        refused += m == NULL;
    }
    EXPECT_GE(refused, 6);
}

TEST_F(MidasFiles, DamagedModulesLoadOrAreRefusedWithoutHarm)
{
    // Random damage to the header, the pattern data and the samples; some
    // copies still load, and those must also play and free.
    std::vector<unsigned char> mod = MusicBytes();
    ASSERT_FALSE(mod.empty());
    srand(4242);
    std::string path = dir + "damaged.mod";
    for (int round = 0; round < 60; round++) {
        std::vector<unsigned char> copy = mod;
        int hits = 1 + rand() % 40;
        for (int i = 0; i < hits; i++) {
            size_t at = (size_t)rand() % (round % 2 ? MOD_HEADER_BYTES + 8 * MOD_PATTERN_BYTES
                                                    : copy.size());
            copy[at] = (unsigned char)rand();
        }
        ASSERT_TRUE(WriteBytes(path, copy.data(), copy.size()));
        LoadAndCycle(path);
    }
}

TEST(MidasEngine, DamagedModulesMixWithoutHarm)
{
    // The mixer itself, driven directly: with no audio device the library
    // never mixes, so damaged modules are played here buffer by buffer.
    std::vector<unsigned char> mod = MusicBytes();
    ASSERT_FALSE(mod.empty());
    srand(777);
    static short buf[2048 * MIX_CHANNELS];
    int loaded = 0;
    for (int round = 0; round < 40; round++) {
        std::vector<unsigned char> copy = mod;
        for (int i = 0; i < 1 + rand() % 30; i++)
            copy[(size_t)rand() % (MOD_HEADER_BYTES + 8 * MOD_PATTERN_BYTES)] = (unsigned char)rand();
        xmp_context ctx = MixLoad(copy.data(), (DWORD)copy.size());
        if (!ctx)
            continue;
        loaded++;
        ASSERT_TRUE(MixStart(ctx));
        for (int i = 0; i < 40; i++)
            MixRender(ctx, buf, 2048, i % 2);
        MixUnload(ctx);
    }
    EXPECT_GT(loaded, 0);
}

// ---- finding the module -------------------------------------------------------

typedef BOOL(MIDAS_CALL* VoidFn)(void);
typedef MIDASmodule(MIDAS_CALL* LoadFn)(const char*);

TEST(MidasSearch, RelativeNameTriesCurrentFolderThenBesideTheLibrary)
{
    // A private copy of the library in a folder of its own, so "beside the
    // library" is a folder this test controls.
    std::string libDir = MakeTempDir("midaslib");
    std::string cwd = MakeTempDir("midascwd");
    ASSERT_FALSE(libDir.empty());
    ASSERT_FALSE(cwd.empty());
    ASSERT_TRUE(CopyFileA((ExeDir() + "midas11.dll").c_str(), (libDir + "midas11.dll").c_str(), FALSE));
    std::vector<unsigned char> mod = MusicBytes();
    const char junk[] = "not a module";
    ASSERT_TRUE(WriteBytes(libDir + "only-beside.mod", mod.data(), mod.size()));
    ASSERT_TRUE(WriteBytes(cwd + "only-here.mod", mod.data(), mod.size()));
    ASSERT_TRUE(WriteBytes(cwd + "here-good.mod", mod.data(), mod.size()));
    ASSERT_TRUE(WriteBytes(libDir + "here-good.mod", junk, sizeof junk));
    ASSERT_TRUE(WriteBytes(cwd + "here-bad.mod", junk, sizeof junk));
    ASSERT_TRUE(WriteBytes(libDir + "here-bad.mod", mod.data(), mod.size()));

    HMODULE dll = LoadLibraryA((libDir + "midas11.dll").c_str());
    ASSERT_NE(dll, (HMODULE)NULL);
    ASSERT_NE(dll, LinkedMidas());
    auto fn = [dll](int ordinal) { return (void*)GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)); };
    VoidFn startup = (VoidFn)fn(MIDAS_ORD_STARTUP);
    VoidFn init = (VoidFn)fn(MIDAS_ORD_INIT);
    VoidFn closeLib = (VoidFn)fn(MIDAS_ORD_CLOSE);
    LoadFn load = (LoadFn)fn(MIDAS_ORD_LOADMODULE);
    ASSERT_TRUE(startup && init && closeLib && load);

    char oldDir[MAX_PATH];
    GetCurrentDirectoryA(sizeof oldDir, oldDir);
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
    startup();
    init();
    // Same name in both places: the current folder's copy wins; ".\\" is relative
    // too, so it is found beside; an absolute name has no second place.
    EXPECT_NE(load("only-beside.mod"), (MIDASmodule)NULL);
    EXPECT_NE(load("only-here.mod"), (MIDASmodule)NULL);
    EXPECT_NE(load("here-good.mod"), (MIDASmodule)NULL);
    EXPECT_EQ(load("here-bad.mod"), (MIDASmodule)NULL);
    EXPECT_NE(load(".\\only-beside.mod"), (MIDASmodule)NULL);
    EXPECT_EQ(load((cwd + "only-beside.mod").c_str()), (MIDASmodule)NULL);
    EXPECT_TRUE(closeLib());
    SetCurrentDirectoryA(oldDir);
    EXPECT_TRUE(FreeLibrary(dll));
    RemoveTempDir(libDir);
    RemoveTempDir(cwd);
}

// ---- no leaks ------------------------------------------------------------------

TEST_F(Midas, HundredsOfModuleCyclesLeaveCountsFlat)
{
    Start();
    const std::string path = MusicPath();
    auto cycle = [&](int i) {
        MIDASmodule m = MIDASloadModule(path.c_str());
        MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
        if (i % 3 == 0)
            Sleep(1);            // now and then let the mixer run on it
        if (i % 5 == 0) {
            MIDASfreeModule(m);  // free while playing, then the late stop
            MIDASstopModule(p);
        } else {
            MIDASstopModule(p);
            MIDASfreeModule(m);
        }
        return m != NULL && p != 0;
    };
    for (int i = 0; i < 20; i++)
        ASSERT_TRUE(cycle(i));
    PROCCOUNTS before = LowestCounts(SAMPLE_WINDOW_MS);
    for (int i = 0; i < 400; i++)
        ASSERT_TRUE(cycle(i)) << i;
    PROCCOUNTS after = SettledCounts(before, SETTLE_MS);
    ExpectFlat(before, after, "400 load/play/stop/free cycles");
}

TEST_F(Midas, DozensOfStartupCloseCyclesLeaveCountsFlat)
{
    const std::string path = MusicPath();
    auto run = [&](int i) {
        MIDASstartup();
        MIDASinit();
        MIDASstartBackgroundPlay(0);
        MIDASmodule m = MIDASloadModule(path.c_str());
        MIDASplayModule(m, TRUE);
        Sleep(2);
        if (i % 2) {             // the game's own order
            MIDASstopBackgroundPlay();
            MIDASclose();
        } else {                 // closed with a module still playing
            MIDASclose();
        }
        // The library's own thread is gone the moment close returns.
        return m != NULL && ModuleThreadCount(LinkedMidas()) == 0;
    };
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(run(i));
    PROCCOUNTS before = LowestCounts(SAMPLE_WINDOW_MS);
    for (int i = 0; i < 40; i++)
        ASSERT_TRUE(run(i)) << i;
    PROCCOUNTS after = SettledCounts(before, SETTLE_MS);
    ExpectFlat(before, after, "40 start-up/close runs");
}

// ---- with and without a device ---------------------------------------------------

TEST_F(Midas, DeviceOrSilenceAsTheRunExpects)
{
    std::string mode = AudioMode();
    ASSERT_TRUE(MIDASstartup());
    BOOL device = MIDASinit();
    // Wine's sound driver starts and ends threads of its own as the device
    // opens, plays and closes; the library's threads are told apart by
    // where they start.
    HMODULE dll = LinkedMidas();
    EXPECT_EQ(ModuleThreadCount(dll), 0);
    BOOL background = MIDASstartBackgroundPlay(0);
    if (mode == "pulse") {
        EXPECT_TRUE(device);
    } else if (mode == "none") {
        EXPECT_FALSE(device);
    }
    EXPECT_EQ(background, device);
    // The mixing thread is the library's one thread, and only with a device.
    EXPECT_EQ(ModuleThreadCount(dll), device ? 1 : 0);

    // Silent or not, modules load and playbacks are issued.
    MIDASmodule m = MIDASloadModule(MusicPath().c_str());
    ASSERT_NE(m, (MIDASmodule)NULL);
    MIDASmodulePlayHandle p = MIDASplayModule(m, TRUE);
    ASSERT_NE(p, 0u);
    Sleep(300);

    LARGE_INTEGER t0;
    QueryPerformanceCounter(&t0);
    EXPECT_TRUE(MIDASstopModule(p));
    EXPECT_LT(ElapsedMs(t0), PROMPT_MS);
    EXPECT_TRUE(MIDASfreeModule(m));
    QueryPerformanceCounter(&t0);
    EXPECT_EQ(MIDASstopBackgroundPlay(), device);
    EXPECT_EQ(ModuleThreadCount(dll), 0);
    EXPECT_TRUE(MIDASclose());
    EXPECT_LT(ElapsedMs(t0), PROMPT_MS);
}

// ---- our module through the engine ------------------------------------------------

TEST(BeyondMod, IsAFourChannelProTrackerModuleOfAMinuteOrMore)
{
    std::vector<unsigned char> mod = MusicBytes();
    ASSERT_GT(mod.size(), MOD_HEADER_BYTES);
    EXPECT_EQ(std::string((const char*)&mod[1080], 4), "M.K.");
    EXPECT_EQ(mod[951], 0x7F);                       // restart byte of ProTracker
    int songLength = mod[950];
    EXPECT_GE(songLength, 1);
    EXPECT_LE(songLength, 128);

    xmp_context ctx = MixLoad(mod.data(), (DWORD)mod.size());
    ASSERT_NE(ctx, (xmp_context)NULL);
    int ms = 0, channels = 0;
    MixInfo(ctx, &ms, &channels);
    EXPECT_EQ(channels, 4);
    EXPECT_GE(ms, 60000);
    EXPECT_LE(ms, 10 * 60000);
    MixUnload(ctx);
}

TEST(BeyondMod, SoundsEvenlyWithoutClippingFromStartToEnd)
{
    // Calm enough for an hour: every second of the song carries sound, none
    // clips, and no second is more than 12 dB louder than the quietest
    // sounding one (no sudden loud passages).
    std::vector<unsigned char> mod = MusicBytes();
    xmp_context ctx = MixLoad(mod.data(), (DWORD)mod.size());
    ASSERT_NE(ctx, (xmp_context)NULL);
    ASSERT_TRUE(MixStart(ctx));
    int ms = 0, channels = 0;
    MixInfo(ctx, &ms, &channels);
    std::vector<short> second(MIX_RATE * MIX_CHANNELS);
    double quietest = 1e9, loudest = 0;
    int peak = 0, seconds = 0;
    while (MixRender(ctx, second.data(), MIX_RATE, 0)) {
        if (++seconds > ms / 1000)
            break;                                  // the partial last second
        double sum = 0;
        for (short s : second) {
            sum += (double)s * s;
            peak = std::max(peak, std::abs((int)s));
        }
        double rms = std::sqrt(sum / second.size());
        quietest = std::min(quietest, rms);
        loudest = std::max(loudest, rms);
    }
    MixUnload(ctx);
    printf("beyond.mod: %d s, rms %.0f..%.0f, peak %d\n", seconds, quietest, loudest, peak);
    EXPECT_GE(seconds, 60);
    EXPECT_GT(quietest, 300.0);
    EXPECT_LT(peak, 32000);
    EXPECT_LT(loudest / quietest, 4.0);
}

} // namespace

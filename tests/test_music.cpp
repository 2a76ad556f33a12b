// Tests of the shell's four music operations against the real midas11.dll.
//
// The calls are watched where the program makes them: this program's import
// address table entries for midas11.dll (ordinals, as the game links them)
// are pointed at recorders that log each call with its arguments and then
// call the library. So the tests see the exact sequence of the game's calls
// and the library still does the work.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "midasdll.h"
#include "music.h"
#include "options.h"
#include "proc_count.h"

namespace {

struct CALL {
    int ordinal;
    UINT_PTR arg1;      // the first argument, as a number (pointer, handle, DWORD)
    UINT_PTR arg2;
    UINT_PTR result;
};

std::vector<CALL> calls;

// The library's own entry points, saved when the recorders take their place.
struct {
    BOOL(MIDAS_CALL* startup)(void);
    BOOL(MIDAS_CALL* init)(void);
    BOOL(MIDAS_CALL* closeLib)(void);
    MIDASmodule(MIDAS_CALL* load)(const char*);
    MIDASmodulePlayHandle(MIDAS_CALL* play)(MIDASmodule, BOOL);
    BOOL(MIDAS_CALL* stop)(MIDASmodulePlayHandle);
    BOOL(MIDAS_CALL* freeMod)(MIDASmodule);
    BOOL(MIDAS_CALL* startBg)(DWORD);
    BOOL(MIDAS_CALL* stopBg)(void);
} real;

void Log(int ordinal, UINT_PTR a1, UINT_PTR a2, UINT_PTR r)
{
    calls.push_back(CALL{ordinal, a1, a2, r});
}

BOOL MIDAS_CALL RecStartup(void)
{
    BOOL r = real.startup();
    Log(MIDAS_ORD_STARTUP, 0, 0, r);
    return r;
}
BOOL MIDAS_CALL RecInit(void)
{
    BOOL r = real.init();
    Log(MIDAS_ORD_INIT, 0, 0, r);
    return r;
}
BOOL MIDAS_CALL RecClose(void)
{
    BOOL r = real.closeLib();
    Log(MIDAS_ORD_CLOSE, 0, 0, r);
    return r;
}
MIDASmodule MIDAS_CALL RecLoad(const char* name)
{
    MIDASmodule r = real.load(name);
    Log(MIDAS_ORD_LOADMODULE, (UINT_PTR)name, 0, (UINT_PTR)r);
    return r;
}
MIDASmodulePlayHandle MIDAS_CALL RecPlay(MIDASmodule m, BOOL loop)
{
    MIDASmodulePlayHandle r = real.play(m, loop);
    Log(MIDAS_ORD_PLAYMODULE, (UINT_PTR)m, (UINT_PTR)loop, r);
    return r;
}
BOOL MIDAS_CALL RecStop(MIDASmodulePlayHandle p)
{
    BOOL r = real.stop(p);
    Log(MIDAS_ORD_STOPMODULE, p, 0, r);
    return r;
}
BOOL MIDAS_CALL RecFree(MIDASmodule m)
{
    BOOL r = real.freeMod(m);
    Log(MIDAS_ORD_FREEMODULE, (UINT_PTR)m, 0, r);
    return r;
}
BOOL MIDAS_CALL RecStartBg(DWORD rate)
{
    BOOL r = real.startBg(rate);
    Log(MIDAS_ORD_STARTBACKGROUNDPLAY, rate, 0, r);
    return r;
}
BOOL MIDAS_CALL RecStopBg(void)
{
    BOOL r = real.stopBg();
    Log(MIDAS_ORD_STOPBACKGROUNDPLAY, 0, 0, r);
    return r;
}

// Puts the recorders into this program's import address table. Returns how
// many of the nine entries were found by ordinal.
int InstallRecorders()
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int found = 0;
    for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((const char*)(base + d->Name), "midas11.dll") != 0)
            continue;
        IMAGE_THUNK_DATA* lookup = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* address = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; lookup->u1.Ordinal; lookup++, address++) {
            if (!IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal))
                continue;
            void** slot = (void**)&address->u1.Function;
            void* now = *slot;
            void* rec = NULL;
            switch (IMAGE_ORDINAL(lookup->u1.Ordinal)) {
            case MIDAS_ORD_STARTUP: real.startup = (decltype(real.startup))now; rec = (void*)RecStartup; break;
            case MIDAS_ORD_INIT: real.init = (decltype(real.init))now; rec = (void*)RecInit; break;
            case MIDAS_ORD_CLOSE: real.closeLib = (decltype(real.closeLib))now; rec = (void*)RecClose; break;
            case MIDAS_ORD_LOADMODULE: real.load = (decltype(real.load))now; rec = (void*)RecLoad; break;
            case MIDAS_ORD_PLAYMODULE: real.play = (decltype(real.play))now; rec = (void*)RecPlay; break;
            case MIDAS_ORD_STOPMODULE: real.stop = (decltype(real.stop))now; rec = (void*)RecStop; break;
            case MIDAS_ORD_FREEMODULE: real.freeMod = (decltype(real.freeMod))now; rec = (void*)RecFree; break;
            case MIDAS_ORD_STARTBACKGROUNDPLAY: real.startBg = (decltype(real.startBg))now; rec = (void*)RecStartBg; break;
            case MIDAS_ORD_STOPBACKGROUNDPLAY: real.stopBg = (decltype(real.stopBg))now; rec = (void*)RecStopBg; break;
            default: continue;
            }
            DWORD old;
            VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
            *slot = rec;
            VirtualProtect(slot, sizeof *slot, old, &old);
            found++;
        }
    }
    return found;
}

std::vector<int> Ordinals()
{
    std::vector<int> v;
    for (const CALL& c : calls)
        v.push_back(c.ordinal);
    return v;
}

class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(InstallRecorders(), 9);
    }
    SOUNDOPTIONS so;
    MUSICSTATE music;
    std::string cwd;
    void SetUp() override
    {
        // The module is named without a folder, as the game names it, from
        // a current folder that does not hold it: it must be found beside
        // the library.
        cwd = MakeTempDir("musiccwd");
        ASSERT_FALSE(cwd.empty());
        ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
        std::memset(&so, 0, sizeof so);
        so.playMusic = 1;
        lstrcpynA(so.bgMusic, "beyond.mod", sizeof so.bgMusic);
        std::memset(&music, 0, sizeof music);
        MusicShutdown();
        calls.clear();
    }
    void TearDown() override
    {
        MusicShutdown();
        SetCurrentDirectoryA(ExeDir().c_str());
        RemoveTempDir(cwd);
    }
};

TEST_F(Music, TheLibraryIsCalledThroughTheRecorders)
{
    MIDASstartup();
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_STARTUP}));
}

TEST_F(Music, StartupIsStartupInitAndBackgroundPlayWithZero)
{
    MusicStartup();
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_STARTUP, MIDAS_ORD_INIT, MIDAS_ORD_STARTBACKGROUNDPLAY}));
    EXPECT_EQ(calls[0].result, (UINT_PTR)TRUE);
    EXPECT_EQ(calls[2].arg1, 0u);
}

TEST_F(Music, GameStartLoadsTheNamedFileUnchangedAndPlaysItLooping)
{
    MusicStartup();
    calls.clear();
    GameMusicStart(so, music);
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_LOADMODULE, MIDAS_ORD_PLAYMODULE}));
    // The option's own text goes to the library: no folder is added.
    EXPECT_EQ(calls[0].arg1, (UINT_PTR)so.bgMusic);
    EXPECT_STREQ(so.bgMusic, "beyond.mod");
    EXPECT_NE(calls[0].result, 0u) << "beyond.mod beside the library was not found";
    EXPECT_EQ((UINT_PTR)music.module, calls[0].result);
    EXPECT_EQ(calls[1].arg1, calls[0].result);
    EXPECT_EQ(calls[1].arg2, (UINT_PTR)TRUE);
    EXPECT_NE(music.playHandle, 0u);
    EXPECT_EQ(music.playHandle, calls[1].result);
}

TEST_F(Music, GameStopStopsThePlaybackThenFreesTheModuleAndKeepsTheHandles)
{
    MusicStartup();
    GameMusicStart(so, music);
    MUSICSTATE kept = music;
    calls.clear();
    GameMusicStop(music);
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_STOPMODULE, MIDAS_ORD_FREEMODULE}));
    EXPECT_EQ(calls[0].arg1, (UINT_PTR)kept.playHandle);
    EXPECT_EQ(calls[1].arg1, (UINT_PTR)kept.module);
    EXPECT_EQ(calls[0].result, (UINT_PTR)TRUE);
    EXPECT_EQ(calls[1].result, (UINT_PTR)TRUE);
    EXPECT_EQ(music.module, kept.module);
    EXPECT_EQ(music.playHandle, kept.playHandle);
}

TEST_F(Music, ShutdownStopsBackgroundPlayThenCloses)
{
    MusicStartup();
    calls.clear();
    MusicShutdown();
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_STOPBACKGROUNDPLAY, MIDAS_ORD_CLOSE}));
    EXPECT_EQ(calls[1].result, (UINT_PTR)TRUE);
}

TEST_F(Music, EachGameLoadsTheModuleAnewAndFreesItAtItsStop)
{
    MusicStartup();
    calls.clear();
    GameMusicStart(so, music);
    MIDASmodule first = music.module;
    GameMusicStop(music);
    GameMusicStart(so, music);
    GameMusicStop(music);
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_LOADMODULE, MIDAS_ORD_PLAYMODULE, MIDAS_ORD_STOPMODULE,
                                            MIDAS_ORD_FREEMODULE, MIDAS_ORD_LOADMODULE, MIDAS_ORD_PLAYMODULE,
                                            MIDAS_ORD_STOPMODULE, MIDAS_ORD_FREEMODULE}));
    EXPECT_NE(calls[4].result, 0u);
    EXPECT_NE((MIDASmodule)calls[4].result, first);   // a fresh module, not the freed one
    for (const CALL& c : calls)
        if (c.ordinal == MIDAS_ORD_STOPMODULE || c.ordinal == MIDAS_ORD_FREEMODULE) {
            EXPECT_EQ(c.result, (UINT_PTR)TRUE);
        }
}

TEST_F(Music, AStartOverAModuleStillLoadedStopsAndFreesItFirst)
{
    MusicStartup();
    GameMusicStart(so, music);
    MUSICSTATE old = music;
    calls.clear();
    GameMusicStart(so, music);
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_STOPMODULE, MIDAS_ORD_FREEMODULE, MIDAS_ORD_LOADMODULE,
                                            MIDAS_ORD_PLAYMODULE}));
    EXPECT_EQ(calls[0].arg1, (UINT_PTR)old.playHandle);
    EXPECT_EQ(calls[1].arg1, (UINT_PTR)old.module);
    EXPECT_EQ(calls[1].result, (UINT_PTR)TRUE);
    EXPECT_NE(music.module, (MIDASmodule)NULL);
}

TEST_F(Music, AMissingModuleStillMakesEveryLaterCallHarmlessly)
{
    lstrcpynA(so.bgMusic, "no-such-tune.mod", sizeof so.bgMusic);
    MusicStartup();
    calls.clear();
    GameMusicStart(so, music);
    EXPECT_EQ(music.module, (MIDASmodule)NULL);
    EXPECT_EQ(music.playHandle, 0u);
    GameMusicStop(music);
    MusicShutdown();
    ASSERT_EQ(Ordinals(), std::vector<int>({MIDAS_ORD_LOADMODULE, MIDAS_ORD_PLAYMODULE, MIDAS_ORD_STOPMODULE,
                                            MIDAS_ORD_FREEMODULE, MIDAS_ORD_STOPBACKGROUNDPLAY,
                                            MIDAS_ORD_CLOSE}));
    EXPECT_EQ(calls[1].arg1, 0u);       // the null module went on to the library
    EXPECT_EQ(calls[2].arg1, 0u);
}

TEST_F(Music, ShutdownDuringAGameReleasesEverythingAndLateStopsAreHarmless)
{
    PROCCOUNTS before = {0, 0, 0};
    for (int run = 0; run < 12; run++) {
        if (run == 2)
            before = LowestCounts(1000);
        MusicStartup();
        GameMusicStart(so, music);
        ASSERT_NE(music.module, (MIDASmodule)NULL);
        MusicShutdown();                 // with the module still playing
        GameMusicStop(music);            // handles of a closed library
    }
    // Wine's sound driver may keep one helper thread (with a few handles)
    // alive a while after a failed open; ten runs' leaks would go past it.
    PROCCOUNTS after = SettledCounts(before, 5000);
    EXPECT_LE(after.handles, before.handles + 3);
    EXPECT_LE(after.threads, before.threads + 1);
    EXPECT_EQ(ModuleThreadCount(GetModuleHandleA("midas11.dll")), 0);
}

TEST_F(Music, OperationsBeforeStartupAndAfterShutdownAreHarmless)
{
    GameMusicStart(so, music);
    EXPECT_EQ(music.module, (MIDASmodule)NULL);
    GameMusicStop(music);
    MusicShutdown();
    MusicShutdown();
    EXPECT_EQ(calls.size(), 8u);
    for (const CALL& c : calls)
        EXPECT_EQ(c.result, 0u) << "ordinal " << c.ordinal;
}

} // namespace

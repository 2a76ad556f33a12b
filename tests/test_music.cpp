// Tests of the shell's four music operations against the real midas11.dll.
// This program's import address table entries for midas11.dll (ordinals, as
// the game links them) are pointed at recorders that log each call and then
// call the library, so the tests see the game's exact calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music.h"
#include "options.h"

namespace {

struct CALL {
    int ordinal;
    UINT_PTR arg1, arg2, result;
};
std::vector<CALL> calls;
void* real[32]; // the library's entry points, by ordinal

#define RECORDER(NAME, ORD, RET, PARAMS, ARGS, A1, A2)                                            \
    RET MIDAS_CALL NAME PARAMS                                                                     \
    {                                                                                              \
        RET r = ((RET(MIDAS_CALL*) PARAMS)real[ORD])ARGS;                                          \
        calls.push_back(CALL{ORD, (UINT_PTR)(A1), (UINT_PTR)(A2), (UINT_PTR)r});                   \
        return r;                                                                                  \
    }
RECORDER(RecStartup, MIDAS_ORD_STARTUP, BOOL, (void), (), 0, 0)
RECORDER(RecInit, MIDAS_ORD_INIT, BOOL, (void), (), 0, 0)
RECORDER(RecClose, MIDAS_ORD_CLOSE, BOOL, (void), (), 0, 0)
RECORDER(RecLoad, MIDAS_ORD_LOADMODULE, MIDASmodule, (const char* n), (n), n, 0)
RECORDER(RecPlay, MIDAS_ORD_PLAYMODULE, MIDASmodulePlayHandle, (MIDASmodule m, BOOL l), (m, l), m, l)
RECORDER(RecStop, MIDAS_ORD_STOPMODULE, BOOL, (MIDASmodulePlayHandle p), (p), p, 0)
RECORDER(RecFree, MIDAS_ORD_FREEMODULE, BOOL, (MIDASmodule m), (m), m, 0)
RECORDER(RecStartBg, MIDAS_ORD_STARTBACKGROUNDPLAY, BOOL, (DWORD rate), (rate), rate, 0)
RECORDER(RecStopBg, MIDAS_ORD_STOPBACKGROUNDPLAY, BOOL, (void), (), 0, 0)

// Puts the recorders into this program's import address table; returns how
// many of the nine entries were found by ordinal.
int InstallRecorders()
{
    void* recorders[32] = {};
    recorders[MIDAS_ORD_STARTUP] = (void*)RecStartup;
    recorders[MIDAS_ORD_INIT] = (void*)RecInit;
    recorders[MIDAS_ORD_CLOSE] = (void*)RecClose;
    recorders[MIDAS_ORD_LOADMODULE] = (void*)RecLoad;
    recorders[MIDAS_ORD_PLAYMODULE] = (void*)RecPlay;
    recorders[MIDAS_ORD_STOPMODULE] = (void*)RecStop;
    recorders[MIDAS_ORD_FREEMODULE] = (void*)RecFree;
    recorders[MIDAS_ORD_STARTBACKGROUNDPLAY] = (void*)RecStartBg;
    recorders[MIDAS_ORD_STOPBACKGROUNDPLAY] = (void*)RecStopBg;
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int found = 0;
    for (auto* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress); d->Name; d++) {
        if (lstrcmpiA((const char*)(base + d->Name), "midas11.dll") != 0)
            continue;
        auto* lookup = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        auto* address = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; lookup->u1.Ordinal; lookup++, address++) {
            UINT_PTR ord = IMAGE_ORDINAL(lookup->u1.Ordinal);
            if (!IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal) || ord >= 32 || !recorders[ord])
                continue;
            void** slot = (void**)&address->u1.Function;
            real[ord] = *slot;
            DWORD old;
            VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
            *slot = recorders[ord];
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

class Music : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(InstallRecorders(), 9); }
    SOUNDOPTIONS so;
    MUSICSTATE music;
    void SetUp() override
    {
        // Named without a folder, as the game names it, from a current folder
        // that does not hold it: it is found beside the library.
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        ASSERT_TRUE(SetCurrentDirectoryA(tmp));
        std::memset(&so, 0, sizeof so);
        so.playMusic = 1;
        lstrcpynA(so.bgMusic, "beyond.mod", sizeof so.bgMusic);
        std::memset(&music, 0, sizeof music);
        MusicShutdown();
        calls.clear();
    }
    void TearDown() override { MusicShutdown(); }
};

} // namespace

TEST_F(Music, AGameSessionMakesTheseCallsInThisOrder)
{
    MusicStartup();
    GameMusicStart(so, music);
    MUSICSTATE first = music;
    GameMusicStop(music);
    EXPECT_EQ(music.module, first.module); // the handles are kept after a stop
    EXPECT_EQ(music.playHandle, first.playHandle);
    GameMusicStart(so, music);
    MUSICSTATE second = music;
    GameMusicStart(so, music); // over a module still loaded: stopped and freed first
    GameMusicStop(music);
    MusicShutdown();
    const int S = MIDAS_ORD_STARTUP, I = MIDAS_ORD_INIT, B = MIDAS_ORD_STARTBACKGROUNDPLAY,
              L = MIDAS_ORD_LOADMODULE, P = MIDAS_ORD_PLAYMODULE, T = MIDAS_ORD_STOPMODULE,
              F = MIDAS_ORD_FREEMODULE, E = MIDAS_ORD_STOPBACKGROUNDPLAY, C = MIDAS_ORD_CLOSE;
    ASSERT_EQ(Ordinals(), std::vector<int>({S, I, B, L, P, T, F, L, P, T, F, L, P, T, F, E, C}));
    EXPECT_EQ(calls[2].arg1, 0u); // background play with rate 0
    for (int at : {3, 7, 11}) {
        EXPECT_EQ(calls[at].arg1, (UINT_PTR)so.bgMusic); // the option's own text
        EXPECT_NE(calls[at].result, 0u) << "beyond.mod beside the library was not found";
        EXPECT_EQ(calls[at + 1].arg1, calls[at].result);
        EXPECT_EQ(calls[at + 1].arg2, (UINT_PTR)TRUE); // looping
        EXPECT_NE(calls[at + 1].result, 0u);
        EXPECT_EQ(calls[at + 2].arg1, calls[at + 1].result); // its own playback stopped
        EXPECT_EQ(calls[at + 3].arg1, calls[at].result);     // its own module freed
        EXPECT_EQ(calls[at + 3].result, (UINT_PTR)TRUE);
    }
    EXPECT_EQ((UINT_PTR)first.module, calls[3].result);
    EXPECT_EQ(first.playHandle, calls[4].result);
    EXPECT_EQ((UINT_PTR)second.module, calls[7].result);
    EXPECT_EQ(calls[16].result, (UINT_PTR)TRUE);
    EXPECT_STREQ(so.bgMusic, "beyond.mod");
}

TEST_F(Music, AMissingModuleOrNoLibraryMakesEveryCallHarmlessly)
{
    GameMusicStart(so, music); // before start-up: nothing loads
    EXPECT_EQ(music.module, (MIDASmodule)NULL);
    GameMusicStop(music);
    MusicShutdown();
    for (const CALL& c : calls)
        EXPECT_EQ(c.result, 0u) << c.ordinal;
    lstrcpynA(so.bgMusic, "no-such-tune.mod", sizeof so.bgMusic);
    MusicStartup();
    calls.clear();
    GameMusicStart(so, music);
    EXPECT_EQ(music.module, (MIDASmodule)NULL);
    EXPECT_EQ(music.playHandle, 0u);
    GameMusicStop(music);
    MusicShutdown();
    GameMusicStop(music); // late, on a closed library
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[1].arg1, 0u); // the null module goes on to the library
    EXPECT_EQ(calls[2].arg1, 0u);
}

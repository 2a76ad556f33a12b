// The shell's music operations against the real midas11.dll. This program's
// import address table entries for midas11.dll (by ordinal, as the game links
// them) go to recorders that log each call and then call the library.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "music.h"
#include "options.h"

namespace
{

struct CALL {
    int ordinal;
    UINT_PTR arg1, arg2, result;
};
std::vector<CALL> calls;
void *real[32], *recorders[32]; // by ordinal: the library's entry points, ours

#define RECORDER(ORD, RET, PARAMS, ARGS, A1, A2)                                                   \
    RET MIDAS_CALL Rec##ORD PARAMS                                                                 \
    {                                                                                              \
        RET r = ((RET(MIDAS_CALL*) PARAMS)real[ORD])ARGS;                                          \
        calls.push_back(CALL{ORD, (UINT_PTR)(A1), (UINT_PTR)(A2), (UINT_PTR)r});                   \
        return r;                                                                                  \
    }                                                                                              \
    const int reg##ORD = (recorders[ORD] = (void*)Rec##ORD, 0);
RECORDER(MIDAS_ORD_STARTUP, BOOL, (void), (), 0, 0)
RECORDER(MIDAS_ORD_INIT, BOOL, (void), (), 0, 0)
RECORDER(MIDAS_ORD_CLOSE, BOOL, (void), (), 0, 0)
RECORDER(MIDAS_ORD_LOADMODULE, MIDASmodule, (const char* n), (n), n, 0)
RECORDER(MIDAS_ORD_PLAYMODULE, MIDASmodulePlayHandle, (MIDASmodule m, BOOL l), (m, l), m, l)
RECORDER(MIDAS_ORD_STOPMODULE, BOOL, (MIDASmodulePlayHandle p), (p), p, 0)
RECORDER(MIDAS_ORD_FREEMODULE, BOOL, (MIDASmodule m), (m), m, 0)
RECORDER(MIDAS_ORD_STARTBACKGROUNDPLAY, BOOL, (DWORD rate), (rate), rate, 0)
RECORDER(MIDAS_ORD_STOPBACKGROUNDPLAY, BOOL, (void), (), 0, 0)

// Puts the recorders into the import address table; returns how many of the
// nine entries were found by ordinal.
int InstallRecorders()
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    int found = 0;
    for (auto* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + rva); d->Name; d++) {
        auto* lookup = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        void** slot = (void**)(base + d->FirstThunk); // one pointer per thunk
        for (; !lstrcmpiA((char*)(base + d->Name), "midas11.dll") && lookup->u1.Ordinal;
             lookup++, slot++) {
            UINT_PTR ord = IMAGE_ORDINAL(lookup->u1.Ordinal);
            if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal) && ord < 32 && recorders[ord])
                real[ord] = *slot, *slot = recorders[ord], found++;
        }
    }
    return found;
}

} // namespace

TEST(Music, AGameSessionMakesTheseCallsInThisOrder)
{
    ASSERT_EQ(InstallRecorders(), 9);
    // Named without a folder, from a current folder that does not hold it: it
    // is found beside the library.
    char tmp[MAX_PATH];
    ASSERT_TRUE(GetTempPathA(sizeof tmp, tmp) && SetCurrentDirectoryA(tmp));
    SOUNDOPTIONS so = {};
    lstrcpynA(so.bgMusic, "beyond.mod", sizeof so.bgMusic);
    MUSICSTATE music = {};
    MusicStartup();
    GameMusicStart(so, music);
    GameMusicStart(so, music); // over a module still loaded: stopped and freed first
    GameMusicStop(music);
    MusicShutdown();
    // Startup, init, background play; 2 x (load, play, stop, free); stop background play, close.
    const int want[] = {3, 6, 21, 16, 18, 19, 20, 16, 18, 19, 20, 22, 7};
    ASSERT_EQ(calls.size(), 13u);
    for (int i = 0; i < 13; i++)
        EXPECT_EQ(calls[i].ordinal, want[i]) << i;
    EXPECT_TRUE(calls[2].arg1 == 0 && calls[12].result == TRUE); // background play at rate 0
    // Each game loads the option's own text (found beside the library), plays it
    // looping, stops its own playback and frees its own module.
    for (const CALL* c : {&calls[3], &calls[7]})
        EXPECT_TRUE(c[0].arg1 == (UINT_PTR)so.bgMusic && c[0].result && c[1].arg1 == c[0].result &&
                    c[1].arg2 == TRUE && c[1].result && c[2].arg1 == c[1].result &&
                    c[3].arg1 == c[0].result && c[3].result == TRUE);
}

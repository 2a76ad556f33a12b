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
    IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int found = 0;
    for (auto* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress); d->Name; d++) {
        auto* lookup = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        auto* address = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
        for (; !lstrcmpiA((char*)(base + d->Name), "midas11.dll") && lookup->u1.Ordinal;
             lookup++, address++) {
            UINT_PTR ord = IMAGE_ORDINAL(lookup->u1.Ordinal);
            if (!IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal) || ord >= 32 || !recorders[ord])
                continue;
            void** slot = (void**)&address->u1.Function;
            DWORD old;
            VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
            real[ord] = *slot;
            *slot = recorders[ord];
            found++;
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
    GetTempPathA(sizeof tmp, tmp);
    ASSERT_TRUE(SetCurrentDirectoryA(tmp));
    SOUNDOPTIONS so = {};
    so.playMusic = 1;
    lstrcpynA(so.bgMusic, "beyond.mod", sizeof so.bgMusic);
    MUSICSTATE music = {}, first;
    MusicStartup();
    GameMusicStart(so, music);
    first = music;
    GameMusicStop(music);
    EXPECT_TRUE(music.module == first.module && music.playHandle == first.playHandle);
    GameMusicStart(so, music);
    GameMusicStart(so, music); // over a module still loaded: stopped and freed first
    GameMusicStop(music);
    MusicShutdown();
    const int S = MIDAS_ORD_STARTUP, I = MIDAS_ORD_INIT, B = MIDAS_ORD_STARTBACKGROUNDPLAY,
              L = MIDAS_ORD_LOADMODULE, P = MIDAS_ORD_PLAYMODULE, T = MIDAS_ORD_STOPMODULE,
              F = MIDAS_ORD_FREEMODULE, E = MIDAS_ORD_STOPBACKGROUNDPLAY, C = MIDAS_ORD_CLOSE;
    std::vector<int> ordinals;
    for (const CALL& c : calls)
        ordinals.push_back(c.ordinal);
    ASSERT_EQ(ordinals, std::vector<int>({S, I, B, L, P, T, F, L, P, T, F, L, P, T, F, E, C}));
    EXPECT_EQ(calls[2].arg1, 0u); // background play with rate 0
    EXPECT_TRUE((UINT_PTR)first.module == calls[3].result && first.playHandle == calls[4].result);
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
    EXPECT_EQ(calls[16].result, (UINT_PTR)TRUE);
}

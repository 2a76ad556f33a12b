// The shell's music operations against the real midas11.dll. This program's
// import address table entries for midas11.dll (by ordinal, as the game links
// them) go to recorders that log each call and then call the library.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "music.h"
#include "options.h"

namespace
{

struct CALL {
    int ordinal;
    UINT_PTR arg1, arg2, result;
    bool operator==(const CALL& o) const
    {
        return std::tie(ordinal, arg1, arg2, result) == std::tie(o.ordinal, o.arg1, o.arg2, o.result);
    }
};
void PrintTo(const CALL& c, std::ostream* os)
{
    *os << "ordinal " << c.ordinal << " (" << c.arg1 << ", " << c.arg2 << ") -> " << c.result;
}
std::vector<CALL> calls;
const int MAX_ORDINAL = 32;
void* real[MAX_ORDINAL];      // by ordinal: the library's entry points
void* recorders[MAX_ORDINAL]; // ours
struct Recorder {
    Recorder(int ordinal, void* fn) { recorders[ordinal] = fn; }
};

#define RECORDER(ORD, RET, PARAMS, ARGS, A1, A2)                                                   \
    RET MIDAS_CALL Rec##ORD PARAMS                                                                 \
    {                                                                                              \
        RET r = ((RET(MIDAS_CALL*) PARAMS)real[ORD])ARGS;                                          \
        calls.push_back(CALL{ORD, (UINT_PTR)(A1), (UINT_PTR)(A2), (UINT_PTR)r});                   \
        return r;                                                                                  \
    }                                                                                              \
    const Recorder reg##ORD(ORD, (void*)Rec##ORD);
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
        if (lstrcmpiA((char*)(base + d->Name), "midas11.dll"))
            continue;
        auto* lookup = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
        void** slot = (void**)(base + d->FirstThunk); // one pointer per thunk
        for (size_t i = 0; lookup[i].u1.Ordinal; i++) {
            const UINT_PTR ord = IMAGE_ORDINAL(lookup[i].u1.Ordinal);
            if (!IMAGE_SNAP_BY_ORDINAL(lookup[i].u1.Ordinal) || ord >= MAX_ORDINAL || !recorders[ord])
                continue;
            real[ord] = slot[i];
            slot[i] = recorders[ord];
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
    ASSERT_TRUE(GetTempPathA(sizeof tmp, tmp));
    ASSERT_TRUE(SetCurrentDirectoryA(tmp));
    SOUNDOPTIONS so = {};
    lstrcpynA(so.bgMusic, "beyond.mod", sizeof so.bgMusic);
    MUSICSTATE music = {};
    MusicStartup();
    GameMusicStart(so, music);
    GameMusicStart(so, music); // over a module still loaded: stopped and freed first
    GameMusicStop(music);
    MusicShutdown();
    // Startup, init, background play; 2 x (load, play, stop, free); stop background play, close.
    const std::vector<int> want = {3, 6, 21, 16, 18, 19, 20, 16, 18, 19, 20, 22, 7};
    std::vector<int> ordinals;
    for (const CALL& c : calls)
        ordinals.push_back(c.ordinal);
    ASSERT_EQ(want, ordinals);
    EXPECT_EQ(0u, calls[2].arg1) << "background play at rate 0";
    EXPECT_EQ((UINT_PTR)TRUE, calls[12].result) << "closed";
    // Each game loads the option's own text (found beside the library), plays it looping,
    // stops its own playback and frees its own module.
    for (size_t game : {3, 7}) {
        SCOPED_TRACE(game == 3 ? "first game" : "second game");
        const CALL* c = &calls[game];
        const UINT_PTR module = c[0].result, playback = c[1].result;
        EXPECT_NE(0u, module);
        EXPECT_NE(0u, playback);
        const std::vector<CALL> session = {
            {MIDAS_ORD_LOADMODULE, (UINT_PTR)so.bgMusic, 0, module},
            {MIDAS_ORD_PLAYMODULE, module, TRUE, playback},
            {MIDAS_ORD_STOPMODULE, playback, 0, c[2].result},
            {MIDAS_ORD_FREEMODULE, module, 0, TRUE},
        };
        EXPECT_EQ(session, std::vector<CALL>(c, c + 4));
    }
}

// midasdll.h - the music library's interface: nine operations of midas11.dll.
//
// The library plays tracker modules in the background through the system's
// wave output. The program links these functions by ordinal through the
// import library built from midas11.def; the names below exist only for the
// compiler and the linker, the DLL exports no names.
//
// Contract, for every function:
//  - Any argument is accepted: a null, stale, repeated or made-up handle, a
//    null or bad file name. Such a call does nothing and reports failure.
//  - Any order is accepted: calls before MIDASstartup, after MIDASclose, a
//    stop before a play, a free while playing.
//  - Without a usable audio device the library still accepts every call and
//    plays nothing ("silent"): modules load, play handles are issued.
//  - Stopping and closing return promptly; no call waits on the audio device.
// The results are TRUE/FALSE (or a handle, 0 for none) for callers that care;
// the game does not look at them.
//
// Lifecycle: MIDASstartup -> MIDASinit -> MIDASstartBackgroundPlay ->
// (MIDASloadModule -> MIDASplayModule -> MIDASstopModule -> MIDASfreeModule)*
// -> MIDASstopBackgroundPlay -> MIDASclose. MIDASclose stops and frees
// whatever is left; MIDASstartup may then start the library again.
#ifndef MIDASDLL_H
#define MIDASDLL_H

#include <windows.h>

// One calling convention on both sides of the DLL boundary. It matters on
// i686, where the callee pops the arguments and the names carry "@bytes".
#define MIDAS_CALL __stdcall

#if defined(MIDAS_BUILDING_DLL)
#define MIDAS_API
#else
#define MIDAS_API __declspec(dllimport)
#endif

// A loaded module: an opaque handle the size of a pointer, never a real
// address (so a made-up value can always be checked). 0 means none.
typedef void *MIDASmodule;

// A playback of a module: an opaque unsigned 32-bit handle. 0 means none.
typedef DWORD MIDASmodulePlayHandle;

// Ordinals of the export table (midas11.def lists the same numbers).
enum {
    MIDAS_ORD_STARTUP = 3,
    MIDAS_ORD_INIT = 6,
    MIDAS_ORD_CLOSE = 7,
    MIDAS_ORD_LOADMODULE = 16,
    MIDAS_ORD_PLAYMODULE = 18,
    MIDAS_ORD_STOPMODULE = 19,
    MIDAS_ORD_FREEMODULE = 20,
    MIDAS_ORD_STARTBACKGROUNDPLAY = 21,
    MIDAS_ORD_STOPBACKGROUNDPLAY = 22
};

#ifdef __cplusplus
extern "C" {
#endif

// First call of a run: the library is started but plays nothing yet.
MIDAS_API BOOL MIDAS_CALL MIDASstartup(void);

// Looks for the wave output. FALSE when no device could be opened; the library
// then stays usable and silent. Needs MIDASstartup. The device itself is open
// only while a module plays: an idle library costs no CPU.
MIDAS_API BOOL MIDAS_CALL MIDASinit(void);

// Starts the library's mixing thread, which feeds the device whenever a
// module plays and sleeps otherwise.
// pollRate is accepted for compatibility and ignored.
MIDAS_API BOOL MIDAS_CALL MIDASstartBackgroundPlay(DWORD pollRate);

// Ends the mixing thread; queued audio is dropped.
MIDAS_API BOOL MIDAS_CALL MIDASstopBackgroundPlay(void);

// Loads a module file. A name without a directory is looked for in the
// current folder first, then beside midas11.dll. 0 when the file is missing,
// unreadable, empty, truncated or not a module, or the library is not
// initialised.
MIDAS_API MIDASmodule MIDAS_CALL MIDASloadModule(const char *fileName);

// Plays a loaded module from its start, looping it if loopSong is non-zero.
// A module plays once at a time: playing it again restarts it under a new
// handle. 0 on failure.
MIDAS_API MIDASmodulePlayHandle MIDAS_CALL MIDASplayModule(MIDASmodule module, BOOL loopSong);

// Ends a playback. Returns at once; the output falls silent.
MIDAS_API BOOL MIDAS_CALL MIDASstopModule(MIDASmodulePlayHandle playHandle);

// Releases a module, stopping it first if it still plays.
MIDAS_API BOOL MIDAS_CALL MIDASfreeModule(MIDASmodule module);

// Stops everything, frees every module, closes the device; last call of a run.
MIDAS_API BOOL MIDAS_CALL MIDASclose(void);

#ifdef __cplusplus
}
#endif

#endif // MIDASDLL_H

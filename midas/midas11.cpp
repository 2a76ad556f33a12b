// midas11.cpp - the music library: module and playback handles, the wave
// output and the one mixing thread that feeds it.
//
// Every entry point takes the library lock, so the program's thread and the
// mixing thread never see a half-changed table. The mixing thread holds the
// lock only while it mixes one buffer (a few milliseconds), which bounds how
// long a stop or a free can wait.
#define MIDAS_BUILDING_DLL
#include "midasdll.h"
#include "midasmix.h"

#include <mmsystem.h>
#include <stdio.h>
#include <string.h>

enum {
    MAX_MODULES = 8,            // modules loaded at once
    SLOT_BITS = 8,              // low bits of a handle: slot number + 1
    SLOT_MASK = (1 << SLOT_BITS) - 1,
    // Queued output: BUFFER_COUNT buffers of BUFFER_FRAMES frames, about
    // 370 ms at 44.1 kHz, so a busy machine does not make the music stutter.
    BUFFER_COUNT = 8,
    BUFFER_FRAMES = 2048,
    // The thread also wakes on its own at this interval, so a missed event
    // or a quit request never waits longer.
    THREAD_WAKE_MS = 50,
    THREAD_JOIN_MS = 5000
};

enum LibraryState { LIB_CLOSED, LIB_STARTED, LIB_READY };

struct MODULESLOT {
    int used;
    DWORD generation;           // bumped at each load, so old handles go stale
    xmp_context ctx;
    int playing;
    int loop;
    DWORD playGeneration;       // bumped at each play
};

struct LIBRARY {
    LibraryState state;
    char dllDir[MIX_PATH];      // folder of midas11.dll with a trailing separator
    HWAVEOUT hwo;               // NULL: no device, the library runs silent
    HANDLE hDoneEvent;          // set by the device when a buffer has played
    WAVEHDR headers[BUFFER_COUNT];
    short *buffers[BUFFER_COUNT];
    int queued[BUFFER_COUNT];   // handed to the device and not yet returned
    int *mixAcc;                // sum of the playing modules before clipping
    short *mixOne;              // one module's share of a buffer
    HANDLE hThread;
    volatile LONG quit;
    MODULESLOT modules[MAX_MODULES];
    DWORD nextGeneration;
};

static CRITICAL_SECTION libLock;
static LIBRARY lib;

// ---- handles ---------------------------------------------------------------

static DWORD NextGeneration(void)
{
    // Generations never reach 0 and never repeat within 2^24 loads, so a
    // handle from a freed module or an earlier run is refused.
    lib.nextGeneration = (lib.nextGeneration + 1) & 0x00FFFFFF;
    if (lib.nextGeneration == 0)
        lib.nextGeneration = 1;
    return lib.nextGeneration;
}

static MIDASmodule ModuleHandle(int slot)
{
    UINT_PTR h = ((UINT_PTR)lib.modules[slot].generation << SLOT_BITS) | (UINT_PTR)(slot + 1);
    return (MIDASmodule)h;
}

static MODULESLOT *SlotOfModule(MIDASmodule module)
{
    UINT_PTR h = (UINT_PTR)module;
    UINT_PTR slot = (h & SLOT_MASK);
    UINT_PTR generation = h >> SLOT_BITS;
    if (slot < 1 || slot > MAX_MODULES)
        return NULL;
    MODULESLOT *m = &lib.modules[slot - 1];
    if (!m->used || generation != m->generation)
        return NULL;
    return m;
}

static MODULESLOT *SlotOfPlayback(MIDASmodulePlayHandle playHandle)
{
    DWORD slot = playHandle & SLOT_MASK;
    DWORD generation = playHandle >> SLOT_BITS;
    if (slot < 1 || slot > MAX_MODULES)
        return NULL;
    MODULESLOT *m = &lib.modules[slot - 1];
    if (!m->used || !m->playing || generation != m->playGeneration)
        return NULL;
    return m;
}

static int AnyPlaying(void)
{
    for (int i = 0; i < MAX_MODULES; i++)
        if (lib.modules[i].used && lib.modules[i].playing)
            return 1;
    return 0;
}

// ---- output ----------------------------------------------------------------

// Drops whatever the device still has queued, so the output falls silent now
// rather than after the queue has drained.
static void FlushOutput(void)
{
    if (!lib.hwo)
        return;
    waveOutReset(lib.hwo);
    for (int i = 0; i < BUFFER_COUNT; i++)
        lib.queued[i] = 0;
}

static void MixBuffer(short *out)
{
    const int samples = BUFFER_FRAMES * MIX_CHANNELS;
    memset(lib.mixAcc, 0, sizeof(int) * samples);
    int any = 0;
    for (int i = 0; i < MAX_MODULES; i++) {
        MODULESLOT *m = &lib.modules[i];
        if (!m->used || !m->playing)
            continue;
        if (!MixRender(m->ctx, lib.mixOne, BUFFER_FRAMES, m->loop))
            m->playing = 0;     // a module played without looping has ended
        for (int s = 0; s < samples; s++)
            lib.mixAcc[s] += lib.mixOne[s];
        any = 1;
    }
    if (!any) {
        memset(out, 0, sizeof(short) * samples);
        return;
    }
    for (int s = 0; s < samples; s++) {
        int v = lib.mixAcc[s];
        out[s] = (short)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
}

// Refills every buffer the device has given back. Called with the lock held.
static void FeedDevice(void)
{
    for (int i = 0; i < BUFFER_COUNT; i++) {
        WAVEHDR *h = &lib.headers[i];
        if (lib.queued[i] && !(h->dwFlags & WHDR_DONE))
            continue;
        MixBuffer(lib.buffers[i]);
        h->dwFlags &= ~WHDR_DONE;
        lib.queued[i] = waveOutWrite(lib.hwo, h, sizeof *h) == MMSYSERR_NOERROR;
        // A device that refuses buffers (unplugged, say) gets one more try
        // per wake-up rather than a busy loop of mixing.
        if (!lib.queued[i])
            break;
    }
}

static DWORD WINAPI MixerThread(LPVOID param)
{
    // The thread keeps its own reference to the library, so a FreeLibrary
    // by the host cannot unload the code it runs.
    HMODULE self = (HMODULE)param;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!lib.quit) {
        EnterCriticalSection(&libLock);
        if (!lib.quit)
            FeedDevice();
        LeaveCriticalSection(&libLock);
        WaitForSingleObject(lib.hDoneEvent, THREAD_WAKE_MS);
    }
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

static int OpenOutput(void)
{
    WAVEFORMATEX wf;
    memset(&wf, 0, sizeof wf);
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = MIX_CHANNELS;
    wf.nSamplesPerSec = MIX_RATE;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = MIX_FRAME_BYTES;
    wf.nAvgBytesPerSec = MIX_RATE * MIX_FRAME_BYTES;

    lib.hDoneEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!lib.hDoneEvent)
        return 0;
    if (waveOutOpen(&lib.hwo, WAVE_MAPPER, &wf, (DWORD_PTR)lib.hDoneEvent, 0, CALLBACK_EVENT)
        != MMSYSERR_NOERROR) {
        lib.hwo = NULL;
        return 0;
    }
    const size_t samples = (size_t)BUFFER_FRAMES * MIX_CHANNELS;
    lib.mixAcc = new int[samples];
    lib.mixOne = new short[samples];
    for (int i = 0; i < BUFFER_COUNT; i++) {
        lib.buffers[i] = new short[samples];
        WAVEHDR *h = &lib.headers[i];
        memset(h, 0, sizeof *h);
        h->lpData = (LPSTR)lib.buffers[i];
        h->dwBufferLength = (DWORD)(samples * sizeof(short));
        waveOutPrepareHeader(lib.hwo, h, sizeof *h);
        lib.queued[i] = 0;
    }
    return 1;
}

static void CloseOutput(void)
{
    if (lib.hwo) {
        FlushOutput();
        for (int i = 0; i < BUFFER_COUNT; i++) {
            waveOutUnprepareHeader(lib.hwo, &lib.headers[i], sizeof lib.headers[i]);
            delete[] lib.buffers[i];
            lib.buffers[i] = NULL;
        }
        waveOutClose(lib.hwo);
        lib.hwo = NULL;
        delete[] lib.mixAcc;
        delete[] lib.mixOne;
        lib.mixAcc = NULL;
        lib.mixOne = NULL;
    }
    if (lib.hDoneEvent) {
        CloseHandle(lib.hDoneEvent);
        lib.hDoneEvent = NULL;
    }
}

// Ends the mixing thread. Must be called without the lock: the thread takes
// it once more before it sees the quit request. FALSE if the thread did not
// end in time (a wave driver stuck in a call): its buffers must then stay.
static int JoinMixerThread(HANDLE thread)
{
    InterlockedExchange(&lib.quit, 1);
    if (lib.hDoneEvent)
        SetEvent(lib.hDoneEvent);
    int ended = WaitForSingleObject(thread, THREAD_JOIN_MS) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

static void FreeSlot(MODULESLOT *m)
{
    MixUnload(m->ctx);
    m->ctx = NULL;
    m->used = 0;
    m->playing = 0;
}

// ---- the nine operations -----------------------------------------------------

extern "C" BOOL MIDAS_CALL MIDASstartup(void)
{
    EnterCriticalSection(&libLock);
    if (lib.state == LIB_CLOSED)
        lib.state = LIB_STARTED;
    LeaveCriticalSection(&libLock);
    return TRUE;
}

extern "C" BOOL MIDAS_CALL MIDASinit(void)
{
    EnterCriticalSection(&libLock);
    BOOL ok = FALSE;
    if (lib.state == LIB_STARTED) {
        lib.state = LIB_READY;
        // Without a device the library stays ready and silent: modules load
        // and play handles are issued, nothing is mixed.
        if (!OpenOutput())
            CloseOutput();
        ok = lib.hwo != NULL;
    } else if (lib.state == LIB_READY) {
        ok = lib.hwo != NULL;
    }
    LeaveCriticalSection(&libLock);
    return ok;
}

extern "C" BOOL MIDAS_CALL MIDASstartBackgroundPlay(DWORD pollRate)
{
    (void)pollRate;
    EnterCriticalSection(&libLock);
    BOOL ok = FALSE;
    if (lib.state == LIB_READY && lib.hwo && !lib.hThread) {
        HMODULE self = NULL;
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                               (LPCSTR)(void *)&MixerThread, &self)) {
            lib.quit = 0;
            lib.hThread = CreateThread(NULL, 0, MixerThread, self, 0, NULL);
            if (!lib.hThread)
                FreeLibrary(self);
        }
        ok = lib.hThread != NULL;
    } else if (lib.hThread) {
        ok = TRUE;
    }
    LeaveCriticalSection(&libLock);
    return ok;
}

extern "C" BOOL MIDAS_CALL MIDASstopBackgroundPlay(void)
{
    EnterCriticalSection(&libLock);
    HANDLE thread = lib.hThread;
    lib.hThread = NULL;
    LeaveCriticalSection(&libLock);
    if (!thread)
        return FALSE;
    JoinMixerThread(thread);
    EnterCriticalSection(&libLock);
    FlushOutput();
    LeaveCriticalSection(&libLock);
    return TRUE;
}

extern "C" MIDASmodule MIDAS_CALL MIDASloadModule(const char *fileName)
{
    // The file is read before taking the lock: a slow disk must not hold up
    // the mixing thread.
    EnterCriticalSection(&libLock);
    int ready = lib.state == LIB_READY;
    char dir[MIX_PATH];
    lstrcpynA(dir, lib.dllDir, sizeof dir);
    LeaveCriticalSection(&libLock);
    if (!ready || !fileName)
        return NULL;

    BYTE *data = NULL;
    DWORD size = 0;
    if (!MixReadFile(fileName, dir, &data, &size))
        return NULL;
    xmp_context ctx = MixLoad(data, size);
    MixFreeFile(data);
    if (!ctx)
        return NULL;

    MIDASmodule handle = NULL;
    EnterCriticalSection(&libLock);
    if (lib.state == LIB_READY) {
        for (int i = 0; i < MAX_MODULES; i++) {
            MODULESLOT *m = &lib.modules[i];
            if (m->used)
                continue;
            m->used = 1;
            m->ctx = ctx;
            m->playing = 0;
            m->generation = NextGeneration();
            handle = ModuleHandle(i);
            ctx = NULL;
            break;
        }
    }
    LeaveCriticalSection(&libLock);
    MixUnload(ctx);             // no free slot, or closed meanwhile
    return handle;
}

extern "C" MIDASmodulePlayHandle MIDAS_CALL MIDASplayModule(MIDASmodule module, BOOL loopSong)
{
    EnterCriticalSection(&libLock);
    MIDASmodulePlayHandle handle = 0;
    MODULESLOT *m = lib.state == LIB_READY ? SlotOfModule(module) : NULL;
    if (m && MixStart(m->ctx)) {
        // The device holds up to a queue of silence; drop it so the music
        // starts now rather than after the queue has played out.
        if (!AnyPlaying())
            FlushOutput();
        m->loop = loopSong != 0;
        m->playing = 1;
        m->playGeneration = NextGeneration();
        handle = (m->playGeneration << SLOT_BITS) | (DWORD)(m - lib.modules + 1);
    } else if (m) {
        m->playing = 0;
    }
    LeaveCriticalSection(&libLock);
    return handle;
}

extern "C" BOOL MIDAS_CALL MIDASstopModule(MIDASmodulePlayHandle playHandle)
{
    EnterCriticalSection(&libLock);
    MODULESLOT *m = SlotOfPlayback(playHandle);
    if (m) {
        m->playing = 0;
        if (!AnyPlaying())
            FlushOutput();
    }
    LeaveCriticalSection(&libLock);
    return m != NULL;
}

extern "C" BOOL MIDAS_CALL MIDASfreeModule(MIDASmodule module)
{
    EnterCriticalSection(&libLock);
    MODULESLOT *m = SlotOfModule(module);
    if (m) {
        int wasPlaying = m->playing;
        FreeSlot(m);
        if (wasPlaying && !AnyPlaying())
            FlushOutput();
    }
    LeaveCriticalSection(&libLock);
    return m != NULL;
}

extern "C" BOOL MIDAS_CALL MIDASclose(void)
{
    EnterCriticalSection(&libLock);
    int wasOpen = lib.state != LIB_CLOSED;
    HANDLE thread = lib.hThread;
    lib.hThread = NULL;
    LeaveCriticalSection(&libLock);
    if (!wasOpen)
        return FALSE;
    int joined = thread ? JoinMixerThread(thread) : 1;
    EnterCriticalSection(&libLock);
    if (joined) {
        for (int i = 0; i < MAX_MODULES; i++)
            if (lib.modules[i].used)
                FreeSlot(&lib.modules[i]);
        CloseOutput();
    } else {
        // Leaked rather than freed under a thread that may still touch them;
        // the slots and the device are forgotten so a new start begins clean.
        for (int i = 0; i < MAX_MODULES; i++)
            lib.modules[i].used = 0;
        lib.hwo = NULL;
        lib.hDoneEvent = NULL;
    }
    lib.state = LIB_CLOSED;
    LeaveCriticalSection(&libLock);
    return TRUE;
}

// ---- loading -----------------------------------------------------------------

static void FindOwnFolder(HINSTANCE hinstDLL)
{
    char path[MIX_PATH];
    DWORD n = GetModuleFileNameA(hinstDLL, path, sizeof path);
    lib.dllDir[0] = '\0';
    if (n == 0 || n >= sizeof path)
        return;
    char *cut = NULL;
    for (char *p = path; *p; p++)
        if (*p == '\\' || *p == '/')
            cut = p;
    if (!cut)
        return;
    cut[1] = '\0';
    lstrcpynA(lib.dllDir, path, sizeof lib.dllDir);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(hinstDLL);
        InitializeCriticalSection(&libLock);
        memset(&lib, 0, sizeof lib);
        FindOwnFolder(hinstDLL);
    } else if (reason == DLL_PROCESS_DETACH) {
        // The mixing thread holds a reference to the library, so detaching
        // means it has ended or the process is exiting; in both cases only
        // the lock is left to release.
        DeleteCriticalSection(&libLock);
    }
    return TRUE;
}

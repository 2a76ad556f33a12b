// midas11.cpp - the music library: module and playback handles, the wave
// output and the one mixing thread that feeds it.
//
// The wave device is open only while a module plays (and until what it holds
// has played out): an open stream keeps the sound server and Wine's driver
// threads waking many times a second even when fed silence. Between games the
// mixing thread sleeps on its event until the next play wakes it.
//
// Every entry point takes the library lock, so the program's thread and the
// mixing thread never see a half-changed table. The mixing thread holds the
// lock only while it mixes one buffer (a few milliseconds), which bounds how
// long a stop or a free can wait.
#define MIDAS_BUILDING_DLL
#include "midasdll.h"
#include "midasmix.h"

#include <mmsystem.h>
#include <new>
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
    int haveDevice;             // 0: MIDASinit found no device, the library runs silent
    HWAVEOUT hwo;               // open only while something plays; owned by the thread
    HANDLE hWakeEvent;          // set by the device when a buffer has played, and by a play
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

// A buffer handed to the device that it has not given back yet.
static int AnyQueued(void)
{
    for (int i = 0; i < BUFFER_COUNT; i++)
        if (lib.queued[i] && !(lib.headers[i].dwFlags & WHDR_DONE))
            return 1;
    return 0;
}

// Opens the wave device and prepares the buffers for it. NULL if it cannot.
static HWAVEOUT OpenDevice(void)
{
    WAVEFORMATEX wf;
    memset(&wf, 0, sizeof wf);
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = MIX_CHANNELS;
    wf.nSamplesPerSec = MIX_RATE;
    wf.wBitsPerSample = 16;
    wf.nBlockAlign = MIX_FRAME_BYTES;
    wf.nAvgBytesPerSec = MIX_RATE * MIX_FRAME_BYTES;
    HWAVEOUT hwo = NULL;
    if (waveOutOpen(&hwo, WAVE_MAPPER, &wf, (DWORD_PTR)lib.hWakeEvent, 0, CALLBACK_EVENT)
        != MMSYSERR_NOERROR)
        return NULL;
    for (int i = 0; i < BUFFER_COUNT; i++) {
        WAVEHDR *h = &lib.headers[i];
        memset(h, 0, sizeof *h);
        h->lpData = (LPSTR)lib.buffers[i];
        h->dwBufferLength = (DWORD)(sizeof(short) * BUFFER_FRAMES * MIX_CHANNELS);
        waveOutPrepareHeader(hwo, h, sizeof *h);
    }
    return hwo;
}

static void CloseDevice(HWAVEOUT hwo)
{
    waveOutReset(hwo);
    for (int i = 0; i < BUFFER_COUNT; i++)
        waveOutUnprepareHeader(hwo, &lib.headers[i], sizeof lib.headers[i]);
    waveOutClose(hwo);
}

// Takes the device away from the library (with the lock held), for the
// caller to close without it: closing waits on the sound server.
static HWAVEOUT DetachDevice(void)
{
    HWAVEOUT hwo = lib.hwo;
    lib.hwo = NULL;
    for (int i = 0; i < BUFFER_COUNT; i++)
        lib.queued[i] = 0;
    return hwo;
}

static DWORD WINAPI MixerThread(LPVOID param)
{
    // The thread keeps its own reference to the library, so a FreeLibrary
    // by the host cannot unload the code it runs.
    HMODULE self = (HMODULE)param;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!lib.quit) {
        EnterCriticalSection(&libLock);
        int playing = !lib.quit && AnyPlaying();
        int open = lib.hwo != NULL;
        HWAVEOUT idle = NULL;
        if (playing && open)
            FeedDevice();
        else if (!playing && open && !AnyQueued())
            idle = DetachDevice();  // played out or stopped: let the device go
        LeaveCriticalSection(&libLock);
        if (idle) {
            CloseDevice(idle);
            open = 0;
        } else if (playing && !open) {
            HWAVEOUT hwo = OpenDevice();
            if (hwo) {
                EnterCriticalSection(&libLock);
                lib.hwo = hwo;
                LeaveCriticalSection(&libLock);
                continue;           // feed it at once: the first note starts now
            }
        }
        // A device that cannot be opened gets one more try per wake-up.
        WaitForSingleObject(lib.hWakeEvent, playing || open ? (DWORD)THREAD_WAKE_MS : INFINITE);
    }
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

// The mixing buffers and the wake-up event, for the life of an initialised
// library. 0 when memory or the event runs out: the library then runs silent.
static int AllocOutput(void)
{
    const size_t samples = (size_t)BUFFER_FRAMES * MIX_CHANNELS;
    lib.hWakeEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    lib.mixAcc = new (std::nothrow) int[samples];
    lib.mixOne = new (std::nothrow) short[samples];
    int ok = lib.hWakeEvent && lib.mixAcc && lib.mixOne;
    for (int i = 0; i < BUFFER_COUNT; i++) {
        lib.buffers[i] = new (std::nothrow) short[samples];
        ok = ok && lib.buffers[i];
        lib.queued[i] = 0;
    }
    return ok;
}

static void CloseOutput(void)
{
    if (lib.hwo)
        CloseDevice(DetachDevice());
    for (int i = 0; i < BUFFER_COUNT; i++) {
        delete[] lib.buffers[i];
        lib.buffers[i] = NULL;
    }
    delete[] lib.mixAcc;
    delete[] lib.mixOne;
    lib.mixAcc = NULL;
    lib.mixOne = NULL;
    if (lib.hWakeEvent) {
        CloseHandle(lib.hWakeEvent);
        lib.hWakeEvent = NULL;
    }
    lib.haveDevice = 0;
}

// Ends the mixing thread. Must be called without the lock: the thread takes
// it once more before it sees the quit request. FALSE if the thread did not
// end in time (a wave driver stuck in a call): its buffers must then stay.
static int JoinMixerThread(HANDLE thread)
{
    InterlockedExchange(&lib.quit, 1);
    if (lib.hWakeEvent)
        SetEvent(lib.hWakeEvent);
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
        // The device is tried once here and opened for real at each play.
        // Without one the library stays ready and silent: modules load and
        // play handles are issued, nothing is mixed.
        HWAVEOUT hwo = AllocOutput() ? OpenDevice() : NULL;
        if (hwo) {
            CloseDevice(hwo);
            lib.haveDevice = 1;
        } else {
            CloseOutput();
        }
        ok = lib.haveDevice;
    } else if (lib.state == LIB_READY) {
        ok = lib.haveDevice;
    }
    LeaveCriticalSection(&libLock);
    return ok;
}

extern "C" BOOL MIDAS_CALL MIDASstartBackgroundPlay(DWORD pollRate)
{
    (void)pollRate;
    EnterCriticalSection(&libLock);
    BOOL ok = FALSE;
    if (lib.state == LIB_READY && lib.haveDevice && !lib.hThread) {
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
    if (!JoinMixerThread(thread))
        return TRUE;            // the device stays with the stuck thread
    EnterCriticalSection(&libLock);
    HWAVEOUT hwo = DetachDevice();
    LeaveCriticalSection(&libLock);
    if (hwo)
        CloseDevice(hwo);
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
        if (lib.hWakeEvent)
            SetEvent(lib.hWakeEvent);   // the thread sleeps while nothing plays
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
        lib.hWakeEvent = NULL;
        lib.haveDevice = 0;
        for (int i = 0; i < BUFFER_COUNT; i++)
            lib.buffers[i] = NULL;
        lib.mixAcc = NULL;
        lib.mixOne = NULL;
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

// midasmix.h - how midas11.dll turns a module file into sound.
//
// Shared by the library and by the offline renderer used in tests, so that
// a recording of the library can be compared with a rendering of the same
// module sample for sample: both go through exactly these settings.
#ifndef MIDASMIX_H
#define MIDASMIX_H

#include <windows.h>

#ifndef BUILDING_STATIC
#define BUILDING_STATIC // libxmp is linked statically
#endif
#include <xmp.h>

enum {
    MIX_RATE = 44100,            // output frames per second
    MIX_CHANNELS = 2,            // stereo
    MIX_FRAME_BYTES = 4,         // 16-bit signed samples, interleaved
    // Stereo separation in percent. The hard left/right of the old Amiga
    // channels is tiring under headphones for an hour of play.
    MIX_SEPARATION = 60,
    MIX_MAX_FILE_BYTES = 16 * 1024 * 1024,  // larger files are not modules we play
    MIX_PATH = MAX_PATH
};

// Reads a whole file into a new buffer (freed with MixFreeFile). Fails on a
// missing, unreadable, empty or oversized file. A name without a directory
// is looked for in the current folder, then in `altDir` if that is given
// (a folder with a trailing separator).
int MixReadFile(const char *fileName, const char *altDir, BYTE **data, DWORD *size);
void MixFreeFile(BYTE *data);

// A context with the module loaded, or NULL if the bytes are not a module.
xmp_context MixLoad(const BYTE *data, DWORD size);
void MixUnload(xmp_context ctx);

// Starts playback from the top with the library's mixer settings.
int MixStart(xmp_context ctx);

// Mixes `frames` frames into out (interleaved stereo). loop non-zero plays
// on forever; otherwise the module ends after one pass. Returns 1 while
// the module plays on, 0 once it has ended (the rest of out is silence).
int MixRender(xmp_context ctx, short *out, int frames, int loop);

// Length of the module's first song in milliseconds and its channel count.
void MixInfo(xmp_context ctx, int *lengthMs, int *channels);

#endif // MIDASMIX_H

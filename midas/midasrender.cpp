// midasrender.exe - renders a module offline exactly as midas11.dll mixes it.
//
//   midasrender info FILE               prints "channels=N length_ms=M"
//   midasrender render FILE OUT SECS    writes SECS seconds of raw 16-bit
//                                       stereo 44.1 kHz audio (looping)
// Tests compare a recording of the library with this rendering, and the
// module's length and channels with an independent player.
#include "midasmix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { RENDER_FRAMES = 1024, MAX_RENDER_SECONDS = 3600 };

static int Usage(void)
{
    fprintf(stderr, "usage: midasrender info FILE | render FILE OUT SECONDS\n");
    return 2;
}

static xmp_context LoadFile(const char *name)
{
    BYTE *data = NULL;
    DWORD size = 0;
    if (!MixReadFile(name, NULL, &data, &size)) {
        fprintf(stderr, "midasrender: cannot read %s\n", name);
        return NULL;
    }
    xmp_context ctx = MixLoad(data, size);
    MixFreeFile(data);
    if (!ctx)
        fprintf(stderr, "midasrender: %s is not a module\n", name);
    return ctx;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return Usage();
    if (strcmp(argv[1], "info") == 0) {
        xmp_context ctx = LoadFile(argv[2]);
        if (!ctx)
            return 1;
        int ms = 0, channels = 0;
        MixInfo(ctx, &ms, &channels);
        printf("channels=%d length_ms=%d\n", channels, ms);
        MixUnload(ctx);
        return 0;
    }
    if (strcmp(argv[1], "render") == 0 && argc >= 5) {
        int seconds = atoi(argv[4]);
        if (seconds <= 0 || seconds > MAX_RENDER_SECONDS)
            return Usage();
        xmp_context ctx = LoadFile(argv[2]);
        if (!ctx)
            return 1;
        FILE *out = fopen(argv[3], "wb");
        if (!out || !MixStart(ctx)) {
            fprintf(stderr, "midasrender: cannot render to %s\n", argv[3]);
            if (out)
                fclose(out);
            MixUnload(ctx);
            return 1;
        }
        static short buf[RENDER_FRAMES * MIX_CHANNELS];
        long frames = (long)seconds * MIX_RATE;
        while (frames > 0) {
            int n = frames < RENDER_FRAMES ? (int)frames : RENDER_FRAMES;
            MixRender(ctx, buf, n, 1);
            fwrite(buf, MIX_FRAME_BYTES, (size_t)n, out);
            frames -= n;
        }
        fclose(out);
        MixUnload(ctx);
        return 0;
    }
    return Usage();
}

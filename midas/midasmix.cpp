// midasmix.cpp - reading module files and mixing them with libxmp.
#include "midasmix.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int IsRelativePath(const char *name)
{
    if (name[0] == '\\' || name[0] == '/')
        return 0;
    // "C:" with or without a separator names a drive; the folder beside the
    // library has nothing to do with it.
    if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':')
        return 0;
    return 1;
}

static int ReadWholeFile(const char *path, BYTE **data, DWORD *size)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER length;
    int ok = 0;
    if (GetFileSizeEx(h, &length) && length.QuadPart > 0 && length.QuadPart <= MIX_MAX_FILE_BYTES) {
        DWORD want = (DWORD)length.QuadPart;
        BYTE *buf = (BYTE *)malloc(want);
        DWORD got = 0;
        while (buf && got < want) {
            DWORD n = 0;
            if (!ReadFile(h, buf + got, want - got, &n, NULL) || n == 0)
                break;
            got += n;
        }
        if (buf && got == want) {
            *data = buf;
            *size = want;
            ok = 1;
        } else {
            free(buf);
        }
    }
    CloseHandle(h);
    return ok;
}

int MixReadFile(const char *fileName, const char *altDir, BYTE **data, DWORD *size)
{
    *data = NULL;
    *size = 0;
    if (!fileName || !fileName[0] || strnlen(fileName, MIX_PATH) >= MIX_PATH)
        return 0;
    if (ReadWholeFile(fileName, data, size))
        return 1;
    if (!altDir || !altDir[0] || !IsRelativePath(fileName))
        return 0;
    char path[MIX_PATH];
    int n = snprintf(path, sizeof path, "%s%s", altDir, fileName);
    if (n < 0 || n >= (int)sizeof path)
        return 0;
    return ReadWholeFile(path, data, size);
}

void MixFreeFile(BYTE *data)
{
    free(data);
}

xmp_context MixLoad(const BYTE *data, DWORD size)
{
    if (!data || size == 0)
        return NULL;
    xmp_context ctx = xmp_create_context();
    if (!ctx)
        return NULL;
    if (xmp_load_module_from_memory(ctx, data, (long)size) != 0) {
        xmp_free_context(ctx);
        return NULL;
    }
    return ctx;
}

void MixUnload(xmp_context ctx)
{
    if (!ctx)
        return;
    // Safe whether or not a player was started: libxmp tracks its own state.
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

int MixStart(xmp_context ctx)
{
    xmp_end_player(ctx);
    if (xmp_start_player(ctx, MIX_RATE, 0) != 0)
        return 0;
    xmp_set_player(ctx, XMP_PLAYER_MIX, MIX_SEPARATION);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
    return 1;
}

int MixRender(xmp_context ctx, short *out, int frames, int loop)
{
    // libxmp counts completed passes; 1 stops at the end of the first one.
    int r = xmp_play_buffer(ctx, out, frames * MIX_FRAME_BYTES, loop ? 0 : 1);
    if (r != 0) {
        memset(out, 0, (size_t)frames * MIX_FRAME_BYTES);
        return 0;
    }
    return 1;
}

void MixInfo(xmp_context ctx, int *lengthMs, int *channels)
{
    struct xmp_module_info mi;
    memset(&mi, 0, sizeof mi);
    xmp_get_module_info(ctx, &mi);
    *lengthMs = (mi.seq_data && mi.num_sequences > 0) ? mi.seq_data[0].duration : 0;
    *channels = mi.mod ? mi.mod->chn : 0;
}

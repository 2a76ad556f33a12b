// bgimage.cpp - background pictures of the well.
#include "bgimage.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "STAKKA.h"
#include "stkdefs.h"

const char szBuiltinSuffix[] = "Bg";
const char szTileSuffix[] = "Tile";

namespace {

// The picture is always the size of the well, whatever its source.
const int BG_WIDTH = WELL_WIDTH;
const int BG_HEIGHT = WELL_HEIGHT;

// Only the low byte of flags chooses; this is the order in which the kind
// bits win over each other when more than one is set.
const WORD BG_FLAG_BYTE = 0x00FF;
const WORD kindOrder[] = {BG_BUILTIN, BG_SOLID, BG_GRADIENT, BG_PATTERN, BG_FILE};

// Colours are 0x00BBGGRR; a stored value may carry a stray high byte, which
// GDI would read as a palette index.
const COLORREF RGB_MASK = 0x00FFFFFF;

// Resource names: the stored name, cut to what a name can hold, and a suffix.
const int RESNAME_LEN = OPTION_NAME_LEN + 8;

const char szErrBuiltin[] = "Error loading built in bitmap resource!";
const char szErrTile[] = "Error loading tile bmp";
const char szErrBrush[] = "Error creating pattern brush";
const char szErrFile[] = "Error loading background image %s";
const char szErrMemory[] = "Not enough memory for the background picture";

WORD ChooseKind(WORD flags)
{
    for (size_t i = 0; i < sizeof kindOrder / sizeof kindOrder[0]; i++)
        if (flags & BG_FLAG_BYTE & kindOrder[i])
            return kindOrder[i];
    return 0;
}

// The stored name is input: it may fill its array without a terminator.
void BoundedName(const char *name, char *out, size_t cb)
{
    size_t n = strnlen(name, OPTION_NAME_LEN - 1);
    if (n >= cb)
        n = cb - 1;
    memcpy(out, name, n);
    out[n] = '\0';
}

void ResourceName(const char *name, const char *suffix, char *out, size_t cb)
{
    char base[OPTION_NAME_LEN];
    BoundedName(name, base, sizeof base);
    snprintf(out, cb, "%s%s", base, suffix);
}

WORD ReadWord(const BYTE *p) { return (WORD)(p[0] | (p[1] << 8)); }
DWORD ReadDword(const BYTE *p) { return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24); }

const DWORD FILE_HEADER_LEN = 14;
const DWORD CORE_HEADER_LEN = 12;
const DWORD INFO_HEADER_LEN = 40;
const DWORD V5_HEADER_LEN = 124;
const DWORD BITFIELDS_MASKS_LEN = 12;

int BitCountOk(WORD bits, int core)
{
    switch (bits) {
    case 1: case 4: case 8: case 24: return 1;
    case 16: case 32: return !core;
    default: return 0;
    }
}

} // namespace

int BitmapFileIsSound(const char *path)
{
    if (!path || !path[0])
        return 0;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER fileSize;
    BYTE hdr[FILE_HEADER_LEN + V5_HEADER_LEN];
    DWORD got = 0;
    memset(hdr, 0, sizeof hdr);
    int ok = GetFileSizeEx(f, &fileSize) && ReadFile(f, hdr, sizeof hdr, &got, NULL);
    CloseHandle(f);
    if (!ok)
        return 0;
    const LONGLONG total = fileSize.QuadPart;
    if (total < (LONGLONG)(FILE_HEADER_LEN + CORE_HEADER_LEN) || total > MAX_BG_FILE_BYTES)
        return 0;
    if (hdr[0] != 'B' || hdr[1] != 'M')
        return 0;
    const DWORD offBits = ReadDword(hdr + 10);
    const DWORD infoLen = ReadDword(hdr + FILE_HEADER_LEN);
    const BYTE *info = hdr + FILE_HEADER_LEN;
    const int core = infoLen == CORE_HEADER_LEN;
    if (!core && (infoLen < INFO_HEADER_LEN || infoLen > V5_HEADER_LEN))
        return 0;
    if (got < FILE_HEADER_LEN + infoLen)
        return 0;

    LONGLONG width, height;
    WORD planes, bits;
    DWORD compression = BI_RGB, clrUsed = 0, sizeImage = 0;
    if (core) {
        width = ReadWord(info + 4);
        height = ReadWord(info + 6);
        planes = ReadWord(info + 8);
        bits = ReadWord(info + 10);
    } else {
        width = (LONG)ReadDword(info + 4);
        height = (LONG)ReadDword(info + 8);
        planes = ReadWord(info + 12);
        bits = ReadWord(info + 14);
        compression = ReadDword(info + 16);
        sizeImage = ReadDword(info + 20);
        clrUsed = ReadDword(info + 32);
    }
    const int topDown = height < 0;
    if (topDown)
        height = -height;
    if (planes != 1 || !BitCountOk(bits, core))
        return 0;
    if (width <= 0 || height <= 0 || width > MAX_BG_FILE_SIDE || height > MAX_BG_FILE_SIDE ||
        width * height > MAX_BG_FILE_PIXELS)
        return 0;

    // Colour table and bit-field masks between the headers and the bits.
    LONGLONG tableLen = 0;
    if (bits <= 8) {
        const DWORD most = 1u << bits;
        if (clrUsed > most)
            return 0;
        tableLen = (LONGLONG)(clrUsed ? clrUsed : most) * (core ? 3 : 4);
    } else if (compression == BI_BITFIELDS && infoLen == INFO_HEADER_LEN) {
        tableLen = BITFIELDS_MASKS_LEN;
    }
    if ((LONGLONG)offBits < (LONGLONG)(FILE_HEADER_LEN + infoLen) + tableLen || (LONGLONG)offBits > total)
        return 0;
    const LONGLONG available = total - offBits;

    switch (compression) {
    case BI_RGB:
    case BI_BITFIELDS: {
        if (compression == BI_BITFIELDS && bits != 16 && bits != 32)
            return 0;
        const LONGLONG stride = ((width * bits + 31) / 32) * 4;
        return stride * height <= available;
    }
    case BI_RLE8:
    case BI_RLE4:
        // Run-length data has no fixed size: it must be declared and present.
        if (topDown || bits != (compression == BI_RLE8 ? 8 : 4))
            return 0;
        return sizeImage > 0 && (LONGLONG)sizeImage <= available;
    default:
        return 0;
    }
}

BackgroundImage::BackgroundImage(HWND hwndParent, HINSTANCE hinstDll, BACKGROUND &bg)
    : Image(), hbm(NULL)
{
    HDC hdcRef = GetDC(hwndParent);
    if (!hdcRef) {
        // A window that is gone still leaves the screen to draw like.
        hwndParent = NULL;
        hdcRef = GetDC(NULL);
    }
    hdcImage = CreateCompatibleDC(hdcRef);

    WORD kind = ChooseKind(bg.flags);
    if (!kind) {
        bg.flags = BG_SOLID;
        kind = ChooseKind(bg.flags);
    }
    switch (kind) {
    case BG_BUILTIN: DrawBuiltin(hdcRef, hinstDll, bg); break;
    case BG_SOLID: DrawSolid(hdcRef, bg.color[0]); break;
    case BG_GRADIENT: DrawGradient(hdcRef, bg.color[0], bg.color[1]); break;
    case BG_PATTERN: DrawPattern(hdcRef, hinstDll, bg); break;
    case BG_FILE: DrawFile(hdcRef, bg); break;
    }

    size.cx = BG_WIDTH;
    size.cy = BG_HEIGHT;
    org.x = 0;
    org.y = 0;
    DPtoLP(hdcRef, &org, 1);
    if (hdcImage)
        SetMapMode(hdcImage, GetMapMode(hdcRef));
    ReleaseDC(hwndParent, hdcRef);
}

BackgroundImage::~BackgroundImage()
{
    // The surface goes first so that the bitmap is no longer selected
    // anywhere when it is deleted.
    if (hdcImage)
        DeleteDC(hdcImage);
    hdcImage = NULL;
    if (hbm)
        DeleteObject(hbm);
    hbm = NULL;
}

int BackgroundImage::MakeBitmap(HDC hdcRef)
{
    hbm = CreateCompatibleBitmap(hdcRef, BG_WIDTH, BG_HEIGHT);
    if (!hbm || !hdcImage)
        return 0;
    SelectObject(hdcImage, hbm);
    return 1;
}

void BackgroundImage::Fill(COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color & RGB_MASK);
    HGDIOBJ old = SelectObject(hdcImage, brush);
    PatBlt(hdcImage, 0, 0, BG_WIDTH, BG_HEIGHT, PATCOPY);
    SelectObject(hdcImage, old);
    DeleteObject(brush);
}

void BackgroundImage::DrawBuiltin(HDC hdcRef, HINSTANCE hinstDll, const BACKGROUND &bg)
{
    char resname[RESNAME_LEN];
    ResourceName(bg.name, szBuiltinSuffix, resname, sizeof resname);
    // The library's bitmap is shown as it is, unscaled from the top-left corner.
    hbm = hinstDll ? LoadBitmapA(hinstDll, resname) : NULL;
    if (!hbm) {
        MbError(szErrBuiltin);
        // A plain well rather than whatever an empty surface would show.
        if (MakeBitmap(hdcRef))
            Fill(bg.color[0]);
        return;
    }
    if (hdcImage)
        SelectObject(hdcImage, hbm);
}

void BackgroundImage::DrawSolid(HDC hdcRef, COLORREF color)
{
    if (MakeBitmap(hdcRef))
        Fill(color);
}

void BackgroundImage::DrawGradient(HDC hdcRef, COLORREF top, COLORREF bottom)
{
    if (!MakeBitmap(hdcRef))
        return;
    const int c0[3] = {GetRValue(top), GetGValue(top), GetBValue(top)};
    const int c1[3] = {GetRValue(bottom), GetGValue(bottom), GetBValue(bottom)};
    // Single precision on purpose: the rows are defined by a float that
    // steps D / 352 at a time. volatile keeps the 387 unit of a 32-bit build
    // from carrying more precision between rows than a float has.
    volatile float step[3], run[3];
    for (int i = 0; i < 3; i++) {
        step[i] = (float)(c1[i] - c0[i]) / (float)BG_HEIGHT;
        run[i] = (float)c0[i];
    }
    for (int y = 0; y < BG_HEIGHT; y++) {
        int v[3];
        for (int i = 0; i < 3; i++) {
            if (y > 0)
                run[i] = run[i] + step[i];
            v[i] = (int)run[i];
            if (v[i] < 0) v[i] = 0;
            if (v[i] > 255) v[i] = 255;
        }
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(v[0], v[1], v[2]));
        HGDIOBJ old = SelectObject(hdcImage, pen);
        MoveToEx(hdcImage, 0, y, NULL);
        LineTo(hdcImage, BG_WIDTH, y);
        SelectObject(hdcImage, old);
        DeleteObject(pen);
    }
}

void BackgroundImage::DrawPattern(HDC hdcRef, HINSTANCE hinstDll, const BACKGROUND &bg)
{
    if (!MakeBitmap(hdcRef))
        return;
    char resname[RESNAME_LEN];
    ResourceName(bg.name, szTileSuffix, resname, sizeof resname);
    HBITMAP tile = hinstDll ? LoadBitmapA(hinstDll, resname) : NULL;
    if (!tile) {
        MbError(szErrTile);
        Fill(bg.color[0]);
        return;
    }
    HBRUSH brush = CreatePatternBrush(tile);
    if (!brush) {
        MbError(szErrBrush);
        DeleteObject(tile);
        Fill(bg.color[0]);
        return;
    }
    // The pattern starts at the top-left corner of the well.
    SetBrushOrgEx(hdcImage, 0, 0, NULL);
    HGDIOBJ old = SelectObject(hdcImage, brush);
    PatBlt(hdcImage, 0, 0, BG_WIDTH, BG_HEIGHT, PATCOPY);
    SelectObject(hdcImage, old);
    DeleteObject(brush);
    DeleteObject(tile);
}

void BackgroundImage::DrawFile(HDC hdcRef, const BACKGROUND &bg)
{
    if (!MakeBitmap(hdcRef))
        return;
    char path[OPTION_NAME_LEN];
    BoundedName(bg.name, path, sizeof path);
    HBITMAP pic = NULL;
    if (BitmapFileIsSound(path))
        pic = (HBITMAP)LoadImageA(NULL, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    BITMAP bm;
    if (pic && GetObjectA(pic, sizeof bm, &bm) != (int)sizeof bm) {
        DeleteObject(pic);
        pic = NULL;
    }
    if (!pic) {
        MbError(szErrFile, path);
        Fill(bg.color[0]);
        return;
    }
    const int w = bm.bmWidth, h = bm.bmHeight;
    HDC scratch = CreateCompatibleDC(hdcRef);
    HGDIOBJ oldPic = SelectObject(scratch, pic);

    const WORD placement = bg.flags & BG_FLAG_BYTE;
    if (placement & BG_CENTER) {
        Fill(bg.color[0]);
        BitBlt(hdcImage, BG_WIDTH / 2 - w / 2, BG_HEIGHT / 2 - h / 2, w, h, scratch, 0, 0, SRCCOPY);
    } else if (placement & BG_TILE) {
        // Copies at x = 0, w, 2w, ... and y = 0, h, 2h, ...: one copy from the
        // file, then the surface doubles what it already holds. Every copy
        // still starts at a multiple of w (or h), so the result is the same as
        // copying each tile, in a few dozen copies even for a 1 x 1 picture.
        BitBlt(hdcImage, 0, 0, w, h, scratch, 0, 0, SRCCOPY);
        for (int done = w; done < BG_WIDTH; done *= 2)
            BitBlt(hdcImage, done, 0, done, h, hdcImage, 0, 0, SRCCOPY);
        for (int done = h; done < BG_HEIGHT; done *= 2)
            BitBlt(hdcImage, 0, done, BG_WIDTH, done, hdcImage, 0, 0, SRCCOPY);
    } else if (placement & BG_STRETCH) {
        // Enlarged in each direction on its own, never shrunk: a larger side
        // keeps its size and is cut at the right or bottom.
        const int cx = w > BG_WIDTH ? w : BG_WIDTH;
        const int cy = h > BG_HEIGHT ? h : BG_HEIGHT;
        StretchBlt(hdcImage, 0, 0, cx, cy, scratch, 0, 0, w, h, SRCCOPY);
    } else {
        Fill(bg.color[0]);
        BitBlt(hdcImage, 0, 0, w, h, scratch, 0, 0, SRCCOPY);
    }
    SelectObject(scratch, oldPic);
    DeleteDC(scratch);
    DeleteObject(pic);
}

BackgroundImage *NewBackgroundImage(HWND hwndParent, HINSTANCE hinstDll, BACKGROUND &bg)
{
    BackgroundImage *picture = new (std::nothrow) BackgroundImage(hwndParent, hinstDll, bg);
    if (!picture)
        MbError(szErrMemory);
    return picture;
}

void RebuildBackground(REBUILD &state, BackgroundImage *&pic, HWND owner, HINSTANCE hinstDll,
                       BACKGROUND &bg)
{
    if (state.building) {
        state.again = 1;
        return;
    }
    state.building = 1;
    do {
        state.again = 0;
        if ((bg.flags & BG_FILE) && bg.name[0] == '\0')
            break;
        BackgroundImage *fresh = NewBackgroundImage(owner, hinstDll, bg);
        if (!fresh)
            break;
        if (!IsWindow(owner)) {
            delete fresh; // closed under the box: nothing to show it in
            break;
        }
        BackgroundImage *old = pic;
        pic = fresh;
        delete old;
    } while (state.again);
    state.building = 0;
}

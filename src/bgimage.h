// bgimage.h - the 192 x 352 picture behind the well.
//
// Built once from a BACKGROUND record (a built-in picture or a pattern tile
// from the graphics library, a bitmap file, a solid colour or a vertical
// gradient) and then used as a plain Image of that size. A new one is made
// whenever the settings change; an existing one is never altered.
#ifndef BGIMAGE_H
#define BGIMAGE_H

#include <windows.h>

#include "image.h"
#include "options.h"

// Resource name suffixes in the graphics library.
extern const char szBuiltinSuffix[]; // "Bg"
extern const char szTileSuffix[];    // "Tile"

// A bitmap file chosen by the user is input: it must have a sound header, at
// most this many pixels a side and in all, and all the pixel data its
// header promises, before the platform's loader is let near it.
const LONG MAX_BG_FILE_SIDE = 16384;
const LONGLONG MAX_BG_FILE_PIXELS = 16LL * 1024 * 1024;
const LONGLONG MAX_BG_FILE_BYTES = 96LL * 1024 * 1024;

// 1 when path names a bitmap file whose header holds up to the checks above
// (uncompressed, run-length or bit-field coded, 1 to 32 bits a pixel).
int BitmapFileIsSound(const char *path);

class BackgroundImage : public Image {
public:
    // hwndParent lends its drawing context as the template of the picture's
    // surface (null: the screen); hinstDll is the graphics library. When bg
    // names no source, bg.flags becomes BG_SOLID. A failure shows its message
    // and leaves a plain picture of bg.color[0]; the object is usable either way.
    BackgroundImage(HWND hwndParent, HINSTANCE hinstDll, BACKGROUND &bg);
    virtual ~BackgroundImage();

    HBITMAP hbm; // the picture's bitmap, selected into hdcImage; owned

private:
    // hdcRef is the borrowed template context, during construction only.
    void DrawBuiltin(HDC hdcRef, HINSTANCE hinstDll, const BACKGROUND &bg);
    void DrawSolid(HDC hdcRef, COLORREF color);
    void DrawGradient(HDC hdcRef, COLORREF top, COLORREF bottom);
    void DrawPattern(HDC hdcRef, HINSTANCE hinstDll, const BACKGROUND &bg);
    void DrawFile(HDC hdcRef, const BACKGROUND &bg);
    int MakeBitmap(HDC hdcRef);
    void Fill(COLORREF color);
};

// A new picture as the constructor above builds it, allocated without
// exceptions: null, after an error box, when memory ran out.
BackgroundImage *NewBackgroundImage(HWND hwndParent, HINSTANCE hinstDll, BACKGROUND &bg);

// The state of one picture's rebuilds (one per place that shows a picture).
struct REBUILD {
    int building; // a build is under way
    int again;    // another build was asked for meanwhile
};

// Replaces pic with a new picture of bg, built before the old one is deleted: building may show
// an error box whose modal loop repaints (drawing pic) and may ask for another rebuild, which is
// only noted and then done by the call under way. A file background without a file, a failed
// allocation, or an owner gone under the box keeps the old picture.
void RebuildBackground(REBUILD &state, BackgroundImage *&pic, HWND owner, HINSTANCE hinstDll,
                       BACKGROUND &bg);

#endif // BGIMAGE_H

// image.h - a picture held in an off-screen surface, copied whole, in part or
// scaled onto another surface.
//
// Ownership: an Image owns its surface hdcImage and never the bitmap shown in
// it. Whoever made the bitmap keeps it and deletes it after the image is gone
// (a bitmap must not be deleted while it is still selected into a surface).
// Images are held by pointer and never copied.
#ifndef IMAGE_H
#define IMAGE_H

#include <windows.h>

class Image {
public:
    // No surface yet: only for a derived picture that makes its own.
    Image();
    // Wraps hbitmap: size is the bitmap's, the surface is compatible with hdc
    // and takes its mapping mode. hdc may be null (the screen).
    Image(HBITMAP hbitmap, HDC hdc);
    virtual ~Image();

    // The whole image (size.cx x size.cy from org) to (x, y) of hdc.
    virtual void Blit(HDC hdc, int x, int y);
    // The rectangle (x, y, cx, cy) of the image to the same place of hdc.
    virtual void BlitRect(HDC hdc, int x, int y, int cx, int cy);
    // The whole image scaled onto the rectangle (x, y, cx, cy) of hdc.
    virtual void StretchBlit(HDC hdc, int x, int y, int cx, int cy);
    // The other way round: w x h pixels at (xfrom, yfrom) of hdc into the
    // image at (x, y).
    void BlitFrom(int x, int y, HDC hdc, int xfrom, int yfrom, int w, int h);

    HDC hdcImage; // owned; the shown bitmap is selected into it
    SIZE size;    // what the image shows, in pixels
    POINT org;    // where Blit copies from

    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;
};

#endif // IMAGE_H

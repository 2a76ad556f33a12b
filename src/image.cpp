// image.cpp - off-screen images.
#include "image.h"

Image::Image() : hdcImage(NULL)
{
    size.cx = 0;
    size.cy = 0;
    org.x = 0;
    org.y = 0;
}

Image::Image(HBITMAP hbitmap, HDC hdc) : hdcImage(NULL)
{
    BITMAP bm;
    size.cx = 0;
    size.cy = 0;
    if (hbitmap && GetObjectA(hbitmap, sizeof bm, &bm) == (int)sizeof bm) {
        size.cx = bm.bmWidth;
        size.cy = bm.bmHeight;
    }
    // The origin is kept in the reference surface's logical units, so a
    // surface with a mapping mode of its own copies from the right place.
    org.x = 0;
    org.y = 0;
    if (hdc)
        DPtoLP(hdc, &org, 1);
    hdcImage = CreateCompatibleDC(hdc);
    if (hdcImage) {
        if (hbitmap)
            SelectObject(hdcImage, hbitmap);
        if (hdc)
            SetMapMode(hdcImage, GetMapMode(hdc));
    }
}

Image::~Image()
{
    // Deleting the surface lets go of the bitmap without deleting it; the
    // bitmap belongs to whoever made it.
    if (hdcImage)
        DeleteDC(hdcImage);
    hdcImage = NULL;
}

void Image::Blit(HDC hdc, int x, int y)
{
    BitBlt(hdc, x, y, size.cx, size.cy, hdcImage, org.x, org.y, SRCCOPY);
}

void Image::BlitRect(HDC hdc, int x, int y, int cx, int cy)
{
    BitBlt(hdc, x, y, cx, cy, hdcImage, x, y, SRCCOPY);
}

void Image::StretchBlit(HDC hdc, int x, int y, int cx, int cy)
{
    // The default stretch mode ANDs the rows it drops, which darkens a
    // shrunken colour picture; dropping them plainly keeps its colours. The
    // caller's mode is put back.
    int oldMode = SetStretchBltMode(hdc, COLORONCOLOR);
    StretchBlt(hdc, x, y, cx, cy, hdcImage, 0, 0, size.cx, size.cy, SRCCOPY);
    if (oldMode)
        SetStretchBltMode(hdc, oldMode);
}

void Image::BlitFrom(int x, int y, HDC hdc, int xfrom, int yfrom, int w, int h)
{
    BitBlt(hdcImage, x, y, w, h, hdc, xfrom, yfrom, SRCCOPY);
}

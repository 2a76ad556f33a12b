// testkit.cpp - helpers shared by the test programs (see testkit.h).
#include "testkit.h"

#include <stdio.h>
#include <string.h>

#include "STAKKA.h"

// ---- messages and records ------------------------------------------------------------------

void DrainMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
    }
}

// ---- pixels and BMP files -------------------------------------------------------------------

Surface::Surface(int width, int height, COLORREF fill) : w(width), h(height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, (void**)&bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    for (int i = 0; i < w * h; i++)
        Set(i % w, i / w, fill);
}

Surface::~Surface()
{
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
}

Pixels Surface::Read() const
{
    GdiFlush();
    Pixels p{w, h, {}};
    for (int i = 0; i < w * h; i++)
        p.px.push_back(RGB(GetBValue(bits[i]), GetGValue(bits[i]), GetRValue(bits[i])));
    return p;
}

Pixels ReadPixels(HDC src, int w, int h)
{
    Surface s(w, h, 0);
    BitBlt(s.dc, 0, 0, w, h, src, 0, 0, SRCCOPY);
    return s.Read();
}

Pixels ReadBitmap(HBITMAP bm)
{
    BITMAP info = {};
    GetObjectA(bm, sizeof info, &info);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    Pixels p = ReadPixels(dc, info.bmWidth, info.bmHeight);
    SelectObject(dc, old);
    DeleteDC(dc);
    return p;
}

Pixels ReadWindow(HWND hwnd)
{
    RECT r = {};
    GetClientRect(hwnd, &r);
    Surface s(r.right, r.bottom, RGB(1, 2, 3));
    SendMessageA(hwnd, WM_PRINTCLIENT, (WPARAM)s.dc, PRF_CLIENT);
    return s.Read();
}

std::vector<BYTE> Bmp24(int w, int h, PixelFn fn)
{
    const int stride = (w * 3 + 3) & ~3;
    std::vector<BYTE> f(54 + (size_t)stride * h, 0);
    BITMAPFILEHEADER fh = {0x4D42, (DWORD)f.size(), 0, 0, 54};
    BITMAPINFOHEADER ih = {40, w, h, 1, 24, BI_RGB, (DWORD)stride * h, 0, 0, 0, 0};
    memcpy(&f[0], &fh, 14);
    memcpy(&f[14], &ih, 40);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            COLORREF c = fn(x, y);
            BYTE* p = &f[54 + (size_t)(h - 1 - y) * stride + x * 3];
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        }
    return f;
}

std::string WriteTempFile(const char* name, const std::vector<BYTE>& data)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string path = std::string(dir) + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return path;
    if (!data.empty()) // fwrite wants a real buffer even for no bytes
        fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    return path;
}

// ---- error boxes ------------------------------------------------------------------------------

namespace
{
std::vector<BOXSEEN> boxes;
BoxRecorder* current = nullptr;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    boxes.push_back(BOXSEEN{owner, text ? text : "", caption ? caption : "", type});
    if (current && current->onBox)
        current->onBox(boxes.back());
    return IDOK;
}
} // namespace

BoxRecorder::BoxRecorder() : previous(SetMbErrorBox(RecordBox))
{
    boxes.clear();
    current = this;
}

BoxRecorder::~BoxRecorder()
{
    SetMbErrorBox(previous);
    current = nullptr;
}

std::vector<std::string> BoxRecorder::Texts() const
{
    std::vector<std::string> t;
    for (const BOXSEEN& b : boxes)
        t.push_back(b.text);
    return t;
}

const std::vector<BOXSEEN>& BoxRecorder::Boxes() const
{
    return boxes;
}
void BoxRecorder::Clear()
{
    boxes.clear();
}

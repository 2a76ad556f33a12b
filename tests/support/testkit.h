// testkit.h - helpers shared by the test programs, one section per concern.
#ifndef TESTKIT_H
#define TESTKIT_H

#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

// ---- messages and records -----------------------------------------------------------------------

// Dispatches every message waiting for this thread; a WM_QUIT among them is dropped.
void DrainMessages();

// Dispatches messages until cond() holds or ms have passed; returns cond() at the end.
template <class F> bool PumpUntil(F cond, DWORD ms = 5000)
{
    const DWORD start = GetTickCount();
    while (!cond() && GetTickCount() - start < ms) {
        DrainMessages();
        Sleep(1);
    }
    return cond();
}

// Points, sizes and rectangles compared and printed as records in assertions.
inline bool operator==(const POINT& a, const POINT& b)
{
    return a.x == b.x && a.y == b.y;
}
inline bool operator==(const SIZE& a, const SIZE& b)
{
    return a.cx == b.cx && a.cy == b.cy;
}
inline bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const POINT& p, std::ostream* os)
{
    *os << "(" << p.x << ", " << p.y << ")";
}
inline void PrintTo(const SIZE& s, std::ostream* os)
{
    *os << s.cx << " x " << s.cy;
}
inline void PrintTo(const RECT& r, std::ostream* os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

// ---- pixels and BMP files -------------------------------------------------------------------

// Pixels read back from a surface, top row first, as COLORREF values.
struct Pixels {
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    COLORREF At(int x, int y) const { return px[(size_t)y * w + x]; }
    // How many pixels are not c.
    int CountNot(COLORREF c) const { return int(px.size() - std::count(px.begin(), px.end(), c)); }
};

// A memory surface with a 32-bit top-down DIB selected, to draw into and read back.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bm = nullptr;
    DWORD* bits = nullptr;
    HGDIOBJ old = nullptr;
    int w, h;
    Surface(int width, int height, COLORREF fill);
    ~Surface();
    // The DIB holds 0x00RRGGBB, a COLORREF 0x00BBGGRR: the swap is its own inverse.
    void Set(int x, int y, COLORREF c)
    {
        bits[y * w + x] = RGB(GetBValue(c), GetGValue(c), GetRValue(c));
    }
    Pixels Read() const;
    Surface(const Surface&) = delete;
};

// w x h pixels at (0, 0) of any surface, copied through a DIB.
Pixels ReadPixels(HDC src, int w, int h);
// A bitmap's pixels (the bitmap must not be selected anywhere).
Pixels ReadBitmap(HBITMAP bm);
// What a window's client area paints into a memory surface (WM_PRINTCLIENT).
Pixels ReadWindow(HWND hwnd);

// The bytes of a bottom-up 24-bit BMP file of w x h pixels coloured by fn.
typedef COLORREF (*PixelFn)(int x, int y);
std::vector<BYTE> Bmp24(int w, int h, PixelFn fn);
// Writes bytes to a file in the temporary folder and returns its full path.
std::string WriteTempFile(const char* name, const std::vector<BYTE>& data);

// ---- error boxes ------------------------------------------------------------------------------

struct BOXSEEN {
    HWND owner;
    std::string text, caption;
    UINT type;
};

// Records MbError's boxes instead of showing them, while it lives. A callback, when
// set, runs inside each box (as a real box's modal loop would let code run).
class BoxRecorder
{
  public:
    BoxRecorder();
    ~BoxRecorder();
    std::vector<std::string> Texts() const;
    const std::vector<BOXSEEN>& Boxes() const;
    void Clear();
    void (*onBox)(const BOXSEEN& box) = nullptr;

  private:
    int(WINAPI* previous)(HWND, LPCSTR, LPCSTR, UINT);
};

#endif // TESTKIT_H

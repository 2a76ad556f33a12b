// testkit.h - what several test programs share.
#ifndef TESTKIT_H
#define TESTKIT_H

#include <windows.h>

#include <string>
#include <vector>

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

#endif

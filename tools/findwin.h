// findwin.h - finding a visible top-level window of another process, for the programs that
// drive the game from outside it (the screenshot driver, the two-player benchmark).
#ifndef FINDWIN_H
#define FINDWIN_H

#include <windows.h>

#include <string.h>

struct FINDWINDOW {
    DWORD pid;
    const char* cls;   // null: any class
    const char* title; // null: any title
    HWND found;
};

inline BOOL CALLBACK FindWindowOf(HWND hwnd, LPARAM lParam)
{
    FINDWINDOW* f = (FINDWINDOW*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != f->pid || !IsWindowVisible(hwnd))
        return TRUE;
    char cls[64] = "";
    char title[128] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, title, sizeof title);
    if ((f->cls && strcmp(cls, f->cls)) || (f->title && strcmp(title, f->title)))
        return TRUE;
    f->found = hwnd;
    return FALSE;
}

// The first visible top-level window of process pid with that class and title (null: any);
// null when it has none.
inline HWND FindProcessWindow(DWORD pid, const char* cls, const char* title)
{
    FINDWINDOW f = {pid, cls, title, NULL};
    EnumWindows(FindWindowOf, (LPARAM)&f);
    return f.found;
}

#endif // FINDWIN_H

/* floor.c - the memory floor: an empty Win32 window and its message loop, nothing else.
   scripts/bench-memory.sh builds it with the tree's compiler and compares the program's RSS
   with its own under the same Wine. It closes itself after the seconds given (default 30). */
#include <windows.h>
#include <stdlib.h>

static LRESULT CALLBACK FloorWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER || msg == WM_CLOSE) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hinst, HINSTANCE prev, LPSTR cmd, int show)
{
    WNDCLASSA wc = {0};
    MSG msg;
    HWND hwnd;
    int seconds = atoi(cmd) > 0 ? atoi(cmd) : 30;
    (void)prev;
    wc.lpfnWndProc = FloorWndProc;
    wc.hInstance = hinst;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = "Floor";
    RegisterClassA(&wc);
    hwnd = CreateWindowA("Floor", "Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400,
                         300, NULL, NULL, hinst, NULL);
    ShowWindow(hwnd, show);
    SetTimer(hwnd, 1, (UINT)seconds * 1000, NULL);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// bench_netplay.cpp - the two-player benchmark. Prints numbers; judges nothing.
//
//   bench_netplay.exe latency
//     Two sessions over loopback in this process: time from one side handing
//     its well to the session (what a landing does) until the other side has
//     composed it in a Stats-panel surface and painted the panel window.
//   bench_netplay.exe program <folder of stakka.exe> <seconds>
//     Two real copies of the program on one Wine desktop, driven through their
//     menus and dialogs: CPU of the host while it waits for a player, CPU of
//     both during a match, then the host is closed and the guest's error box
//     and File menu are read back.
// Loopback only (127.0.0.1); every wait is bounded.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string.h>
#include <vector>

#include "dlgids.h"
#include "netplay.h"
#include "netshell.h"
#include "oppview.h"
#include "resource.h"

namespace
{

// ---- In-process latency ---------------------------------------------------------

struct Side : public NetEvents {
    NetSession session;
    HWND hwnd = NULL;
    HWND panel = NULL;
    HDC surface = NULL;
    int connected = 0;
    int boards = 0;
    LARGE_INTEGER shown = {};
    void OnNetConnected() override { connected++; }
    void OnNetMessage(const NETMSG& m) override
    {
        if (m.type != NETMSG_BOARD)
            return;
        COLORREF colors[RISING_CELL + 1];
        for (int v = 0; v <= RISING_CELL; v++)
            colors[v] = RGB(30 * v, 100, 200);
        RECT r = {0, 0, STATS_WIDTH, STATS_HEIGHT};
        FillRect(surface, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
        DrawOpponentBoard(surface, m.board, colors);
        InvalidateRect(panel, NULL, FALSE);
        UpdateWindow(panel); // the panel's WM_PAINT copies the surface
        QueryPerformanceCounter(&shown);
        boards++;
    }
    void OnNetClosed(int) override {}
};

Side* painting = NULL;

LRESULT CALLBACK SideWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Side* s = (Side*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (s && msg == WM_NETSOCKET) {
        s->session.OnSocket(wParam, lParam);
        return 0;
    }
    if (s && msg == WM_NETLOOKUP) {
        s->session.OnLookup(wParam);
        return 0;
    }
    if (msg == WM_PAINT && painting) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        BitBlt(hdc, 0, 0, STATS_WIDTH, STATS_HEIGHT, painting->surface, 0, 0, SRCCOPY);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    MSG msg;
    do {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (GetTickCount() - start < ms)
            MsgWaitForMultipleObjects(0, NULL, FALSE, 1, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

int Latency()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = SideWndProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "BenchSide";
    RegisterClassA(&wc);
    Side a, b;
    for (Side* s : {&a, &b}) {
        s->hwnd = CreateWindowExA(0, "BenchSide", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  wc.hInstance, NULL);
        SetWindowLongPtrA(s->hwnd, GWLP_USERDATA, (LONG_PTR)s);
        s->session.Init(s->hwnd, WM_NETSOCKET, WM_NETLOOKUP, NET_TIMER_ID, s);
    }
    b.panel = CreateWindowExA(0, "BenchSide", "Stats", WS_POPUP | WS_VISIBLE, 0, 0, STATS_WIDTH,
                              STATS_HEIGHT, NULL, NULL, wc.hInstance, NULL);
    HDC screen = GetDC(NULL);
    b.surface = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, STATS_WIDTH, STATS_HEIGHT);
    HGDIOBJ old = SelectObject(b.surface, bm);
    ReleaseDC(NULL, screen);
    painting = &b;

    const unsigned short port = 24399;
    if (a.session.Listen(port) || b.session.Connect("127.0.0.1", port)) {
        printf("latency: could not set up loopback sessions\n");
        return 1;
    }
    for (int i = 0; i < 500 && !(a.connected && b.connected); i++)
        Pump(10);
    NETMSG start = {};
    start.type = NETMSG_START;
    start.seed = 1;
    a.session.Send(start);
    Pump(50);

    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    NETMSG m = {};
    m.type = NETMSG_BOARD;
    m.board.pieceColor = MATCH_NO_PIECE;
    for (int i = 0; i < 300; i++) {
        m.board.cells[i % WELL_COLS][WELL_ROWS - 1 - (i / WELL_COLS) % 10] = (BYTE)(1 + i % 7);
        m.board.score = (DWORD)i;
        int before = b.boards;
        LARGE_INTEGER t0;
        QueryPerformanceCounter(&t0);
        a.session.Send(m);
        DWORD deadline = GetTickCount() + 1000;
        MSG msg;
        while (b.boards == before && GetTickCount() < deadline) {
            if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            else
                MsgWaitForMultipleObjects(0, NULL, FALSE, 1, QS_ALLINPUT);
        }
        if (b.boards > before)
            ms.push_back((double)(b.shown.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart);
        Pump(2);
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        printf("latency: no board arrived\n");
        return 1;
    }
    printf("landing -> opponent's Stats panel painted (loopback, %u samples): median %.3f ms, "
           "p95 %.3f ms, max %.3f ms\n",
           (unsigned)ms.size(), ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    painting = NULL;
    a.session.Close();
    b.session.Close();
    SelectObject(b.surface, old);
    DeleteObject(bm);
    DeleteDC(b.surface);
    return 0;
}

// ---- The real program ---------------------------------------------------------

struct Copy {
    PROCESS_INFORMATION pi;
    HWND main;
};

struct FindArgs {
    DWORD pid;
    const char* cls;
    const char* title;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp)
{
    FindArgs* a = (FindArgs*)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = "", title[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, title, sizeof title);
    if (pid == a->pid && IsWindowVisible(hwnd) && (!a->cls || !strcmp(cls, a->cls)) &&
        (!a->title || !strcmp(title, a->title))) {
        a->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND WaitWindow(DWORD pid, const char* cls, const char* title, DWORD ms)
{
    for (DWORD waited = 0; waited < ms; waited += 50) {
        FindArgs a = {pid, cls, title, NULL};
        EnumWindows(FindTop, (LPARAM)&a);
        if (a.found)
            return a.found;
        Sleep(50);
    }
    return NULL;
}

int Launch(const char* dir, Copy& c)
{
    char cmd[MAX_PATH + 16];
    snprintf(cmd, sizeof cmd, "\"%s\\stakka.exe\"", dir);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, 0, NULL, dir, &si, &c.pi))
        return 0;
    c.main = WaitWindow(c.pi.dwProcessId, "Stakka", NULL, 20000);
    return c.main != NULL;
}

// Answers a dialog of the copy: the text into its edit field, then OK.
int Answer(const Copy& c, const char* title, const char* text)
{
    HWND dlg = WaitWindow(c.pi.dwProcessId, "#32770", title, 5000);
    if (!dlg)
        return 0;
    Sleep(200);
    SendMessageA(GetDlgItem(dlg, IDC_NETPORT), WM_SETTEXT, 0, (LPARAM)text);
    PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    return 1;
}

// The CPU figures are taken by the script from the Linux side (Wine does not report another
// process's times): it samples both copies between these two lines.
void Phase(const char* name, DWORD seconds)
{
    printf("phase %s start\n", name);
    Sleep(seconds * 1000);
    printf("phase %s end\n", name);
    Sleep(1000); // the script samples both copies before anything changes
}

int Program(const char* dir, DWORD seconds)
{
    Copy host = {}, guest = {};
    if (!Launch(dir, host) || !Launch(dir, guest)) {
        printf("program: the two copies did not start\n");
        return 1;
    }
    // Side by side: both copies read the same stored window position.
    SetWindowPos(host.main, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(guest.main, NULL, 400, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageA(host.main, WM_COMMAND, IDM_STARTSERVER, 0);
    if (!Answer(host, "Start Server", "24398")) {
        printf("program: no Start Server dialog\n");
        return 1;
    }
    Sleep(1000);
    Phase("waiting", seconds);
    PostMessageA(guest.main, WM_COMMAND, IDM_CONNECT, 0);
    if (!Answer(guest, "Connect", "127.0.0.1:24398")) {
        printf("program: no Connect dialog\n");
        return 1;
    }
    Sleep(1500);
    PostMessageA(guest.main, WM_COMMAND, IDM_NEWGAME, 0); // the guest asks, the host starts
    Sleep(1000);
    Phase("match", seconds);

    PostMessageA(host.main, WM_CLOSE, 0, 0);
    WaitForSingleObject(host.pi.hProcess, 10000);
    HWND box = WaitWindow(guest.pi.dwProcessId, "#32770", "Error", 20000);
    char text[128] = "(no box)";
    if (box) {
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        Sleep(500);
    }
    printf("guest after the host closed: error box \"%s\"\n", text);
    PostMessageA(guest.main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(guest.pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(guest.pi.hProcess, 1);
    for (Copy* c : {&host, &guest}) {
        CloseHandle(c->pi.hThread);
        CloseHandle(c->pi.hProcess);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc >= 2 && !strcmp(argv[1], "latency"))
        return Latency();
    if (argc >= 4 && !strcmp(argv[1], "program"))
        return Program(argv[2], (DWORD)atoi(argv[3]));
    printf("usage: bench_netplay latency | program <folder of stakka.exe> <seconds>\n");
    return 2;
}

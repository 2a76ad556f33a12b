// bench_netplay.cpp - the two-player benchmark. Prints numbers; judges nothing.
//
//   bench_netplay.exe latency
//     Two sessions over loopback in this process: time from one side handing
//     its well to the session (what a landing does) until the other side has
//     composed it in a Stats-panel surface and painted the panel window.
//   bench_netplay.exe lookup <folder of stakka.exe> <name>
//     One real copy connects to <name> (a name whose lookup is slow: see
//     bench/slowdns.c); prints how long the main window takes to answer a
//     sent message meanwhile, until the lookup's error box shows; then how
//     long the program takes to end when closed during a second lookup.
//   bench_netplay.exe hostile <folder of stakka.exe>
//     One real copy waits for a player; callers flood it with frames, send
//     junk, a zero length, an oversized length, stream frames just under the
//     rate limit, and stay silent. Prints the window's slowest answer in each.
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
#include <string>
#include <vector>

#include "dlgids.h"
#include "findwin.h"
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

HWND WaitWindow(DWORD pid, const char* cls, const char* title, DWORD ms)
{
    for (DWORD waited = 0; waited < ms; waited += 50) {
        HWND found = FindProcessWindow(pid, cls, title);
        if (found)
            return found;
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

// ---- Answer times of a copy's main window --------------------------------------

// Sends WM_NULL to the window every 10 ms from a thread of its own and keeps
// the slowest round trip, until stopped.
struct Prober {
    HWND target;
    volatile LONG stop;
    double worst;
    double total;
    int samples;
    HANDLE thread;
    static DWORD WINAPI Run(LPVOID arg)
    {
        Prober* p = (Prober*)arg;
        LARGE_INTEGER freq;
        QueryPerformanceFrequency(&freq);
        while (!p->stop) {
            LARGE_INTEGER t0;
            LARGE_INTEGER t1;
            DWORD_PTR result;
            QueryPerformanceCounter(&t0);
            SendMessageTimeoutA(p->target, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
            QueryPerformanceCounter(&t1);
            double ms = (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart;
            p->worst = std::max(p->worst, ms);
            p->total += ms;
            p->samples++;
            Sleep(10);
        }
        return 0;
    }
    void Start(HWND hwnd)
    {
        target = hwnd;
        stop = 0;
        worst = 0;
        total = 0;
        samples = 0;
        thread = CreateThread(NULL, 0, Run, this, 0, NULL);
    }
    void Finish(const char* what)
    {
        stop = 1;
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
        printf("%s: window answered %d messages, slowest %.1f ms, mean %.2f ms\n", what, samples,
               worst, samples ? total / samples : 0.0);
    }
};

void Quit(Copy& c)
{
    PostMessageA(c.main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(c.pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(c.pi.hProcess, 1);
    CloseHandle(c.pi.hThread);
    CloseHandle(c.pi.hProcess);
}

// Dismisses the copy's error box, if one shows within ms; its text or "".
std::string DismissError(const Copy& c, DWORD ms)
{
    HWND box = WaitWindow(c.pi.dwProcessId, "#32770", "Error", ms);
    char text[160] = "";
    if (box) {
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        Sleep(300);
    }
    return text;
}

int Lookup(const char* dir, const char* name)
{
    Copy c = {};
    if (!Launch(dir, c)) {
        printf("lookup: the program did not start\n");
        return 1;
    }
    PostMessageA(c.main, WM_COMMAND, IDM_CONNECT, 0);
    Prober p;
    if (!Answer(c, "Connect", name)) {
        printf("lookup: no Connect dialog\n");
        return 1;
    }
    LARGE_INTEGER freq;
    LARGE_INTEGER t0;
    LARGE_INTEGER t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    p.Start(c.main);
    HWND box = WaitWindow(c.pi.dwProcessId, "#32770", "Error", 30000);
    QueryPerformanceCounter(&t1);
    p.Finish("during the lookup");
    printf("lookup of %s: error box after %.0f ms\n", name,
           (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart);
    if (box)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    Sleep(300);
    // Closed while the next lookup runs: the program ends without waiting for it.
    PostMessageA(c.main, WM_COMMAND, IDM_CONNECT, 0);
    if (!Answer(c, "Connect", name)) {
        printf("lookup: no second Connect dialog\n");
        return 1;
    }
    Sleep(1000);
    QueryPerformanceCounter(&t0);
    PostMessageA(c.main, WM_CLOSE, 0, 0);
    DWORD waited = WaitForSingleObject(c.pi.hProcess, 20000);
    QueryPerformanceCounter(&t1);
    printf("closed during a lookup: the program %s after %.0f ms\n",
           waited == WAIT_OBJECT_0 ? "ended" : "had not ended",
           (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart);
    Quit(c);
    return 0;
}

SOCKET Call(unsigned short port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, (sockaddr*)&a, sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// A call to the program's listener; when it does not listen (an error box ended the last
// session), Start Server again first.
SOCKET CallListening(const Copy& c, unsigned short port, const char* portText)
{
    SOCKET s = Call(port);
    if (s != INVALID_SOCKET)
        return s;
    PostMessageA(c.main, WM_COMMAND, IDM_STARTSERVER, 0);
    Answer(c, "Start Server", portText);
    Sleep(1000);
    return Call(port);
}

std::vector<BYTE> Frames(int type, int count)
{
    std::vector<BYTE> out;
    NETMSG m = {};
    m.type = NETMSG_HELLO;
    BYTE frame[NET_MAX_FRAME];
    int n = NetEncode(m, frame, sizeof frame);
    out.insert(out.end(), frame, frame + n);
    m.type = type;
    n = NetEncode(m, frame, sizeof frame);
    for (int i = 0; i < count; i++)
        out.insert(out.end(), frame, frame + n);
    return out;
}

int Hostile(const char* dir)
{
    Copy c = {};
    if (!Launch(dir, c)) {
        printf("hostile: the program did not start\n");
        return 1;
    }
    // A free port of the system's choosing.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    int len = sizeof a;
    bind(probe, (sockaddr*)&a, len);
    getsockname(probe, (sockaddr*)&a, &len);
    unsigned short port = ntohs(a.sin_port);
    closesocket(probe);
    char portText[8];
    snprintf(portText, sizeof portText, "%u", (unsigned)port);

    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        DWORD holdMs; // the caller stays connected this long
    };
    std::vector<BYTE> junk(4000);
    DWORD rng = 12345;
    for (BYTE& b : junk) {
        rng = rng * 1103515245u + 12345u;
        b = (BYTE)(rng >> 16);
    }
    std::vector<BYTE> zero = Frames(NETMSG_HEARTBEAT, 0);
    zero.insert(zero.end(), {0, 0, 0});
    std::vector<BYTE> oversized = Frames(NETMSG_HEARTBEAT, 0);
    oversized.insert(oversized.end(), {0xFF, 0xFF, NETMSG_BOARD});
    const Case cases[] = {
        {"flood (hello, 20000 heartbeats at once)", Frames(NETMSG_HEARTBEAT, 20000), 2000},
        {"junk (4000 random bytes)", junk, 2000},
        {"zero length", zero, 2000},
        {"oversized length", oversized, 2000},
        {"long first frame", std::vector<BYTE>{0xFF, 0xFF, 1, 2, 3}, 2000},
        {"silent caller", std::vector<BYTE>(), 3000},
    };
    for (const Case& k : cases) {
        // Listening again after any error box the last caller caused.
        DismissError(c, 500);
        SOCKET s = CallListening(c, port, portText);
        if (s == INVALID_SOCKET) {
            printf("%s: the program does not listen\n", k.name);
            continue;
        }
        Prober p;
        p.Start(c.main);
        if (!k.bytes.empty())
            send(s, (const char*)k.bytes.data(), (int)k.bytes.size(), 0);
        Sleep(k.holdMs);
        closesocket(s);
        Sleep(300);
        p.Finish(k.name);
        std::string box = DismissError(c, 300);
        printf("  then: %s\n", box.empty() ? "no error box" : box.c_str());
    }
    // A steady stream just under the frame-rate limit, in a match-less session.
    DismissError(c, 500);
    SOCKET s = CallListening(c, port, portText);
    Prober p;
    p.Start(c.main);
    std::vector<BYTE> hello = Frames(NETMSG_HEARTBEAT, 0);
    send(s, (const char*)hello.data(), (int)hello.size(), 0);
    std::vector<BYTE> beat = Frames(NETMSG_HEARTBEAT, 50);
    beat.erase(beat.begin(), beat.begin() + hello.size());
    for (int i = 0; i < 50; i++) { // 50 frames every 100 ms: 500 a second for 5 s
        send(s, (const char*)beat.data(), (int)beat.size(), 0);
        Sleep(100);
    }
    p.Finish("stream of 500 frames a second for 5 s");
    closesocket(s);
    Quit(c);
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
    if (argc >= 4 && !strcmp(argv[1], "lookup"))
        return Lookup(argv[2], argv[3]);
    if (argc >= 3 && !strcmp(argv[1], "hostile")) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        return Hostile(argv[2]);
    }
    printf("usage: bench_netplay latency | program <folder of stakka.exe> <seconds>\n"
           "       | lookup <folder> <name> | hostile <folder>\n");
    return 2;
}

// netshell.cpp - two-player games as the shell sees them: commands, dialogs,
// menu states, this side of a match and the "Stats" panel.
#include "netshell.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "STAKKA.h"
#include "dlgids.h"
#include "grid.h"
#include "image.h"
#include "resource.h"
#include "tetrad.h"

namespace
{

const char RISING_BITMAP[] = "RisingBlock";
const int HOST_TEXT = 128; // what the player typed as the address
const int MAX_ADDRS = 7;   // machine addresses shown while waiting
const int ADDR_TEXT = 48;  // an IPv6 address with its zone fits
const int STATS_LINE = 12; // text line pitch of the panel
const int STATS_TEXT_X = 6;
const int OPP_INFO_X = OPP_X + WELL_COLS * OPP_CELL + 10;
const COLORREF STATS_TEXT = RGB(255, 255, 255);
const COLORREF OPP_FRAME = RGB(128, 128, 128);

// Everything of a session on this side; one main window, one of these.
// It is the match's opponent while a session exists.
struct NetShell : public NetEvents, public Opponent {
    NetSession session;
    Match match;
    StakkaGrid* grid;
    HWND hwnd;
    HMENU hmenu;
    int wsaOk;
    int wsaError;
    MATCHBOARD opp;
    int oppValid;
    HBITMAP risingBm;
    Image* rising;
    HDC hdcStats;
    HBITMAP hbmStats;
    HGDIOBJ oldStatsBm;
    WNDPROC oldStatsProc;
    char target[HOST_TEXT]; // the address being connected to
    char lastAddress[HOST_TEXT];
    unsigned short lastPort;
    char addrs[MAX_ADDRS][ADDR_TEXT];
    int naddrs;

    void OnNetConnected() override;
    void OnNetMessage(const NETMSG& m) override;
    void OnNetClosed(int reason) override;
    // Opponent
    int Present() override { return session.State() == NET_CONNECTED; }
    int Deals() override { return session.IsHost(); }
    void RequestStart() override { session.SendType(NETMSG_REQSTART); }
    int Start(DWORD seed) override;
    void Rows(int count) override;
    void ToppedOut() override { session.SendType(NETMSG_TOPOUT); }
    void Paused(int paused) override;
    void Stopped() override { session.SendType(NETMSG_STOP); }
    int Board(const MATCHBOARD& b) override;
};

NetShell net;

void SetItem(UINT id, int enabled, int checked)
{
    EnableMenuItem(net.hmenu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    CheckMenuItem(net.hmenu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void UpdateMenus()
{
    if (!net.hmenu)
        return;
    int session = net.session.State() != NET_IDLE;
    // Without Winsock, Start Server stays enabled only to say why not.
    SetItem(IDM_STARTSERVER, !session, 0);
    SetItem(IDM_CONNECT, !session && net.wsaOk, 0);
    SetItem(IDM_SINGLEPLAYER, session, !session);
    SetItem(IDM_MULTIPLAYER, 0, session);
}

// ---------------------------------------------------------------------------
// The "Stats" panel: composed off-screen, copied on WM_PAINT
// ---------------------------------------------------------------------------

LRESULT CALLBACK NetStatsWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the copy covers everything
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        BitBlt(hdc, 0, 0, STATS_WIDTH, STATS_HEIGHT, net.hdcStats, 0, 0, SRCCOPY);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        BitBlt((HDC)wParam, 0, 0, STATS_WIDTH, STATS_HEIGHT, net.hdcStats, 0, 0, SRCCOPY);
        return 0;
    }
    return CallWindowProcA(net.oldStatsProc, hwnd, msg, wParam, lParam);
}

void StatsBegin()
{
    HWND panel = net.grid ? net.grid->hwndStats : NULL;
    if (!panel || net.hdcStats)
        return;
    HDC hdc = GetDC(panel);
    net.hdcStats = CreateCompatibleDC(hdc);
    net.hbmStats = CreateCompatibleBitmap(hdc, STATS_WIDTH, STATS_HEIGHT);
    ReleaseDC(panel, hdc);
    if (!net.hdcStats || !net.hbmStats) {
        if (net.hdcStats)
            DeleteDC(net.hdcStats);
        if (net.hbmStats)
            DeleteObject(net.hbmStats);
        net.hdcStats = NULL;
        net.hbmStats = NULL;
        return; // the panel stays black
    }
    net.oldStatsBm = SelectObject(net.hdcStats, net.hbmStats);
    net.oldStatsProc = (WNDPROC)SetWindowLongPtrA(panel, GWLP_WNDPROC, (LONG_PTR)NetStatsWndProc);
}

void StatsEnd()
{
    if (!net.hdcStats)
        return;
    HWND panel = net.grid->hwndStats;
    if (IsWindow(panel))
        SetWindowLongPtrA(panel, GWLP_WNDPROC, (LONG_PTR)net.oldStatsProc);
    SelectObject(net.hdcStats, net.oldStatsBm);
    DeleteDC(net.hdcStats);
    DeleteObject(net.hbmStats);
    net.hdcStats = NULL;
    net.hbmStats = NULL;
    if (IsWindow(panel))
        InvalidateRect(panel, NULL, TRUE);
}

void BlockColors(COLORREF colors[RISING_CELL + 1])
{
    // The centre pixel of each block picture stands for it at 5 px.
    colors[0] = RGB(0, 0, 0);
    for (int v = 1; v <= RISING_CELL; v++) {
        Image* im = v == RISING_CELL ? net.rising : net.grid->BlockImage(v - 1);
        colors[v] = im ? GetPixel(im->hdcImage, CELL / 2, CELL / 2) : OPP_FRAME;
        if (colors[v] == CLR_INVALID)
            colors[v] = OPP_FRAME;
    }
}

void StatsText(HDC hdc, int line, const char* text)
{
    TextOutA(hdc, STATS_TEXT_X, OPP_Y + STATS_LINE * line, text, lstrlenA(text));
}

void ComposeStats()
{
    HDC hdc = net.hdcStats;
    if (!hdc)
        return;
    RECT r = {0, 0, STATS_WIDTH, STATS_HEIGHT};
    FillRect(hdc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    HGDIOBJ oldFont = SelectObject(hdc, net.grid->font);
    SetTextColor(hdc, STATS_TEXT);
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    char text[64];
    switch (net.session.State()) {
    case NET_LISTENING:
        StatsText(hdc, 0, "Waiting for a player");
        snprintf(text, sizeof text, "Port %u", (unsigned)net.session.Port());
        StatsText(hdc, 1, text);
        for (int i = 0; i < net.naddrs; i++)
            StatsText(hdc, 2 + i, net.addrs[i]);
        break;
    case NET_CONNECTING:
        StatsText(hdc, 0, "Connecting to ...");
        StatsText(hdc, 1, net.target);
        break;
    case NET_HANDSHAKE:
    case NET_CONNECTED:
        if (net.oppValid) {
            COLORREF colors[RISING_CELL + 1];
            BlockColors(colors);
            NetDrawOpponent(hdc, net.opp, colors);
        } else {
            StatsText(hdc, 0, "Connected");
            StatsText(hdc, 1, "New Game (F2) starts");
            StatsText(hdc, 2, "a match");
        }
        break;
    default:
        break;
    }
    SelectObject(hdc, oldFont);
    InvalidateRect(net.grid->hwndStats, NULL, FALSE);
}

void ListAddresses()
{
    net.naddrs = 0;
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return;
    ADDRINFOA hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOA* list = NULL;
    if (getaddrinfo(name, NULL, &hints, &list) != 0)
        return;
    for (ADDRINFOA* a = list; a && net.naddrs < MAX_ADDRS; a = a->ai_next) {
        char* out = net.addrs[net.naddrs];
        if (getnameinfo(a->ai_addr, (socklen_t)a->ai_addrlen, out, ADDR_TEXT, NULL, 0,
                        NI_NUMERICHOST) != 0)
            continue;
        int dup = 0;
        for (int i = 0; i < net.naddrs; i++)
            dup |= strcmp(net.addrs[i], out) == 0;
        if (!dup)
            net.naddrs++;
    }
    freeaddrinfo(list);
}

// ---------------------------------------------------------------------------
// The match on this side
// ---------------------------------------------------------------------------

void StopSingleGame()
{
    // A session begins with a clean playfield; the shell puts its menu and
    // music back as after Stop Game.
    if (net.grid && net.grid->Active()) {
        net.grid->Stop();
        SendMessageA(net.hwnd, WM_GAMEENDED, 0, 0);
    }
}

int NetShell::Start(DWORD seed)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = NETMSG_START;
    m.seed = seed;
    return session.Send(m);
}

void NetShell::Rows(int count)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = NETMSG_ROWS;
    m.count = count;
    session.Send(m);
}

void NetShell::Paused(int paused)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = NETMSG_PAUSE;
    m.flag = paused;
    session.Send(m);
}

int NetShell::Board(const MATCHBOARD& b)
{
    if (session.State() != NET_CONNECTED)
        return 0;
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = NETMSG_BOARD;
    m.board = b;
    return session.Send(m);
}

void NetShell::OnNetConnected()
{
    oppValid = 0;
    match.SetOpponent(this);
    ComposeStats();
}

void NetShell::OnNetMessage(const NETMSG& m)
{
    match.SetGrid(grid);
    switch (m.type) {
    case NETMSG_REQSTART:
        match.OnStartRequest();
        break;
    case NETMSG_START:
        match.OnStart(m.seed);
        break;
    case NETMSG_BOARD:
        opp = m.board;
        oppValid = 1;
        ComposeStats();
        break;
    case NETMSG_ROWS:
        match.OnRows(m.count);
        break;
    case NETMSG_TOPOUT:
        match.OnToppedOut();
        break;
    case NETMSG_PAUSE:
        match.OnPause(m.flag);
        break;
    case NETMSG_STOP:
        match.OnStop();
        break;
    }
}

void NetShell::OnNetClosed(int reason)
{
    match.OnGone();
    match.SetOpponent(NULL);
    StatsEnd();
    UpdateMenus();
    switch (reason) {
    case NET_END_BADDATA:
        MbError("The connection was closed: bad data from the other player");
        break;
    case NET_END_INCOMPATIBLE:
        MbError("The other player's program is not compatible");
        break;
    case NET_END_CONNECTFAIL:
        MbError("Unable to connect to %s", target);
        break;
    case NET_END_BUSY:
        MbError("The other player is already playing a match");
        break;
    default:
        MbError("Connection lost");
        break;
    }
}

// ---------------------------------------------------------------------------
// Dialogs: "StartServer" and "Connect" edit one text each, committed on OK.
// ---------------------------------------------------------------------------

struct EDITTEXT_ARGS {
    int control;
    char* text;
    int cap;
};

INT_PTR CALLBACK NetTextDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    EDITTEXT_ARGS* a = (EDITTEXT_ARGS*)GetWindowLongPtrA(hDlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        a = (EDITTEXT_ARGS*)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)a);
        SetDlgItemTextA(hDlg, a->control, a->text);
        SendDlgItemMessageA(hDlg, a->control, EM_LIMITTEXT, (WPARAM)(a->cap - 1), 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && a)
            GetDlgItemTextA(hDlg, a->control, a->text, a->cap);
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int AskText(HWND owner, const char* dialog, int control, char* text, int cap)
{
    EDITTEXT_ARGS a = {control, text, cap};
    return DialogBoxParamA(hinst, dialog, owner, NetTextDlgProc, (LPARAM)&a) == IDOK;
}

int ParsePort(const char* s, unsigned short* port)
{
    unsigned long v = 0;
    if (!*s)
        return 0;
    for (; *s; s++) {
        if (*s < '0' || *s > '9' || v > 65535)
            return 0;
        v = v * 10 + (unsigned long)(*s - '0');
    }
    if (v < 1 || v > 65535)
        return 0;
    *port = (unsigned short)v;
    return 1;
}

void StartServerCommand(HWND hwnd)
{
    if (!net.wsaOk) {
        MbError("Networking is not available (error %d)", net.wsaError);
        return;
    }
    char text[16];
    snprintf(text, sizeof text, "%u", (unsigned)net.lastPort);
    if (!AskText(hwnd, "StartServer", IDC_NETPORT, text, sizeof text))
        return;
    unsigned short port;
    if (!ParsePort(text, &port)) {
        MbError("The port must be a number from 1 to 65535");
        return;
    }
    net.lastPort = port;
    StopSingleGame();
    int err = net.session.Listen(port);
    if (err) {
        MbError("Unable to start the server on port %u (error %d)", (unsigned)port, err);
        return;
    }
    ListAddresses();
    StatsBegin();
    ComposeStats();
    UpdateMenus();
}

void ConnectCommand(HWND hwnd)
{
    if (!net.wsaOk)
        return;
    char text[HOST_TEXT];
    lstrcpynA(text, net.lastAddress, sizeof text);
    if (!AskText(hwnd, "Connect", IDC_NETADDRESS, text, sizeof text))
        return;
    char host[HOST_TEXT];
    unsigned short port;
    if (!NetParseAddress(text, host, sizeof host, &port)) {
        MbError("Unable to connect to %s", text);
        return;
    }
    lstrcpynA(net.lastAddress, text, sizeof net.lastAddress);
    lstrcpynA(net.target, text, sizeof net.target);
    StopSingleGame();
    if (net.session.Connect(host, port) != 0) {
        MbError("Unable to connect to %s", text);
        return;
    }
    StatsBegin();
    ComposeStats();
    UpdateMenus();
}

void EndSession()
{
    if (net.session.State() == NET_IDLE)
        return;
    net.match.End(MATCH_STOPPED_HERE);
    net.match.SetOpponent(NULL);
    net.session.Close();
    net.grid->banner = NULL;
    net.grid->Redraw(REDRAW_ALL);
    StatsEnd();
    UpdateMenus();
}

} // namespace

// ---------------------------------------------------------------------------
// What the main window calls
// ---------------------------------------------------------------------------

void NetShellInit(HWND hwnd, HMENU hmenu)
{
    net.hwnd = hwnd;
    net.hmenu = hmenu;
    net.lastPort = NET_DEFAULT_PORT;
    lstrcpynA(net.lastAddress, "127.0.0.1", sizeof net.lastAddress);
    WSADATA wsa;
    net.wsaError = WSAStartup(MAKEWORD(2, 2), &wsa);
    net.wsaOk = net.wsaError == 0;
    net.session.Init(hwnd, WM_NETSOCKET, NET_TIMER_ID, &net);
    net.match.Init(hwnd, NULL);
    UpdateMenus();
}

void NetShellShutdown(StakkaGrid* grid)
{
    net.grid = grid;
    if (grid)
        EndSession();
    net.session.Close();
    if (grid && grid->hooks == &net.match)
        grid->hooks = NULL;
    delete net.rising;
    net.rising = NULL;
    if (net.risingBm)
        DeleteObject(net.risingBm);
    net.risingBm = NULL;
    if (net.wsaOk)
        WSACleanup();
    net.wsaOk = 0;
}

int NetShellCommand(HWND hwnd, StakkaGrid* grid, UINT id)
{
    net.grid = grid;
    if (!grid)
        return 0;
    if (!net.rising && hinstDll) {
        // The neutral picture of risen cells; no colour scheme uses it.
        net.risingBm = LoadBitmapA(hinstDll, RISING_BITMAP);
        if (net.risingBm)
            net.rising = new (std::nothrow) Image(net.risingBm, NULL);
        net.match.SetRisingImage(net.rising);
    }
    switch (id) {
    case IDM_STARTSERVER:
        if (net.session.State() == NET_IDLE)
            StartServerCommand(hwnd);
        return 1;
    case IDM_CONNECT:
        if (net.session.State() == NET_IDLE)
            ConnectCommand(hwnd);
        return 1;
    case IDM_SINGLEPLAYER:
        EndSession();
        return 1;
    case IDM_MULTIPLAYER:
        return 1;
    }
    return 0;
}

int NetShellNewGame(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    return net.match.NewGame();
}

void NetShellStopped(StakkaGrid* grid)
{
    net.match.SetGrid(grid);
    net.match.Stopped();
}

void NetShellPaused(StakkaGrid* grid)
{
    net.match.SetGrid(grid);
    net.match.Paused();
}

void NetShellSocket(StakkaGrid* grid, WPARAM wParam, LPARAM lParam)
{
    net.grid = grid;
    if (grid)
        net.session.OnSocket(wParam, lParam);
}

void NetShellTimer(StakkaGrid* grid)
{
    net.grid = grid;
    if (grid)
        net.session.OnTimer();
}

void NetShellAfterStep(StakkaGrid* grid)
{
    if (!grid)
        return;
    net.match.SetGrid(grid);
    net.match.AfterStep();
}

// ---------------------------------------------------------------------------
// Pure helpers
// ---------------------------------------------------------------------------

int NetParseAddress(const char* text, char* host, int hostCap, unsigned short* port)
{
    if (!text || !host || hostCap < 2 || !port)
        return 0;
    while (*text == ' ')
        text++;
    const char* end = text + strlen(text);
    while (end > text && end[-1] == ' ')
        end--;
    const char* hostStart = text;
    const char* hostEnd;
    const char* portText = NULL;
    if (*text == '[') {
        hostStart = text + 1;
        hostEnd = (const char*)memchr(hostStart, ']', end - hostStart);
        if (!hostEnd)
            return 0;
        if (hostEnd + 1 < end) {
            if (hostEnd[1] != ':')
                return 0;
            portText = hostEnd + 2;
        }
    } else {
        const char* colon = (const char*)memchr(text, ':', end - text);
        // Two colons or more without brackets: a bare IPv6 address.
        if (colon && !memchr(colon + 1, ':', end - colon - 1)) {
            hostEnd = colon;
            portText = colon + 1;
        } else {
            hostEnd = end;
        }
    }
    int n = (int)(hostEnd - hostStart);
    if (n <= 0 || n >= hostCap)
        return 0;
    for (int i = 0; i < n; i++)
        if ((unsigned char)hostStart[i] <= ' ')
            return 0;
    *port = NET_DEFAULT_PORT;
    if (portText) {
        char p[8];
        int pn = (int)(end - portText);
        if (pn <= 0 || pn >= (int)sizeof p)
            return 0;
        memcpy(p, portText, pn);
        p[pn] = '\0';
        if (!ParsePort(p, port))
            return 0;
    }
    memcpy(host, hostStart, n);
    host[n] = '\0';
    return 1;
}

void NetDrawOpponent(HDC hdc, const MATCHBOARD& b, const COLORREF colors[RISING_CELL + 1])
{
    // A grey frame, the cells, then the falling piece over them.
    HBRUSH frame = CreateSolidBrush(OPP_FRAME);
    RECT r = {OPP_X - 1, OPP_Y - 1, OPP_X + WELL_COLS * OPP_CELL + 1,
              OPP_Y + WELL_ROWS * OPP_CELL + 1};
    FrameRect(hdc, &r, frame);
    DeleteObject(frame);
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int v = b.cells[x][y];
            if (v < 1 || v > RISING_CELL)
                continue;
            RECT c = {OPP_X + x * OPP_CELL, OPP_Y + y * OPP_CELL, OPP_X + (x + 1) * OPP_CELL,
                      OPP_Y + (y + 1) * OPP_CELL};
            SetBkColor(hdc, colors[v]);
            ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &c, NULL, 0, NULL);
        }
    if (b.pieceColor < TETRAD_TYPES) {
        SetBkColor(hdc, colors[b.pieceColor + 1]);
        for (int k = 0; k < TETRAD_CELLS; k++) {
            if (b.px[k] >= WELL_COLS || b.py[k] >= WELL_ROWS)
                continue;
            RECT c = {OPP_X + b.px[k] * OPP_CELL, OPP_Y + b.py[k] * OPP_CELL,
                      OPP_X + (b.px[k] + 1) * OPP_CELL, OPP_Y + (b.py[k] + 1) * OPP_CELL};
            ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &c, NULL, 0, NULL);
        }
    }
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, STATS_TEXT);
    TextOutA(hdc, OPP_INFO_X, OPP_Y, "Opponent", 8);
    TextOutA(hdc, OPP_INFO_X, OPP_Y + 2 * STATS_LINE, "Score:", 6);
    char text[16];
    int n = snprintf(text, sizeof text, "%lu", (unsigned long)b.score);
    TextOutA(hdc, OPP_INFO_X, OPP_Y + 3 * STATS_LINE, text, n);
}

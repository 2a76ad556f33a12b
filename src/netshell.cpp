// netshell.cpp - two-player games over the network as the shell sees them:
// the commands, menu states, the session as the match's opponent, and what
// the "Stats" panel says about the session.
#include "netshell.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "STAKKA.h"
#include "cpudlg.h"
#include "cpushell.h"
#include "dlgids.h"
#include "grid.h"
#include "image.h"
#include "netdlg.h"
#include "netlookup.h"
#include "options.h"
#include "oppview.h"
#include "resource.h"

namespace
{

const char RISING_BITMAP[] = "RisingBlock";
const int HOST_TEXT = 128; // what the player typed as the address
const int MAX_ADDRS = 7;   // machine addresses shown while waiting
const int ADDR_TEXT = 48;  // an IPv6 address with its zone fits

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
    OpponentView view;
    char target[HOST_TEXT]; // the address being connected to
    char lastAddress[HOST_TEXT];
    unsigned short lastPort;
    char addrs[MAX_ADDRS][ADDR_TEXT];
    int naddrs;
    UINT_PTR listLookup; // this machine's addresses being looked up, or 0

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
    int multi = session || CpuShellActive();
    // Without Winsock, Start Server stays enabled only to say why not.
    SetItem(IDM_STARTSERVER, !session, 0);
    SetItem(IDM_CONNECT, !session && net.wsaOk, 0);
    SetItem(IDM_SINGLEPLAYER, multi, !multi);
    // Against the computer whenever no session exists.
    SetItem(IDM_MULTIPLAYER, !session, multi);
}

// ---------------------------------------------------------------------------
// The "Stats" panel: what the session is doing, or the opponent's well
// ---------------------------------------------------------------------------

void ComposeStats()
{
    char port[32];
    const char* lines[OPP_MAX_LINES];
    int n = 0;
    switch (net.session.State()) {
    case NET_LISTENING:
        lines[n++] = "Waiting for a player";
        snprintf(port, sizeof port, "Port %u", (unsigned)net.session.Port());
        lines[n++] = port;
        for (int i = 0; i < net.naddrs && n < OPP_MAX_LINES; i++)
            lines[n++] = net.addrs[i];
        break;
    case NET_LOOKUP:
    case NET_CONNECTING:
        lines[n++] = "Connecting to ...";
        lines[n++] = net.target;
        break;
    case NET_HANDSHAKE:
    case NET_CONNECTED:
        if (net.oppValid) {
            net.view.ShowBoard(net.opp);
            return;
        }
        lines[n++] = "Connected";
        lines[n++] = "New Game (F2) starts";
        lines[n++] = "a match";
        break;
    default:
        break;
    }
    net.view.ShowText(lines, n);
}

// This machine's addresses, for the host to tell the other player.
void ListAddresses(const NETADDRS& found)
{
    net.naddrs = 0;
    for (int i = 0; i < found.count && net.naddrs < MAX_ADDRS; i++) {
        char* out = net.addrs[net.naddrs];
        if (getnameinfo((const sockaddr*)&found.addr[i], found.len[i], out, ADDR_TEXT, NULL, 0,
                        NI_NUMERICHOST) != 0)
            continue;
        int dup = 0;
        for (int k = 0; k < net.naddrs; k++)
            dup |= strcmp(net.addrs[k], out) == 0;
        if (!dup)
            net.naddrs++;
    }
}

void CancelListLookup()
{
    NetLookupCancel(net.listLookup);
    net.listLookup = 0;
}

void StopSingleGame()
{
    // A session begins with a clean playfield; the shell puts its menu and
    // music back as after Stop Game.
    if (net.grid && net.grid->Active()) {
        net.grid->Stop();
        SendMessageA(net.hwnd, WM_GAMEENDED, 0, 0);
    }
}

// A message of this type with every other field zero.
NETMSG Message(int type)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = type;
    return m;
}

int NetShell::Start(DWORD seed)
{
    NETMSG m = Message(NETMSG_START);
    m.seed = seed;
    return session.Send(m);
}

void NetShell::Rows(int count)
{
    NETMSG m = Message(NETMSG_ROWS);
    m.count = count;
    session.Send(m);
}

void NetShell::Paused(int paused)
{
    NETMSG m = Message(NETMSG_PAUSE);
    m.flag = paused;
    session.Send(m);
}

int NetShell::Board(const MATCHBOARD& b)
{
    if (session.State() != NET_CONNECTED)
        return 0;
    NETMSG m = Message(NETMSG_BOARD);
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
    CancelListLookup();
    net.view.End();
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

void StartServerCommand(HWND hwnd)
{
    if (!net.wsaOk) {
        MbError("Networking is not available (error %d)", net.wsaError);
        return;
    }
    char text[16];
    snprintf(text, sizeof text, "%u", (unsigned)net.lastPort);
    if (!NetAskText(hwnd, "StartServer", IDC_NETPORT, text, sizeof text))
        return;
    unsigned short port;
    if (!NetParsePort(text, &port)) {
        MbError("The port must be a number from 1 to 65535");
        return;
    }
    net.lastPort = port;
    CpuShellLeave();
    UpdateMenus(); // also when the session cannot start below
    StopSingleGame();
    int err = net.session.Listen(port);
    if (err) {
        MbError("Unable to start the server on port %u (error %d)", (unsigned)port, err);
        return;
    }
    // Shown when the lookup ends; a slow name server must not hold the window.
    net.naddrs = 0;
    CancelListLookup();
    net.listLookup = NetLookupStart(net.hwnd, WM_NETLOOKUP, NULL, 0);
    net.view.Begin(net.grid, net.rising);
    ComposeStats();
    UpdateMenus();
}

void ConnectCommand(HWND hwnd)
{
    if (!net.wsaOk)
        return;
    char text[HOST_TEXT];
    lstrcpynA(text, net.lastAddress, sizeof text);
    if (!NetAskText(hwnd, "Connect", IDC_NETADDRESS, text, sizeof text))
        return;
    char host[HOST_TEXT];
    unsigned short port;
    if (!NetParseAddress(text, host, sizeof host, &port)) {
        MbError("Unable to connect to %s", text);
        return;
    }
    lstrcpynA(net.lastAddress, text, sizeof net.lastAddress);
    lstrcpynA(net.target, text, sizeof net.target);
    CpuShellLeave();
    UpdateMenus(); // also when the session cannot start below
    StopSingleGame();
    if (net.session.Connect(host, port) != 0) {
        MbError("Unable to connect to %s", text);
        return;
    }
    net.view.Begin(net.grid, net.rising);
    ComposeStats();
    UpdateMenus();
}

void MultiPlayerCommand(HWND hwnd)
{
    int strength = net.grid->opt ? net.grid->opt->strength : STRENGTH_NORMAL;
    if (!MultiPlayerDialog(hwnd, &strength))
        return;
    if (net.grid->opt)
        net.grid->opt->strength = strength;
    StopSingleGame();
    net.match.SetGrid(net.grid);
    CpuShellEnter(hwnd, net.grid, &net.match, net.rising, strength);
    UpdateMenus();
}

void EndSession()
{
    if (net.session.State() == NET_IDLE)
        return;
    net.match.End(MATCH_STOPPED_HERE);
    net.match.SetOpponent(NULL);
    CancelListLookup();
    net.session.Close();
    net.match.Leave();
    net.view.End();
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
    net.session.Init(hwnd, WM_NETSOCKET, WM_NETLOOKUP, NET_TIMER_ID, &net);
    net.match.Init(hwnd, NULL);
    UpdateMenus();
}

void NetShellShutdown(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    if (grid) {
        CpuShellLeave();
        EndSession();
    }
    CancelListLookup();
    net.session.Close();
    net.view.End();
    net.match.Leave();
    delete net.rising;
    net.rising = NULL;
    if (net.risingBm)
        DeleteObject(net.risingBm);
    net.risingBm = NULL;
    // A STOP still queued behind a backlog is being sent by a thread of its
    // own; cleaning up now would reset its socket and lose the STOP. That
    // thread's last wait may begin just before its limit.
    NetLingerWait(NET_LINGER_MS + 2 * NET_CLOSE_WAIT_MS);
    if (net.wsaOk)
        WSACleanup();
    net.wsaOk = 0;
}

int NetShellCommand(HWND hwnd, StakkaGrid* grid, UINT id)
{
    net.grid = grid;
    net.match.SetGrid(grid);
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
        CpuShellLeave();
        EndSession();
        UpdateMenus();
        return 1;
    case IDM_MULTIPLAYER:
        if (net.session.State() == NET_IDLE)
            MultiPlayerCommand(hwnd);
        return 1;
    }
    return 0;
}

int NetShellNewGame(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    // Waiting or connecting is two-player play too: nobody to play against
    // yet, and no single game meanwhile, which the other player's New Game
    // would find running and go unanswered.
    NETSTATE state = net.session.State();
    if (state != NET_IDLE && state != NET_CONNECTED)
        return 1;
    return net.match.NewGame();
}

void NetShellStopped(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    net.match.Stopped();
}

void NetShellPaused(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    net.match.Paused();
}

void NetShellSocket(StakkaGrid* grid, WPARAM wParam, LPARAM lParam)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    if (grid)
        net.session.OnSocket(wParam, lParam);
}

void NetShellTimer(StakkaGrid* grid)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    if (grid)
        net.session.OnTimer();
}

void NetShellLookup(StakkaGrid* grid, WPARAM ticket)
{
    net.grid = grid;
    net.match.SetGrid(grid);
    if (!grid || net.session.OnLookup(ticket))
        return;
    if (!net.listLookup || (UINT_PTR)ticket != net.listLookup)
        return; // abandoned
    net.listLookup = 0;
    NETADDRS found;
    int err;
    if (!NetLookupTake((UINT_PTR)ticket, &found, &err) || err != 0)
        return; // the panel shows the port alone
    ListAddresses(found);
    if (net.session.State() == NET_LISTENING)
        ComposeStats();
}

void NetShellAfterStep(StakkaGrid* grid)
{
    if (!grid)
        return;
    net.grid = grid;
    net.match.SetGrid(grid);
    net.match.AfterStep();
    CpuShellStep();
}

// test_netplay.cpp - the two-player codec, the rising-rows rules and two real
// sessions talking over loopback (127.0.0.1 and ::1 only) in one process.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clock.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "grid.h"
#include "netplay.h"
#include "netshell.h"
#include "options.h"
#include "resource.h"
#include "shell.h"

namespace
{

typedef std::vector<BYTE> Bytes;

Bytes Frame(int type, const Bytes& payload, int length = -1)
{
    int len = length >= 0 ? length : (int)payload.size() + 1;
    Bytes f = {(BYTE)(len >> 8), (BYTE)len, (BYTE)type};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

Bytes Encode(const NETMSG& m)
{
    BYTE buf[NET_MAX_FRAME];
    int n = NetEncode(m, buf, sizeof buf);
    return Bytes(buf, buf + n);
}

NETMSG Msg(int type)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = type;
    m.seed = 7;
    m.count = 1;
    m.board.pieceColor = NET_NO_PIECE;
    return m;
}

const Bytes kHello = Encode(Msg(NETMSG_HELLO));

// Feeds bytes and returns the first non-NET_FRAME answer (NET_NEED at the end).
int Feed(NetReader& r, const Bytes& b)
{
    NETMSG m;
    int at = 0, res;
    do {
        at += r.Append(b.data() + at, (int)b.size() - at);
        while ((res = r.Next(&m)) == NET_FRAME) {
        }
    } while (res == NET_NEED && at < (int)b.size());
    return res;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(NetCodec, MalformedTruncatedOversizedAndOutOfOrderFramesAreRefused)
{
    Bytes board = Encode(Msg(NETMSG_BOARD));
    Bytes start = Encode(Msg(NETMSG_START));
    auto boardWith = [&](int at, BYTE v) {
        Bytes b = board;
        b[at] = v;
        return b;
    };
    const int piece = NET_HEADER + NET_BOARD_CELLS; // colour, then x, y pairs
    Bytes badMagic = kHello, badVersion = kHello;
    badMagic[NET_HEADER] ^= 1;
    badVersion[NET_HEADER + NET_MAGIC_LEN + 1] ^= 1;
    struct Case {
        const char* what;
        int host;
        Bytes bytes;
        int want;
    } cases[] = {
        {"nothing before hello", 0, Encode(Msg(NETMSG_HEARTBEAT)), NET_BAD},
        {"other magic", 0, badMagic, NET_INCOMPATIBLE},
        {"other version", 0, badVersion, NET_INCOMPATIBLE},
        {"short hello", 0, Frame(NETMSG_HELLO, Bytes(4, 'S')), NET_INCOMPATIBLE},
        {"second hello", 0, Cat({kHello, kHello}), NET_BAD},
        {"zero length", 0, Cat({kHello, Frame(0, {}, 0)}), NET_BAD},
        {"unknown type 11", 0, Cat({kHello, Frame(NETMSG_LAST + 1, {})}), NET_BAD},
        {"oversized, header only", 0, Cat({kHello, Frame(NETMSG_BOARD, {}, 4000)}), NET_BAD},
        {"heartbeat with payload", 0, Cat({kHello, Frame(NETMSG_HEARTBEAT, {1})}), NET_BAD},
        {"start to the host", 1, Cat({kHello, start}), NET_BAD},
        {"seed 0", 0, Cat({kHello, Frame(NETMSG_START, {0, 0, 0, 0})}), NET_BAD},
        {"request to the guest", 0, Cat({kHello, Encode(Msg(NETMSG_REQSTART))}), NET_BAD},
        {"busy to the host", 1, Cat({kHello, Encode(Msg(NETMSG_BUSY))}), NET_BAD},
        {"board before a match", 0, Cat({kHello, board}), NET_BAD},
        {"rows before a match", 1, Cat({kHello, Encode(Msg(NETMSG_ROWS))}), NET_BAD},
        {"rows 3", 0, Cat({kHello, start, Frame(NETMSG_ROWS, {3})}), NET_BAD},
        {"pause 2", 0, Cat({kHello, start, Frame(NETMSG_PAUSE, {2})}), NET_BAD},
        {"cell value 9", 0, Cat({kHello, start, boardWith(NET_HEADER + 5, 0x90)}), NET_BAD},
        {"piece colour 7", 0, Cat({kHello, start, boardWith(piece, 7)}), NET_BAD},
        {"coordinates without a piece", 0, Cat({kHello, start, boardWith(piece + 3, 1)}), NET_BAD},
        {"board one byte short", 0,
         Cat({kHello, start,
              Frame(NETMSG_BOARD, Bytes(board.begin() + NET_HEADER, board.end() - 1))}),
         NET_BAD},
        {"truncated board waits", 0, Cat({kHello, start, Bytes(board.begin(), board.end() - 9)}),
         NET_NEED},
        {"a whole match in order", 0,
         Cat({kHello, start, board, Encode(Msg(NETMSG_ROWS)), Encode(Msg(NETMSG_PAUSE)),
              Encode(Msg(NETMSG_TOPOUT)), Encode(Msg(NETMSG_STOP)), start}),
         NET_NEED},
    };
    for (const Case& c : cases) {
        NetReader r;
        r.Reset(c.host);
        EXPECT_EQ(c.want, Feed(r, c.bytes)) << c.what;
        if (c.want < 0) { // refused for good: valid bytes after it change nothing
            EXPECT_EQ(c.want, Feed(r, Encode(Msg(NETMSG_HEARTBEAT)))) << c.what;
        }
    }
    // A piece below the well.
    Bytes outside = boardWith(piece, 2);
    outside[piece + 1 + 2 * 3 + 1] = WELL_ROWS;
    NetReader r;
    r.Reset(0);
    EXPECT_EQ(NET_BAD, Feed(r, Cat({kHello, start, outside})));
}

TEST(NetCodec, ThousandsOfRandomAndMutatedStreamsEndCleanly)
{
    DWORD rng = 12345;
    Bytes valid = Cat({kHello, Encode(Msg(NETMSG_START)), Encode(Msg(NETMSG_BOARD)),
                       Encode(Msg(NETMSG_ROWS)), Encode(Msg(NETMSG_PAUSE))});
    int refused = 0;
    for (int round = 0; round < 20000; round++) {
        Bytes b = valid;
        if (round % 2) {
            b.assign(1 + NetRandom(&rng) % 2000, 0);
            for (BYTE& v : b)
                v = (BYTE)NetRandom(&rng);
        } else {
            for (int k = 1 + NetRandom(&rng) % 4; k > 0; k--)
                b[NetRandom(&rng) % b.size()] = (BYTE)NetRandom(&rng);
        }
        NetReader r;
        r.Reset((int)(NetRandom(&rng) & 1));
        NETMSG m;
        size_t at = 0;
        int res = NET_NEED, calls = 0;
        while (res >= 0 && at < b.size()) {
            int n = 1 + (int)(NetRandom(&rng) % 300);
            at += r.Append(b.data() + at, std::min(n, (int)(b.size() - at)));
            while ((res = r.Next(&m)) == NET_FRAME)
                ASSERT_LT(++calls, 2000);
            ASSERT_GE(r.Space(), 0);
            ASSERT_LE(r.Space(), NET_RECV_BUFFER);
        }
        refused += res < 0;
    }
    EXPECT_GT(refused, 10000); // random bytes are almost always refused
}

// ---- Rising rows against a model built from whole rows -------------------------

typedef std::vector<std::string> Rows; // top to bottom, one char per cell

TEST(NetRules, RowsSentForClearsAndRisingRowsMatchAModel)
{
    const int sent[6] = {0, 0, 1, 2, 4, 0};
    for (int c = 0; c <= 5; c++)
        EXPECT_EQ(sent[c], NetRowsToSend(c)) << c;

    DWORD rng = 99;
    int topouts = 0;
    for (int round = 0; round < 3000; round++) {
        int field[WELL_COLS][WELL_ROWS];
        Rows model(WELL_ROWS, std::string(WELL_COLS, '\0'));
        int height = (int)(NetRandom(&rng) % (WELL_ROWS + 1));
        for (int y = 0; y < WELL_ROWS; y++)
            for (int x = 0; x < WELL_COLS; x++) {
                int v =
                    y >= WELL_ROWS - height && NetRandom(&rng) % 3 ? 1 + NetRandom(&rng) % 7 : 0;
                field[x][y] = v;
                model[y][x] = (char)v;
            }
        int n = (int)(1 + NetRandom(&rng) % 4), hole = (int)(NetRandom(&rng) % WELL_COLS);
        int out = 0;
        for (int i = 0; i < n; i++) {
            out |= model.front().find_first_not_of('\0') != std::string::npos;
            model.erase(model.begin());
            std::string row(WELL_COLS, (char)RISING_CELL);
            row[hole] = 0;
            model.push_back(row);
        }
        ASSERT_EQ(out, NetRaiseRows(field, n, hole, RISING_CELL)) << round;
        topouts += out;
        for (int y = 0; y < WELL_ROWS; y++)
            for (int x = 0; x < WELL_COLS; x++)
                ASSERT_EQ(model[y][x], field[x][y]) << round << " " << x << "," << y;
    }
    EXPECT_GT(topouts, 0);
}

TEST(NetRules, AddressesAreParsedOrRefused)
{
    struct {
        const char* text;
        const char* host;
        int port;
    } good[] = {{"example", "example", NET_DEFAULT_PORT},
                {"10.0.0.2:5000", "10.0.0.2", 5000},
                {"[::1]:65535", "::1", 65535},
                {"[fe80::1%2]", "fe80::1%2", NET_DEFAULT_PORT},
                {"::1", "::1", NET_DEFAULT_PORT},
                {" host:1 ", "host", 1}};
    char host[16];
    unsigned short port;
    for (auto& c : good) {
        ASSERT_TRUE(NetParseAddress(c.text, host, sizeof host, &port)) << c.text;
        EXPECT_STREQ(c.host, host) << c.text;
        EXPECT_EQ(c.port, port) << c.text;
    }
    for (const char* bad : {"host:0", "host:65536", "host:", "host:12a", "[::1", "[::1]x", "",
                            "a b", ":80", "host:99999999999999999999", "a-name-longer-than-16"})
        EXPECT_EQ(0, NetParseAddress(bad, host, sizeof host, &port)) << bad;
}

// ---- Two sessions over loopback ------------------------------------------------

struct Side : public NetEvents {
    NetSession session;
    HWND hwnd = NULL;
    int connected = 0;
    int closed = -1;
    std::vector<NETMSG> got;
    void OnNetConnected() override { connected++; }
    void OnNetMessage(const NETMSG& m) override { got.push_back(m); }
    void OnNetClosed(int reason) override { closed = reason; }
};

LRESULT CALLBACK SideWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Side* s = (Side*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (s && msg == WM_NETSOCKET)
        s->session.OnSocket(wParam, lParam);
    else if (s && msg == WM_TIMER && wParam == NET_TIMER_ID)
        s->session.OnTimer();
    else
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    return 0;
}

class NetSessions : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = SideWndProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "NetSide";
        RegisterClassA(&wc);
    }
    void Make(Side& s)
    {
        s.hwnd = CreateWindowExA(0, "NetSide", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                 GetModuleHandleA(NULL), NULL);
        SetWindowLongPtrA(s.hwnd, GWLP_USERDATA, (LONG_PTR)&s);
        s.session.Init(s.hwnd, WM_NETSOCKET, NET_TIMER_ID, &s);
    }
    void TearDown() override
    {
        for (Side* s : {&host, &guest, &third}) {
            s->session.Close();
            if (s->hwnd)
                DestroyWindow(s->hwnd);
        }
    }
    // Pumps messages until cond holds or the time is up.
    template <class F> bool PumpUntil(F cond, DWORD ms = 5000)
    {
        DWORD start = GetTickCount();
        MSG msg;
        while (!cond() && GetTickCount() - start < ms) {
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            Sleep(1);
        }
        return cond();
    }
    unsigned short Port() { return (unsigned short)(41000 + GetCurrentProcessId() % 2000); }
    void Connect(const char* address)
    {
        Make(host);
        Make(guest);
        ASSERT_EQ(0, host.session.Listen(Port()));
        ASSERT_EQ(0, guest.session.Connect(address, Port()));
        ASSERT_TRUE(PumpUntil([&] { return host.connected && guest.connected; }));
    }
    Side host, guest, third;
};

TEST_F(NetSessions, AMatchOverLoopbackThenTheHostLeaves)
{
    Connect("127.0.0.1");
    // Guest asks, the host starts: both hold the same seed.
    ASSERT_TRUE(guest.session.SendType(NETMSG_REQSTART));
    ASSERT_TRUE(PumpUntil([&] { return host.got.size() == 1; }));
    EXPECT_EQ(NETMSG_REQSTART, host.got[0].type);
    NETMSG start = Msg(NETMSG_START);
    start.seed = 0xDEADBEEF;
    host.session.MatchStarted();
    ASSERT_TRUE(host.session.Send(start));
    ASSERT_TRUE(PumpUntil([&] { return guest.got.size() == 1; }));
    EXPECT_EQ(start.seed, guest.got[0].seed);

    // A second player is turned away politely while the match exists.
    Make(third);
    ASSERT_EQ(0, third.session.Connect("::1", Port()));
    ASSERT_TRUE(PumpUntil([&] { return third.closed >= 0; }));
    EXPECT_EQ(NET_END_BUSY, third.closed);
    EXPECT_EQ(NET_CONNECTED, host.session.State());

    // The host clears two rows: one row is sent, then its well.
    NETMSG rows = Msg(NETMSG_ROWS);
    rows.count = NetRowsToSend(2);
    ASSERT_TRUE(host.session.Send(rows));
    NETMSG board = Msg(NETMSG_BOARD);
    board.board.cells[3][21] = 4;
    board.board.pieceColor = 1;
    for (int k = 0; k < TETRAD_CELLS; k++)
        board.board.px[k] = (BYTE)(4 + k);
    board.board.score = 500;
    ASSERT_TRUE(host.session.Send(board));
    ASSERT_TRUE(PumpUntil([&] { return guest.got.size() == 3; }));
    EXPECT_EQ(NETMSG_ROWS, guest.got[1].type);
    EXPECT_EQ(1, guest.got[1].count);
    EXPECT_EQ(0, memcmp(&board.board, &guest.got[2].board, sizeof board.board));

    // The host's program goes away: the guest hears of it.
    host.session.Close();
    ASSERT_TRUE(PumpUntil([&] { return guest.closed >= 0; }));
    EXPECT_EQ(NET_END_LOST, guest.closed);
}

TEST_F(NetSessions, HostileBytesEndTheSessionWithoutLeaks)
{
    Make(host);
    DWORD rng = 4242;
    Bytes board = Encode(Msg(NETMSG_BOARD));
    HANDLE self = GetCurrentProcess();
    DWORD handles0 = 0, handles1 = 0;
    PROCESS_MEMORY_COUNTERS mem0 = {}, mem1 = {};
    for (int round = 0; round < 150; round++) {
        if (round == 30) { // warmed up
            GetProcessHandleCount(self, &handles0);
            GetProcessMemoryInfo(self, &mem0, sizeof mem0);
        }
        // A port of its own each round: the last one may linger in TIME_WAIT.
        unsigned short port = (unsigned short)(Port() + 1 + round);
        ASSERT_EQ(0, host.session.Listen(port));
        host.closed = -1;
        Bytes b = round % 3 == 1 ? kHello : Cat({kHello, board}); // mutated, a flood, noise
        for (int k = round % 3 ? 0 : 1 + NetRandom(&rng) % 3; k > 0; k--)
            b[NetRandom(&rng) % b.size()] ^= (BYTE)(1 + NetRandom(&rng) % 255);
        for (int k = round % 3 == 1 ? NET_MAX_FRAMES_PER_SEC + 1 : 0; k > 0; k--)
            b.insert(b.end(), {0, 1, NETMSG_HEARTBEAT});
        if (round % 3 == 2) {
            b.assign(1 + NetRandom(&rng) % 600, 0);
            for (BYTE& v : b)
                v = (BYTE)NetRandom(&rng);
        }
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, connect(s, (sockaddr*)&a, sizeof a));
        send(s, (const char*)b.data(), (int)b.size(), 0);
        shutdown(s, SD_SEND); // a short frame would otherwise wait for more
        u_long nonblocking = 1;
        ioctlsocket(s, FIONBIO, &nonblocking);
        // The host closes this connection whatever it made of the bytes.
        EXPECT_TRUE(PumpUntil([&] {
            char c;
            int r = recv(s, &c, 1, 0);
            return r == 0 || (r < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
        })) << round;
        if (round % 3 == 1) { // a flood after a good hello ends the session
            EXPECT_EQ(NET_END_BADDATA, host.closed) << round;
        }
        if (round % 3 == 2) { // noise instead of a hello: dropped, the host waits on
            EXPECT_EQ(-1, host.closed) << round;
            EXPECT_EQ(NET_LISTENING, host.session.State()) << round;
        }
        closesocket(s);
        host.session.Close();
    }
    GetProcessHandleCount(self, &handles1);
    GetProcessMemoryInfo(self, &mem1, sizeof mem1);
    EXPECT_LE(handles1, handles0 + 5);
    EXPECT_LE(mem1.PagefileUsage, mem0.PagefileUsage + 512 * 1024);
}

// The real main window and playfield as the guest, a bare session as the host.
TEST_F(NetSessions, TheShellPlaysAMatchShowsTheHostAndSurvivesItsLeaving)
{
    static OPTIONS op;
    memset(&op, 0, sizeof op);
    op.go.bg.flags = BG_SOLID;
    for (int i = 0; i < NUM_SCHEME_BLOCKS; i++)
        op.go.bs.blocks[i] = (DWORD)i;
    hinst = GetModuleHandleA(NULL);
    ASSERT_EQ(1, RegisterStakkaClasses(hinst));
    ASSERT_TRUE((hwndMain = CreateMainWindow(hinst, &op)) != NULL);
    ASSERT_TRUE((hinstDll = LoadLibraryA("stkgfx.dll")) != NULL);
    StakkaGrid* grid = new StakkaGrid(hwndMain, hinstDll, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    HMENU menu = GetMenu(hwndMain);
    auto state = [&](UINT id) { return GetMenuState(menu, id, MF_BYCOMMAND); };
    EXPECT_EQ(0u, state(IDM_CONNECT) & MF_GRAYED); // Winsock started, no socket yet
    EXPECT_EQ((UINT)(MF_CHECKED | MF_GRAYED), state(IDM_SINGLEPLAYER) & (MF_CHECKED | MF_GRAYED));

    Make(host);
    ASSERT_EQ(0, host.session.Listen(Port()));
    char address[32];
    snprintf(address, sizeof address, "[::1]:%u", (unsigned)Port());
    DialogDriver d;
    d.Then("Connect", [&](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_NETADDRESS, address);
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(hwndMain, WM_COMMAND, IDM_CONNECT, 0);
    d.ExpectDone();
    ASSERT_TRUE(PumpUntil([&] { return host.connected > 0; }));
    EXPECT_EQ((UINT)(MF_CHECKED | MF_GRAYED), state(IDM_MULTIPLAYER) & (MF_CHECKED | MF_GRAYED));

    // The host starts a match and clears two rows at once: one row rises at our landing.
    NETMSG m = Msg(NETMSG_START);
    host.session.MatchStarted();
    ASSERT_TRUE(host.session.Send(m) && host.session.Send(Msg(NETMSG_ROWS)));
    ASSERT_TRUE(PumpUntil([&] { return grid->Active() != 0; }));
    PumpUntil([] { return false; }, 200);
    StkClockDrive(1, 5000);
    int hadPiece = 0;
    for (int i = 0; i < 100 && !(hadPiece && !grid->pActiveTetrad); i++) {
        hadPiece |= grid->pActiveTetrad != NULL;
        StkClockAdvance(2000);
        grid->RunFrame();
    }
    StkClockDrive(0, 0);
    int risen = 0;
    for (int x = 0; x < WELL_COLS; x++)
        risen += grid->field[x][WELL_ROWS - 1] == RISING_CELL;
    EXPECT_EQ(WELL_COLS - 1, risen);
    NetShellAfterStep(grid); // our well goes to the host as it is
    ASSERT_TRUE(PumpUntil([&] { return !host.got.empty(); }));
    for (int x = 0; x < WELL_COLS; x++)
        EXPECT_EQ(grid->field[x][WELL_ROWS - 1], host.got.back().board.cells[x][WELL_ROWS - 1]);

    // The host's well shows in our Stats panel.
    m = Msg(NETMSG_BOARD);
    m.board.cells[2][WELL_ROWS - 1] = 5;
    ASSERT_TRUE(host.session.Send(m));
    PumpUntil([] { return false; }, 300);
    HDC hdc = CreateCompatibleDC(grid->hdcField);
    HBITMAP bm = CreateCompatibleBitmap(grid->hdcField, STATS_WIDTH, STATS_HEIGHT);
    HGDIOBJ old = SelectObject(hdc, bm);
    SendMessageA(grid->hwndStats, WM_PRINTCLIENT, (WPARAM)hdc, PRF_CLIENT);
    const int cy = OPP_Y + (WELL_ROWS - 1) * OPP_CELL + 2;
    EXPECT_NE(RGB(0, 0, 0), GetPixel(hdc, OPP_X + 2 * OPP_CELL + 2, cy));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(hdc, OPP_X + 3 * OPP_CELL + 2, cy));
    SelectObject(hdc, old);
    DeleteObject(bm);
    DeleteDC(hdc);

    // The host goes away: "Connection lost", the match is ours, New Game is offered again.
    host.session.Close();
    ASSERT_TRUE(PumpUntil([&] { return !d.errors.empty(); }));
    EXPECT_EQ("Connection lost", d.errors[0]);
    EXPECT_STREQ("YOU WIN", grid->banner);
    EXPECT_NE((UINT)-1, state(IDM_NEWGAME));
    EXPECT_NE(0u, state(IDM_SINGLEPLAYER) & MF_CHECKED);

    NetShellShutdown(grid);
    SendMessageA(hwndMain, WM_SETGRID, 0, 0);
    DestroyWindow(hwndMain);
    delete grid;
    FreeLibrary(hinstDll);
}

} // namespace

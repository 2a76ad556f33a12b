// test_netplay.cpp - the two-player codec, the rising-rows rules and real
// sessions talking over loopback (127.0.0.1 and ::1 only) in one process.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "clock.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "grid.h"
#include "netdlg.h"
#include "netshell.h"
#include "oppview.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "support/testkit.h"
#include "support/testshell.h"

namespace
{

typedef std::vector<BYTE> Bytes;

const auto Msg = [](int type) { return NETMSG{type, 7, 1, 0, {{}, MATCH_NO_PIECE, {}, {}, 0}}; };
Bytes Enc(int type, const NETMSG* m = NULL)
{
    BYTE buf[NET_MAX_FRAME];
    return Bytes(buf, buf + NetEncode(m ? *m : Msg(type), buf, sizeof buf));
}
Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
const Bytes kHello = Enc(NETMSG_HELLO), kStart = Enc(NETMSG_START);

// Feeds bytes and returns the first answer other than NET_FRAME.
int Feed(NetReader& r, const Bytes& b, NETMSG* m = NULL)
{
    NETMSG one;
    int res = r.Append(b.data(), (int)b.size()) == (int)b.size() ? NET_FRAME : NET_BAD;
    while (res == NET_FRAME)
        res = r.Next(m ? m++ : &one);
    return res;
}

TEST(NetCodec, MalformedTruncatedOversizedAndOutOfOrderFramesAreRefused)
{
    const Bytes board = Enc(NETMSG_BOARD);
    const int piece = NET_HEADER + NET_BOARD_CELLS; // colour, then x, y pairs
    auto edit = [](Bytes b, int at, BYTE v) {
        b[at] = v;
        return b;
    };
    auto inMatch = [&](const Bytes& b) { return Cat({kHello, kStart, b}); };
    const std::tuple<const char*, int, Bytes, int> cases[] = {
        {"nothing before hello", 0, Enc(NETMSG_HEARTBEAT), NET_BAD},
        {"other magic", 0, edit(kHello, NET_HEADER, kHello[NET_HEADER] ^ 1), NET_INCOMPATIBLE},
        {"other version", 0, edit(kHello, NET_HEADER + NET_MAGIC_LEN + 1, 9), NET_INCOMPATIBLE},
        {"short hello", 0, Bytes{0, 5, NETMSG_HELLO, 'S', 'S', 'S', 'S'}, NET_INCOMPATIBLE},
        {"second hello", 0, Cat({kHello, kHello}), NET_BAD},
        {"zero length", 0, Cat({kHello, {0, 0, 0}}), NET_BAD},
        {"unknown type 11", 0, Cat({kHello, {0, 1, NETMSG_LAST + 1}}), NET_BAD},
        {"long first frame", 0, Bytes{4000 >> 8, 4000 & 255, NETMSG_HELLO}, NET_INCOMPATIBLE},
        {"oversized", 0, Cat({kHello, {4000 >> 8, 4000 & 255, NETMSG_BOARD}}), NET_BAD},
        {"heartbeat with payload", 0, Cat({kHello, {0, 2, NETMSG_HEARTBEAT, 1}}), NET_BAD},
        {"start to the host", 1, Cat({kHello, kStart}), NET_BAD},
        {"seed 0", 0, Cat({kHello, {0, 5, NETMSG_START, 0, 0, 0, 0}}), NET_BAD},
        {"request to the guest", 0, Cat({kHello, Enc(NETMSG_REQSTART)}), NET_BAD},
        {"busy to the host", 1, Cat({kHello, Enc(NETMSG_BUSY)}), NET_BAD},
        {"board before a match", 0, Cat({kHello, board}), NET_BAD},
        {"rows 3", 0, inMatch({0, 2, NETMSG_ROWS, 3}), NET_BAD},
        {"pause 2", 0, inMatch({0, 2, NETMSG_PAUSE, 2}), NET_BAD},
        {"cell value 9", 0, inMatch(edit(board, NET_HEADER + 5, 0x90)), NET_BAD},
        {"piece colour 7", 0, inMatch(edit(board, piece, 7)), NET_BAD},
        {"coordinates without a piece", 0, inMatch(edit(board, piece + 3, 1)), NET_BAD},
        {"piece below", 0, inMatch(edit(edit(board, piece, 2), piece + 8, WELL_ROWS)), NET_BAD},
        {"truncated board waits", 0, inMatch(Bytes(board.begin(), board.end() - 9)), NET_NEED},
    };
    // A whole match passes in order, and arrives whole: seed, row count, well, piece, score.
    NETMSG in[3] = {{NETMSG_START, 0xDEADBEEF, 0, 0, {}},
                    {NETMSG_ROWS, 0, 4, 0, {}},
                    {NETMSG_BOARD, 0, 0, 0, {{{0, RISING_CELL}}, 6, {}, {0, 0, 0, 21}, 99999}}},
           out[9];
    const Bytes all = Cat({kHello, Enc(0, &in[0]), Enc(0, &in[1]), Enc(0, &in[2]),
                           Enc(NETMSG_PAUSE), Enc(NETMSG_TOPOUT), Enc(NETMSG_STOP), kStart});
    NetReader r;
    r.Reset(0);
    EXPECT_EQ(NET_NEED, Feed(r, all, out));
    EXPECT_EQ(0xDEADBEEF, out[1].seed);
    EXPECT_EQ(4, out[2].count);
    EXPECT_EQ(NETMSG_BOARD, out[3].type);
    EXPECT_EQ(0, memcmp(&in[2].board, &out[3].board, sizeof in[2].board));
    for (auto& [what, host, bytes, want] : cases) {
        r.Reset(host); // refused for good: valid bytes after it change nothing
        EXPECT_EQ(want, Feed(r, bytes)) << what;
        if (want < 0) {
            EXPECT_EQ(want, Feed(r, Enc(NETMSG_HEARTBEAT))) << what << ", then a heartbeat";
        }
    }
}

// Rising rows against a model that moves whole rows by index.
TEST(NetRules, RisingRowsMatchAModel)
{
    DWORD rng = 99;
    for (int round = 0; round < 3000; round++) {
        int field[WELL_COLS][WELL_ROWS], before[WELL_COLS][WELL_ROWS], out = 0;
        int top = (int)(MatchRandom(&rng) % (WELL_ROWS + 1)); // rows above the stack
        int n = (int)(1 + MatchRandom(&rng) % 4), hole = (int)(MatchRandom(&rng) % WELL_COLS);
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++) {
                field[x][y] = y >= top && MatchRandom(&rng) % 3 ? 1 + x % 7 : 0;
                before[x][y] = field[x][y];
                out |= y < n && field[x][y];
            }
        ASSERT_EQ(out, RaiseWellRows(field, n, hole)) << round;
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++)
                ASSERT_EQ(y + n < WELL_ROWS ? before[x][y + n] : (x != hole) * RISING_CELL,
                          field[x][y]);
    }
}

TEST(NetRules, AddressesAreParsedOrRefused)
{
    struct {
        const char* text;
        const char* hostAndPort;
    } good[] = {
        {"ex", "ex 24332"},
        {"[::1]:65535", "::1 65535"},
        {"[fe80::1%2]", "fe80::1%2 24332"},
        {"::1", "::1 24332"},
        {" h:1 ", "h 1"},
    };
    char host[16];
    unsigned short port;
    for (const auto& row : good) {
        SCOPED_TRACE(row.text);
        ASSERT_EQ(1, NetParseAddress(row.text, host, sizeof host, &port));
        EXPECT_EQ(row.hostAndPort, std::string(host) + " " + std::to_string(port));
    }
    for (const char* bad : {"host:0", "host:65536", "host:", "host:12a", "[::1", "[::1]x", "",
                            "a b", ":80", "host:99999999999999999999", "a-name-longer-than-16"})
        EXPECT_EQ(0, NetParseAddress(bad, host, sizeof host, &port)) << bad;
}

// ---- Sessions over loopback -----------------------------------------------------

const UINT_PTR kOtherTimer = 1; // a timer of the window's own, beside the session's

// A bare session on a message-only window of its own.
struct Side : public NetEvents {
    NetSession session;
    HWND hwnd;
    int closed = -1;
    std::vector<NETMSG> got;
    DWORD handleMs = 0;     // each message takes this long to handle
    DWORD postedAt = 0;     // WM_APP posted from the first message handled
    DWORD answeredAt = 0;   // and answered
    DWORD timerAt = 0;      // a timer set then fired (input and painting wait like timers)
    Side()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        WNDCLASSA wc = {0, Proc, 0, 0, NULL, NULL, NULL, NULL, NULL, "NetSide"};
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "NetSide", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, (LONG_PTR)this);
        session.Init(hwnd, WM_NETSOCKET, WM_NETLOOKUP, NET_TIMER_ID, this);
    }
    ~Side()
    {
        session.Close();
        DestroyWindow(hwnd);
        WSACleanup();
    }
    void OnNetConnected() override {}
    void OnNetMessage(const NETMSG& m) override
    {
        got.push_back(m);
        if (got.size() == 1) {
            postedAt = GetTickCount();
            PostMessageA(hwnd, WM_APP, 0, 0);
            SetTimer(hwnd, kOtherTimer, USER_TIMER_MINIMUM, NULL);
        }
        Sleep(handleMs);
    }
    void OnNetClosed(int reason) override { closed = reason; }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Side* s = (Side*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
        if (!s)
            return DefWindowProcA(hwnd, msg, wParam, lParam);
        switch (msg) {
        case WM_TIMER:
            if (wParam == kOtherTimer) {
                KillTimer(hwnd, kOtherTimer);
                s->timerAt = GetTickCount();
                return 0;
            }
            s->session.OnTimer();
            return 0;
        case WM_NETSOCKET:
            s->session.OnSocket(wParam, lParam);
            return 0;
        case WM_NETLOOKUP:
            s->session.OnLookup(wParam);
            return 0;
        case WM_APP:
            s->answeredAt = GetTickCount();
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
};

sockaddr_in Loopback(unsigned short port)
{
    return sockaddr_in{AF_INET, htons(port), {{{127, 0, 0, 1}}}, {}};
}

SOCKET Dial(unsigned short port, int receiveBuffer = 0)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receiveBuffer)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a = Loopback(port);
    connect(s, (const sockaddr*)&a, sizeof a);
    return s;
}

// A listening host and a bare socket that has said hello to it.
SOCKET Greet(Side& host, int receiveBuffer = 0)
{
    host.session.Listen(0);
    SOCKET peer = Dial(host.session.Port(), receiveBuffer);
    send(peer, (const char*)kHello.data(), (int)kHello.size(), 0);
    PumpUntil([&] { return host.session.State() == NET_CONNECTED; });
    return peer;
}

// The resolver double: loopback addresses at these ports, after resolveMs.
std::vector<unsigned short> answerPorts;
DWORD resolveMs;
int TestResolver(const char*, unsigned short, NETADDRS* out)
{
    Sleep(resolveMs);
    for (unsigned short port : answerPorts) {
        sockaddr_in a = Loopback(port);
        memcpy(&out->addr[out->count], &a, sizeof a);
        out->len[out->count++] = sizeof a;
    }
    return 0;
}

struct NetSessions : public ::testing::Test {
    void TearDown() override
    {
        NetSetResolver(NULL);
        StkClockDrive(0, 0);
    }
};

// The name resolves on the worker, slowly, to an address that never answers
// (a listener with a full queue drops calls), then the host's.
TEST_F(NetSessions, ASlowLookupLeavesTheWindowFreeAndEachAddressGetsItsOwnTime)
{
    Side host;
    Side guest;
    ASSERT_EQ(0, host.session.Listen(0));
    SOCKET deaf = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in any = Loopback(0);
    int len = sizeof any;
    ASSERT_EQ(0, bind(deaf, (sockaddr*)&any, len));
    ASSERT_EQ(0, listen(deaf, 0));
    getsockname(deaf, (sockaddr*)&any, &len);
    SOCKET filler = Dial(ntohs(any.sin_port));
    answerPorts = {ntohs(any.sin_port), host.session.Port()};
    resolveMs = 500;
    NetSetResolver(TestResolver);
    StkClockDrive(1, 0xFFFFFFFFu - 1000); // the limit runs across the wrap
    ASSERT_EQ(0, guest.session.Connect("first.invalid", 1));
    guest.session.Close(); // its end comes later and must change nothing
    ASSERT_EQ(0, guest.session.Connect("second.invalid", 1));
    EXPECT_EQ(NET_LOOKUP, guest.session.State()) << "the window waited for the lookup";
    ASSERT_TRUE(PumpUntil([&] { return guest.session.State() == NET_CONNECTING; }));
    PumpUntil([] { return false; }, 300);
    StkClockAdvance(NET_CONNECT_MS - 1);
    guest.session.OnTimer();
    EXPECT_EQ(NET_CONNECTING, guest.session.State());
    StkClockAdvance(1);
    guest.session.OnTimer();
    EXPECT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));
    EXPECT_EQ(-1, guest.closed);
    closesocket(filler);
    closesocket(deaf);
}

TEST_F(NetSessions, AStopQueuedBehindABacklogArrivesBeforeTheClose)
{
    Side host;
    SOCKET peer = Greet(host, 2048);
    ASSERT_EQ(NET_CONNECTED, host.session.State());
    // The peer reads nothing until our queue holds frames of its own.
    for (int i = 0; i < 50000 && host.session.Queued() == 0; i++)
        ASSERT_TRUE(host.session.Send(Msg(NETMSG_BOARD))) << i;
    ASSERT_TRUE(host.session.SendType(NETMSG_STOP));
    // The peer still talks as we close: a frame we never read must not reset the connection.
    const Bytes heartbeat = Enc(NETMSG_HEARTBEAT);
    send(peer, (const char*)heartbeat.data(), (int)heartbeat.size(), 0);
    Sleep(50);
    host.session.Close(); // the window waits 100 ms at most: the rest follows
    Bytes received;
    char chunk[4096];
    int n = recv(peer, chunk, sizeof chunk, 0);
    while (n > 0) {
        received.insert(received.end(), chunk, chunk + n);
        n = recv(peer, chunk, sizeof chunk, 0);
    }
    EXPECT_EQ(0, n) << "the connection ended with error " << WSAGetLastError();
    closesocket(peer);
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(Enc(NETMSG_STOP), Bytes(received.end() - 3, received.end()));
    EXPECT_EQ(1, NetLingerWait(NET_LINGER_MS)) << "the sending thread was never counted out";
}

// On the game's clock, which the slice of reading also goes by.
TEST_F(NetSessions, AStreamingPeerLetsAPostedMessageThroughAndFifteenSilentSecondsEndIt)
{
    Side host;
    host.handleMs = 5; // as slow as a match start that loads the music
    StkClockDrive(1, 0xFFFFFFFFu - 5000); // the silence limit runs across the wrap
    SOCKET peer = Greet(host);
    ASSERT_EQ(NET_CONNECTED, host.session.State());
    Bytes stream;
    for (int i = 0; i < 400; i++) // under the frame-rate limit, 2 s of handling
        stream = Cat({stream, Enc(NETMSG_REQSTART)});
    send(peer, (const char*)stream.data(), (int)stream.size(), 0);
    ASSERT_TRUE(PumpUntil([&] { return host.answeredAt != 0; }));
    EXPECT_LT(host.answeredAt - host.postedAt, 1000u) << host.got.size() << " frames first";
    ASSERT_TRUE(PumpUntil([&] { return host.timerAt != 0; }));
    EXPECT_LT(host.timerAt - host.postedAt, 1000u) << "a timer waited for the whole stream";
    EXPECT_TRUE(PumpUntil([&] { return host.got.size() == 400; }));
    StkClockAdvance(NET_SILENCE_MS - 1);
    host.session.OnTimer();
    EXPECT_EQ(-1, host.closed);
    StkClockAdvance(1);
    host.session.OnTimer();
    EXPECT_EQ(NET_END_LOST, host.closed);
    closesocket(peer);
}

TEST_F(NetSessions, RandomMutatedAndFloodingCallersEndCleanlyWithoutLeaks)
{
    Side host;
    DWORD rng = 4242, handles[2] = {};
    PROCESS_MEMORY_COUNTERS mem[2] = {};
    for (int round = 0; round < 300; round++) {
        if (round == 30 || round == 299) { // warmed up, and at the end
            NetLingerWait(NET_LINGER_MS); // the threads ending the last connections
            GetProcessHandleCount(GetCurrentProcess(), &handles[round > 30]);
            GetProcessMemoryInfo(GetCurrentProcess(), &mem[round > 30], sizeof mem[0]);
        }
        ASSERT_EQ(0, host.session.Listen(0));
        host.closed = -1;
        // A match with some bytes changed, a flood after a good hello, or noise instead of one.
        enum { MUTATED_MATCH, FLOOD, NOISE };
        const int kind = round % 3;
        Bytes b = kHello;
        if (kind == MUTATED_MATCH)
            b = Cat({kHello, kStart, Enc(NETMSG_BOARD), Enc(NETMSG_ROWS)});
        if (kind == FLOOD) {
            for (int k = 0; k <= NET_MAX_FRAMES_PER_SEC; k++)
                b.insert(b.end(), {0, 1, NETMSG_HEARTBEAT});
        }
        if (kind == NOISE)
            b = Bytes(1 + MatchRandom(&rng) % 600);
        for (BYTE& v : b) {
            const bool keep = kind == FLOOD || (kind == MUTATED_MATCH && MatchRandom(&rng) % 8);
            if (!keep)
                v = (BYTE)MatchRandom(&rng);
        }
        SOCKET s = Dial(host.session.Port());
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
        // A flood ends the session; noise is dropped and the host listens on.
        if (kind == FLOOD) {
            EXPECT_EQ(NET_END_BADDATA, host.closed) << round;
        }
        if (kind == NOISE) {
            EXPECT_EQ(-1, host.closed) << round;
            EXPECT_EQ(NET_LISTENING, host.session.State()) << round;
        }
        closesocket(s);
        host.session.Close();
    }
    EXPECT_LE(handles[1], handles[0] + 5);
    EXPECT_LE(mem[1].PagefileUsage, mem[0].PagefileUsage + 512 * 1024);
}

// The real main window and playfield as the guest, a bare session as the host.
TEST_F(NetSessions, TheShellPlaysAMatchShowsTheHostMirrorsPauseAndSurvivesItsLeaving)
{
    TestShell shell;
    ASSERT_TRUE(shell.Open());
    StakkaGrid* grid = shell.grid;

    Side host, third;
    ASSERT_EQ(0, host.session.Listen(0));
    const unsigned short port = host.session.Port();
    DialogDriver d;
    d.Then("Connect", [&](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_NETADDRESS, ("[::1]:" + std::to_string(port)).c_str());
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(hwndMain, WM_COMMAND, IDM_CONNECT, 0);
    d.ExpectDone();
    ASSERT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));

    // The host starts a match and clears two rows at once: one row rises at our landing.
    ASSERT_TRUE(host.session.Send(Msg(NETMSG_START)));
    ASSERT_TRUE(host.session.Send(Msg(NETMSG_ROWS)));
    ASSERT_TRUE(PumpUntil([&] { return grid->Active() != 0; }));
    // A second player is turned away politely while the match exists.
    ASSERT_EQ(0, third.session.Connect("127.0.0.1", port));
    EXPECT_TRUE(PumpUntil([&] { return third.closed == NET_END_BUSY; }));
    PumpUntil([] { return false; }, 200);
    StkClockDrive(1, 5000);
    // Frames until the first piece has landed.
    int hadPiece = 0;
    for (int i = 0; i < 100 && !(hadPiece && !grid->pActiveTetrad); i++) {
        hadPiece |= grid->pActiveTetrad != NULL;
        StkClockAdvance(2000);
        grid->RunFrame();
    }
    StkClockDrive(0, 0);
    NetShellAfterStep(grid); // our well goes to the host as it is
    ASSERT_TRUE(PumpUntil([&] { return !host.got.empty(); }));
    int risen = 0;
    for (int x = 0; x < WELL_COLS; x++)
        risen += grid->field[x][WELL_ROWS - 1] + host.got.back().board.cells[x][WELL_ROWS - 1] ==
                 2 * RISING_CELL;
    EXPECT_EQ(WELL_COLS - 1, risen);

    // The host's well shows in our Stats panel.
    NETMSG m = Msg(NETMSG_BOARD);
    m.board.cells[2][WELL_ROWS - 1] = 5;
    ASSERT_TRUE(host.session.Send(m));
    PumpUntil([] { return false; }, 300);
    const Pixels stats = ReadWindow(grid->hwndStats);
    const int cy = OPP_Y + (WELL_ROWS - 1) * OPP_CELL + 2;
    EXPECT_NE(RGB(0, 0, 0), stats.At(OPP_X + 2 * OPP_CELL + 2, cy));
    EXPECT_EQ(RGB(0, 0, 0), stats.At(OPP_X + 3 * OPP_CELL + 2, cy));

    // Pause there pauses here, and Pause here resumes there.
    NETMSG pause = Msg(NETMSG_PAUSE);
    pause.flag = 1;
    ASSERT_TRUE(host.session.Send(pause));
    EXPECT_TRUE(PumpUntil([&] { return grid->paused == 1; }));
    SendMessageA(hwndMain, WM_COMMAND, IDM_PAUSE, 0);
    EXPECT_TRUE(PumpUntil([&] { return host.got.back().type == NETMSG_PAUSE; }));
    EXPECT_EQ(0, host.got.back().flag);

    // The host goes away: "Connection lost", the match is ours, New Game is offered again.
    host.session.Close();
    ASSERT_TRUE(PumpUntil([&] { return !d.errors.empty(); }));
    EXPECT_EQ("Connection lost", d.errors[0]);
    EXPECT_STREQ("YOU WIN", grid->banner);
    EXPECT_NE((UINT)-1, GetMenuState(GetMenu(hwndMain), IDM_NEWGAME, MF_BYCOMMAND));
}

} // namespace

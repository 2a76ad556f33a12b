// test_netplay.cpp - the two-player codec, the rising-rows rules and real
// sessions talking over loopback (127.0.0.1 and ::1 only) in one process.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
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
    auto edit = [](Bytes b, int at, BYTE v) { return b[at] = v, b; };
    auto inMatch = [&](const Bytes& b) { return Cat({kHello, kStart, b}); };
    const std::tuple<const char*, int, Bytes, int> cases[] = {
        {"nothing before hello", 0, Enc(NETMSG_HEARTBEAT), NET_BAD},
        {"other magic", 0, edit(kHello, NET_HEADER, kHello[NET_HEADER] ^ 1), NET_INCOMPATIBLE},
        {"other version", 0, edit(kHello, NET_HEADER + NET_MAGIC_LEN + 1, 9), NET_INCOMPATIBLE},
        {"short hello", 0, Bytes{0, 5, NETMSG_HELLO, 'S', 'S', 'S', 'S'}, NET_INCOMPATIBLE},
        {"second hello", 0, Cat({kHello, kHello}), NET_BAD},
        {"zero length", 0, Cat({kHello, {0, 0, 0}}), NET_BAD},
        {"unknown type 11", 0, Cat({kHello, {0, 1, NETMSG_LAST + 1}}), NET_BAD},
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
    EXPECT_TRUE(out[1].seed == 0xDEADBEEF && out[2].count == 4 && out[3].type == NETMSG_BOARD);
    EXPECT_EQ(0, memcmp(&in[2].board, &out[3].board, sizeof in[2].board));
    for (auto& [what, host, bytes, want] : cases) {
        r.Reset(host); // refused for good: valid bytes after it change nothing
        EXPECT_TRUE(Feed(r, bytes) == want && (want >= 0 || Feed(r, Enc(NETMSG_HEARTBEAT)) == want))
            << what;
    }
}

// Rising rows against a model that moves whole rows by index.
TEST(NetRules, RowsSentForClearsAndRisingRowsMatchAModel)
{
    for (int c = 0; c <= 5; c++)
        EXPECT_EQ(c == 2 ? 1 : c == 3 ? 2 : c == 4 ? 4 : 0, MatchRowsToSend(c)) << c;
    DWORD rng = 99;
    for (int round = 0; round < 3000; round++) {
        int field[WELL_COLS][WELL_ROWS], before[WELL_COLS][WELL_ROWS], out = 0;
        int top = (int)(MatchRandom(&rng) % (WELL_ROWS + 1)); // rows above the stack
        int n = (int)(1 + MatchRandom(&rng) % 4), hole = (int)(MatchRandom(&rng) % WELL_COLS);
        for (int x = 0; x < WELL_COLS; x++)
            for (int y = 0; y < WELL_ROWS; y++) {
                before[x][y] = field[x][y] = y >= top && MatchRandom(&rng) % 3 ? 1 + x % 7 : 0;
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
    const char* good[] = {
        "ex",  "ex 24332",  "[::1]:65535", "::1 65535", "[fe80::1%2]", "fe80::1%2 24332",
        "::1", "::1 24332", " h:1 ",       "h 1"};
    char host[16];
    unsigned short port;
    for (int i = 0; i < 10; i += 2)
        EXPECT_TRUE(NetParseAddress(good[i], host, sizeof host, &port) &&
                    good[i + 1] == std::string(host) + " " + std::to_string(port))
            << good[i];
    for (const char* bad : {"host:0", "host:65536", "host:", "host:12a", "[::1", "[::1]x", "",
                            "a b", ":80", "host:99999999999999999999", "a-name-longer-than-16"})
        EXPECT_EQ(0, NetParseAddress(bad, host, sizeof host, &port)) << bad;
}

// ---- Sessions over loopback -----------------------------------------------------

// A bare session on a message-only window of its own.
struct Side : public NetEvents {
    NetSession session;
    HWND hwnd;
    int closed = -1;
    std::vector<NETMSG> got;
    DWORD handleMs = 0;     // each message takes this long to handle
    DWORD postedAt = 0;     // WM_APP posted from the first message handled
    DWORD answeredAt = 0;   // and answered
    Side()
    {
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
    }
    void OnNetConnected() override {}
    void OnNetMessage(const NETMSG& m) override
    {
        got.push_back(m);
        if (got.size() == 1) {
            postedAt = GetTickCount();
            PostMessageA(hwnd, WM_APP, 0, 0);
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

// Pumps messages until cond holds or the time is up.
template <class F> bool PumpUntil(F cond, DWORD ms = 5000)
{
    MSG msg;
    for (DWORD start = GetTickCount(); !cond() && GetTickCount() - start < ms; Sleep(1))
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    return cond();
}

SOCKADDR_STORAGE Loopback(unsigned short port)
{
    sockaddr_in a = {AF_INET, htons(port), {{{127, 0, 0, 1}}}, {}};
    SOCKADDR_STORAGE any = {};
    memcpy(&any, &a, sizeof a);
    return any;
}

SOCKET Dial(unsigned short port, int receiveBuffer = 0)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receiveBuffer)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&receiveBuffer, sizeof receiveBuffer);
    SOCKADDR_STORAGE a = Loopback(port);
    connect(s, (const sockaddr*)&a, sizeof(sockaddr_in));
    return s;
}

// The resolver double: answers with `answer` after `resolveMs`.
NETADDRS answer;
DWORD resolveMs;
int TestResolver(const char*, unsigned short, NETADDRS* out)
{
    Sleep(resolveMs);
    *out = answer;
    return 0;
}
void Answer(std::initializer_list<unsigned short> ports, DWORD ms)
{
    answer = NETADDRS{};
    for (unsigned short port : ports) {
        answer.addr[answer.count] = Loopback(port);
        answer.len[answer.count] = sizeof(sockaddr_in);
        answer.count++;
    }
    resolveMs = ms;
    NetSetResolver(TestResolver);
}

struct NetSessions : public ::testing::Test {
    void SetUp() override
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
    void TearDown() override
    {
        NetSetResolver(NULL);
        StkClockDrive(0, 0);
        WSACleanup();
    }
};

TEST_F(NetSessions, ALookupRunsOffTheWindowThreadAndAnAbandonedOneChangesNothing)
{
    Side host;
    Side guest;
    ASSERT_EQ(0, host.session.Listen(0));
    Answer({host.session.Port()}, 500);
    ASSERT_EQ(0, guest.session.Connect("first.invalid", 1));
    guest.session.Close(); // its end comes after this and must be dropped
    ASSERT_EQ(0, guest.session.Connect("second.invalid", 1));
    PostMessageA(guest.hwnd, WM_APP, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return guest.answeredAt != 0; }));
    EXPECT_EQ(NET_LOOKUP, guest.session.State()) << "the window waited for the lookup";
    EXPECT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));
    EXPECT_EQ(NET_CONNECTED, guest.session.State());
    EXPECT_EQ(-1, guest.closed);
}

TEST_F(NetSessions, AnAddressThatNeverAnswersLeavesTheNextItsOwnTime)
{
    Side host;
    Side guest;
    ASSERT_EQ(0, host.session.Listen(0));
    // A listener with a full queue drops further calls without an answer.
    SOCKET deaf = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKADDR_STORAGE any = Loopback(0);
    int len = sizeof(sockaddr_in);
    ASSERT_EQ(0, bind(deaf, (sockaddr*)&any, len));
    ASSERT_EQ(0, listen(deaf, 0));
    getsockname(deaf, (sockaddr*)&any, &len);
    SOCKET filler = Dial(ntohs(((sockaddr_in*)&any)->sin_port));
    Answer({ntohs(((sockaddr_in*)&any)->sin_port), host.session.Port()}, 0);
    StkClockDrive(1, 0xFFFFFFFFu - 1000); // the limit runs across the wrap
    ASSERT_EQ(0, guest.session.Connect("two.invalid", 1));
    ASSERT_TRUE(PumpUntil([&] { return guest.session.State() == NET_CONNECTING; }));
    PumpUntil([] { return false; }, 300);
    StkClockAdvance(NET_CONNECT_MS - 1);
    guest.session.OnTimer();
    EXPECT_EQ(NET_CONNECTING, guest.session.State());
    StkClockAdvance(1);
    guest.session.OnTimer();
    EXPECT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));
    closesocket(filler);
    closesocket(deaf);
}

TEST_F(NetSessions, AStopQueuedBehindABacklogArrivesBeforeTheClose)
{
    Side host;
    ASSERT_EQ(0, host.session.Listen(0));
    SOCKET peer = Dial(host.session.Port(), 2048);
    send(peer, (const char*)kHello.data(), (int)kHello.size(), 0);
    ASSERT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));
    // The peer reads nothing until our queue holds frames of its own.
    for (int i = 0; i < 50000 && host.session.Queued() == 0; i++)
        ASSERT_TRUE(host.session.Send(Msg(NETMSG_BOARD))) << i;
    ASSERT_GT(host.session.Queued(), 0);
    ASSERT_TRUE(host.session.SendType(NETMSG_STOP));
    Bytes received;
    std::thread reader([&] {
        char chunk[4096];
        int n = recv(peer, chunk, sizeof chunk, 0);
        while (n > 0) {
            received.insert(received.end(), chunk, chunk + n);
            n = recv(peer, chunk, sizeof chunk, 0);
        }
    });
    host.session.Close();
    reader.join();
    closesocket(peer);
    ASSERT_GE(received.size(), 3u);
    EXPECT_EQ(Enc(NETMSG_STOP), Bytes(received.end() - 3, received.end()));
}

TEST_F(NetSessions, APostedMessageIsAnsweredWithinASecondWhileAPeerStreamsFrames)
{
    Side host;
    host.handleMs = 5; // as slow as a match start that loads the music
    ASSERT_EQ(0, host.session.Listen(0));
    SOCKET peer = Dial(host.session.Port());
    Bytes stream = kHello;
    for (int i = 0; i < 400; i++) // under the frame-rate limit, 2 s of handling
        stream = Cat({stream, Enc(NETMSG_REQSTART)});
    send(peer, (const char*)stream.data(), (int)stream.size(), 0);
    ASSERT_TRUE(PumpUntil([&] { return host.answeredAt != 0; }));
    EXPECT_LT(host.answeredAt - host.postedAt, 1000u) << host.got.size() << " frames first";
    EXPECT_TRUE(PumpUntil([&] { return host.got.size() == 400; }));
    closesocket(peer);
}

TEST_F(NetSessions, FifteenSilentSecondsOnTheGameClockEndTheSession)
{
    Side host;
    StkClockDrive(1, 0xFFFFFFFFu - 5000); // the limit runs across the wrap
    ASSERT_EQ(0, host.session.Listen(0));
    SOCKET peer = Dial(host.session.Port());
    send(peer, (const char*)kHello.data(), (int)kHello.size(), 0);
    ASSERT_TRUE(PumpUntil([&] { return host.session.State() == NET_CONNECTED; }));
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
            GetProcessHandleCount(GetCurrentProcess(), &handles[round > 30]);
            GetProcessMemoryInfo(GetCurrentProcess(), &mem[round > 30], sizeof mem[0]);
        }
        ASSERT_EQ(0, host.session.Listen(0));
        host.closed = -1;
        // A flood after a good hello, noise instead of one, or a match with some bytes changed.
        Bytes b = round % 3 ? kHello : Cat({kHello, kStart, Enc(NETMSG_BOARD), Enc(NETMSG_ROWS)});
        for (int k = round % 3 == 1 ? NET_MAX_FRAMES_PER_SEC + 1 : 0; k > 0; k--)
            b.insert(b.end(), {0, 1, NETMSG_HEARTBEAT});
        for (BYTE& v : (round % 3 < 2 ? b : (b = Bytes(1 + MatchRandom(&rng) % 600))))
            v = round % 3 == 1 || (round % 3 == 0 && MatchRandom(&rng) % 8) ? v
                                                                          : (BYTE)MatchRandom(&rng);
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
        EXPECT_TRUE(round % 3 != 1 || host.closed == NET_END_BADDATA) << round;
        EXPECT_TRUE(round % 3 != 2 || (host.closed < 0 && host.session.State() == NET_LISTENING));
        closesocket(s);
        host.session.Close();
    }
    EXPECT_LE(handles[1], handles[0] + 5);
    EXPECT_LE(mem[1].PagefileUsage, mem[0].PagefileUsage + 512 * 1024);
}

// The real main window and playfield as the guest, a bare session as the host.
TEST_F(NetSessions, TheShellPlaysAMatchShowsTheHostMirrorsPauseAndSurvivesItsLeaving)
{
    static OPTIONS op;
    op.go.bg.flags = BG_SOLID;
    ASSERT_EQ(1, RegisterStakkaClasses(hinst = GetModuleHandleA(NULL)));
    ASSERT_TRUE((hwndMain = CreateMainWindow(hinst, &op)) != NULL);
    ASSERT_TRUE((hinstDll = LoadLibraryA("stkgfx.dll")) != NULL);
    StakkaGrid* grid = new StakkaGrid(hwndMain, hinstDll, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);

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
    ASSERT_TRUE(host.session.Send(Msg(NETMSG_START)) && host.session.Send(Msg(NETMSG_ROWS)));
    ASSERT_TRUE(PumpUntil([&] { return grid->Active() != 0; }));
    // A second player is turned away politely while the match exists.
    ASSERT_EQ(0, third.session.Connect("127.0.0.1", port));
    EXPECT_TRUE(PumpUntil([&] { return third.closed == NET_END_BUSY; }));
    PumpUntil([] { return false; }, 200);
    StkClockDrive(1, 5000);
    for (int i = 0, hadPiece = 0; i < 100 && !(hadPiece && !grid->pActiveTetrad);
         i++, StkClockAdvance(2000), grid->RunFrame())
        hadPiece |= grid->pActiveTetrad != NULL;
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
    EXPECT_TRUE(GetMenuState(GetMenu(hwndMain), IDM_SINGLEPLAYER, MF_BYCOMMAND) & MF_CHECKED);

    NetShellShutdown(grid);
    SendMessageA(hwndMain, WM_SETGRID, 0, 0);
    DestroyWindow(hwndMain);
    delete grid;
    FreeLibrary(hinstDll);
}

} // namespace

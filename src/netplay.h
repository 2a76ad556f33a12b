// netplay.h - two players over TCP: the message codec and the network
// session (the rules of a match are in match.h).
//
// The other end is untrusted. Every frame is length, type and payload; the
// reader keeps a bounded buffer, refuses a frame longer than NET_MAX_FRAME
// as soon as its length is seen, checks every field of every message and
// the order of messages, and once it has refused something it stays refused.
//
// The session is one TCP connection (plus the listening sockets of a host)
// on the window thread: non-blocking sockets report through WSAAsyncSelect
// to a window, heartbeats, the time limits and the next slice of a burst
// through a window timer, and the name to connect to is looked up on a
// worker thread (netlookup.h).
// Closing sends what is still queued (a STOP behind a backlog) before the FIN.
// A burst of frames is handled a bounded slice at a time, so the window's
// other messages (input and painting too) run in between. Several sessions
// can live in one process (the tests run two).
#ifndef NETPLAY_H
#define NETPLAY_H

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "match.h"
#include "netlookup.h"
#include "stkdefs.h"

enum {
    NET_DEFAULT_PORT = 24332,
    NET_VERSION = 1,
    NET_MAGIC_LEN = 8,
    NET_HEADER = 3,          // u16 length (type + payload), u8 type
    NET_MAX_FRAME = 300,     // header included
    NET_RECV_BUFFER = 1024,  // bytes held while a frame is incomplete
    NET_SEND_BUFFER = 16384, // queued while the peer does not read; more ends the session
    NET_MAX_FRAMES_PER_SEC = 600,
    NET_HEARTBEAT_MS = 2000,
    NET_SILENCE_MS = 15000,
    NET_CONNECT_MS = 5000,     // each address of a name gets this long to answer
    NET_TIMER_MS = 500,
    NET_FRAMES_PER_EVENT = 32, // frames handled before other messages run
    NET_SLICE_MS = 20,         // or this long, whichever comes first
    NET_CONTINUE_MS = USER_TIMER_MINIMUM, // then the timer brings the next slice
    NET_CLOSE_WAIT_MS = 100,   // the most a close waits to send what is queued,
    NET_LINGER_MS = 3000,      // then a thread sends the rest for at most this long
    NET_LINGER_POLL_MS = 10,   // how often the end of the program looks for those threads
    NET_BOARD_CELLS = (WELL_COLS * WELL_ROWS + 1) / 2, // two cells a byte
};

// Message types on the wire.
enum {
    NETMSG_HELLO = 1,     // magic, version: first frame of both sides
    NETMSG_BUSY = 2,      // host -> refused player: a match exists already
    NETMSG_HEARTBEAT = 3, // keeps a quiet connection alive
    NETMSG_REQSTART = 4,  // guest -> host: New Game was chosen
    NETMSG_START = 5,     // host -> guest: seed; both start a match
    NETMSG_BOARD = 6,     // the sender's well, falling piece and score
    NETMSG_ROWS = 7,      // rows to rise on the receiver: 1, 2 or 4
    NETMSG_TOPOUT = 8,    // the sender topped out: the receiver wins
    NETMSG_PAUSE = 9,     // pause state 0 / 1 for both
    NETMSG_STOP = 10,     // Stop Game: the match ends on both
    NETMSG_LAST = NETMSG_STOP
};

// What the reader says of its input.
enum {
    NET_NEED = 0,          // no whole frame yet
    NET_FRAME = 1,         // a checked message
    NET_BAD = -1,          // malformed, unknown, out of order or flooding
    NET_INCOMPATIBLE = -2, // wrong magic or version
};

struct NETMSG {
    int type;
    DWORD seed;     // START, never 0
    int count;      // ROWS
    int flag;       // PAUSE
    MATCHBOARD board; // BOARD
};

// Writes one frame; returns its length, or 0 if it does not fit in cap or
// the message holds a value that cannot be sent.
int NetEncode(const NETMSG& m, BYTE* out, int cap);

// Cuts frames out of the received bytes and checks them.
class NetReader
{
  public:
    // host: this side listens (it sends START and receives REQSTART).
    void Reset(int host);
    // Room left for received bytes.
    int Space() const { return NET_RECV_BUFFER - used; }
    // Takes up to Space() bytes; returns how many were taken.
    int Append(const BYTE* data, int n);
    // Whole frames completed by the bytes appended since the last call.
    int Arrived();
    // The next message: NET_FRAME with *m filled, NET_NEED, or an error,
    // which every later call repeats.
    int Next(NETMSG* m);
    // The host sent START: match messages are in order from now on.
    void StartSent() { matchBegun = 1; }
    int HelloSeen() const { return helloSeen; }

  private:
    int Check(int type, const BYTE* p, int n, NETMSG* m);
    BYTE buf[NET_RECV_BUFFER];
    int used;
    int counted; // bytes at the front already counted as whole frames
    int host;
    int helloSeen;
    int matchBegun; // a START went one way or the other
    int error;
};

// Ends a connection from a thread of its own: sends the n bytes still queued
// on the non-blocking socket s, shuts it down, reads and drops what the peer
// still sends until its own close, then closes s; all within NET_LINGER_MS.
// 1 when the thread took s over; 0 leaves s to the caller.
int NetSendRestAndClose(SOCKET s, const BYTE* data, int n);
// Reads and drops what arrives on the non-blocking socket s until the peer
// closes, an error, or ms have passed (0: only what is there already); a
// peer that keeps sending is given NET_CLOSE_WAIT_MS more at the most.
// Closing a socket with unread data resets the connection, and a reset may
// throw away what the peer has not read yet (a STOP).
void NetDropReceived(SOCKET s, DWORD ms);
// Waits at most ms for every such thread to finish; 1 when none is left.
// For the end of the program: WSACleanup would cut their sending short.
int NetLingerWait(DWORD ms);

// ---- The session -------------------------------------------------------------
enum NETSTATE { NET_IDLE, NET_LISTENING, NET_LOOKUP, NET_CONNECTING, NET_HANDSHAKE, NET_CONNECTED };

// Why a session ended.
enum {
    NET_END_LOST,         // closed, reset or silent for NET_SILENCE_MS
    NET_END_BADDATA,      // the peer sent something we refuse
    NET_END_INCOMPATIBLE, // another version or another program
    NET_END_CONNECTFAIL,  // the name has no address, or none answered
    NET_END_BUSY          // the host has a player already
};

class NetEvents
{
  public:
    virtual void OnNetConnected() = 0;
    virtual void OnNetMessage(const NETMSG& m) = 0;
    // The session is idle again when this is called.
    virtual void OnNetClosed(int reason) = 0;

  protected:
    ~NetEvents() {}
};

class NetSession
{
  public:
    NetSession();
    ~NetSession();
    // hwnd receives `socketMsg` for socket events, `lookupMsg` for the end
    // of a name lookup and WM_TIMER `timerId`.
    void Init(HWND hwnd, UINT socketMsg, UINT lookupMsg, UINT_PTR timerId, NetEvents* events);
    // Starts listening on every interface (port 0: one the system picks,
    // then shown by Port()); 0 or a Winsock error code.
    int Listen(unsigned short port);
    // Starts looking up the name, then connecting to its addresses in
    // turn; 0 or a Winsock error code. The outcome comes as OnNetConnected
    // or OnNetClosed(NET_END_CONNECTFAIL).
    int Connect(const char* host, unsigned short port);
    // Ends the session without an event. What is queued is still sent
    // (the window waits at most NET_CLOSE_WAIT_MS, a thread sends the rest)
    // before a FIN, and the peer's close is awaited by that thread; a lookup
    // under way is abandoned.
    void Close();
    int Send(const NETMSG& m);
    int SendType(int type);
    // Window message handlers.
    void OnSocket(WPARAM wParam, LPARAM lParam);
    // 1 when the lookup was this session's (else another asker's).
    int OnLookup(WPARAM ticket);
    void OnTimer();

    NETSTATE State() const { return state; }
    int IsHost() const { return host; }
    unsigned short Port() const { return port; }
    // Bytes waiting for the peer to read.
    int Queued() const { return outUsed; }

  private:
    void End(int reason);
    void Refuse(SOCKET s);
    int TryNextAddress();
    // A session begins: host or guest, its port, its first state, the heartbeat timer.
    void Enter(NETSTATE first, int asHost, unsigned short atPort);
    void BeginHandshake();
    void ReadSome();
    int Handle(const NETMSG& m, int r);
    void PeerGone();
    int WithinFrameRate(int frames); // 0 once the peer sends more frames a second than a game can
    void Flush();
    int FlushBeforeClose(); // 1 when a thread took the socket over
    int Queue(const BYTE* data, int n);

    HWND hwnd;
    UINT socketMsg;
    UINT lookupMsg;
    UINT_PTR timerId;
    NetEvents* events;
    NETSTATE state;
    int host;
    unsigned short port;
    SOCKET listeners[2];
    SOCKET conn;
    UINT_PTR lookup; // ticket of the lookup under way, or 0
    NETADDRS addrs;  // of the name being connected to
    int nextAddr;
    DWORD attemptStart; // when the current address was tried
    NetReader reader;
    BYTE* outbuf; // NET_SEND_BUFFER bytes, made with the first session
    int outUsed;
    DWORD lastRecv;
    DWORD lastSend;
    DWORD floodStart;
    int floodFrames;
    int reading;
    int continueDue; // the timer comes back soon to read on after a slice
};

#endif // NETPLAY_H

// netsession.cpp - one TCP connection to the other player, on the window
// thread: connecting, the handshake, sending with a queue, reading.
#include "netplay.h"

#include <string.h>

#include <new>

#include "clock.h"

// ---------------------------------------------------------------------------
// The session
// ---------------------------------------------------------------------------

NetSession::NetSession()
    : hwnd(NULL), socketMsg(0), lookupMsg(0), timerId(0), events(NULL), state(NET_IDLE), host(0),
      port(0), conn(INVALID_SOCKET), lookup(0), nextAddr(0), attemptStart(0), outbuf(NULL),
      outUsed(0), lastRecv(0), lastSend(0), floodStart(0), floodFrames(0), reading(0),
      continueDue(0)
{
    listeners[0] = listeners[1] = INVALID_SOCKET;
    memset(&addrs, 0, sizeof addrs);
    reader.Reset(0);
}

NetSession::~NetSession()
{
    Close();
    delete[] outbuf;
}

void NetSession::Init(HWND window, UINT msg, UINT lookupDone, UINT_PTR timer, NetEvents* ev)
{
    hwnd = window;
    socketMsg = msg;
    lookupMsg = lookupDone;
    timerId = timer;
    events = ev;
}

int NetSession::FlushBeforeClose()
{
    // A STOP or TOPOUT behind a backlog is the last thing the other player
    // should hear. The window waits a little for the queue to leave, then a
    // thread sends the rest and awaits the peer's close (the end of the
    // program waits for that thread).
    // Wall-clock time: the wait must end whatever the game's clock does.
    DWORD start = GetTickCount();
    for (;;) {
        Flush();
        DWORD spent = GetTickCount() - start;
        if (outUsed == 0)
            return 0;
        if (spent >= NET_CLOSE_WAIT_MS)
            break;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(conn, &writable);
        timeval tv = {0, (long)(NET_CLOSE_WAIT_MS - spent) * 1000};
        if (select(0, NULL, &writable, NULL, &tv) < 0)
            return 0;
    }
    WSAAsyncSelect(conn, hwnd, 0, 0); // nothing more of it reaches the window
    return NetSendRestAndClose(conn, outbuf, outUsed);
}

void NetSession::Close()
{
    for (int i = 0; i < 2; i++)
        if (listeners[i] != INVALID_SOCKET) {
            closesocket(listeners[i]);
            listeners[i] = INVALID_SOCKET;
        }
    if (conn != INVALID_SOCKET) {
        int handedOver = 0;
        if (outUsed > 0 && (state == NET_HANDSHAKE || state == NET_CONNECTED))
            handedOver = FlushBeforeClose();
        if (!handedOver) {
            // FIN after the data: the peer reads everything, then the close.
            // What it sent that we never read goes first, or the close would
            // reset the connection.
            shutdown(conn, SD_SEND);
            NetDropReceived(conn, 0);
            closesocket(conn);
        }
        conn = INVALID_SOCKET;
    }
    NetLookupCancel(lookup);
    lookup = 0;
    memset(&addrs, 0, sizeof addrs);
    nextAddr = 0;
    if (state != NET_IDLE && hwnd)
        KillTimer(hwnd, timerId);
    state = NET_IDLE;
    outUsed = 0;
    continueDue = 0;
    reader.Reset(0);
}

void NetSession::End(int reason)
{
    // A host whose caller never said hello (a port scanner, another program,
    // a player who gave up) drops that caller and goes on waiting.
    if (host && state == NET_HANDSHAKE &&
        (listeners[0] != INVALID_SOCKET || listeners[1] != INVALID_SOCKET)) {
        closesocket(conn);
        conn = INVALID_SOCKET;
        outUsed = 0;
        if (continueDue)
            SetTimer(hwnd, timerId, NET_TIMER_MS, NULL); // its usual pace again
        continueDue = 0;
        reader.Reset(1);
        state = NET_LISTENING;
        return;
    }
    Close();
    if (events)
        events->OnNetClosed(reason);
}

int NetSession::Listen(unsigned short listenPort)
{
    Close();
    if (!outbuf && !(outbuf = new (std::nothrow) BYTE[NET_SEND_BUFFER]))
        return WSAENOBUFS;
    // One socket per family; a machine without IPv6 still listens on IPv4.
    const int families[2] = {AF_INET6, AF_INET};
    int err = 0;
    for (int i = 0; i < 2; i++) {
        SOCKET s = socket(families[i], SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            err = WSAGetLastError();
            continue;
        }
        sockaddr_storage ss;
        memset(&ss, 0, sizeof ss);
        int len;
        if (families[i] == AF_INET6) {
            DWORD only = 1; // the IPv4 socket takes IPv4
            setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, (const char*)&only, sizeof only);
            sockaddr_in6* a = (sockaddr_in6*)&ss;
            a->sin6_family = AF_INET6;
            a->sin6_port = htons(listenPort);
            a->sin6_addr = in6addr_any;
            len = sizeof *a;
        } else {
            sockaddr_in* a = (sockaddr_in*)&ss;
            a->sin_family = AF_INET;
            a->sin_port = htons(listenPort);
            a->sin_addr.s_addr = htonl(INADDR_ANY);
            len = sizeof *a;
        }
        if (bind(s, (sockaddr*)&ss, len) != 0 || listen(s, SOMAXCONN) != 0 ||
            WSAAsyncSelect(s, hwnd, socketMsg, FD_ACCEPT) != 0) {
            err = WSAGetLastError();
            closesocket(s);
            continue;
        }
        listeners[i] = s;
        // Port 0: the system's pick for the first family is asked of both.
        int got = sizeof ss;
        if (listenPort == 0 && getsockname(s, (sockaddr*)&ss, &got) == 0)
            listenPort = ntohs(families[i] == AF_INET6 ? ((sockaddr_in6*)&ss)->sin6_port
                                                       : ((sockaddr_in*)&ss)->sin_port);
    }
    if (listeners[0] == INVALID_SOCKET && listeners[1] == INVALID_SOCKET)
        return err ? err : WSAEINVAL;
    Enter(NET_LISTENING, 1, listenPort);
    return 0;
}

int NetSession::Connect(const char* name, unsigned short toPort)
{
    Close();
    if (!outbuf && !(outbuf = new (std::nothrow) BYTE[NET_SEND_BUFFER]))
        return WSAENOBUFS;
    lookup = NetLookupStart(hwnd, lookupMsg, name, toPort);
    if (!lookup)
        return WSAENOBUFS;
    Enter(NET_LOOKUP, 0, toPort);
    return 0;
}

void NetSession::Enter(NETSTATE first, int asHost, unsigned short atPort)
{
    host = asHost;
    port = atPort;
    state = first;
    reader.Reset(asHost);
    SetTimer(hwnd, timerId, NET_TIMER_MS, NULL);
}

int NetSession::OnLookup(WPARAM ticket)
{
    if (!lookup || (UINT_PTR)ticket != lookup)
        return 0;
    lookup = 0;
    int err = 0;
    int taken = NetLookupTake((UINT_PTR)ticket, &addrs, &err); // and frees its slot
    if (state != NET_LOOKUP || !taken)
        return 1;
    nextAddr = 0;
    state = NET_CONNECTING;
    if (err != 0 || !TryNextAddress())
        End(NET_END_CONNECTFAIL);
    return 1;
}

int NetSession::TryNextAddress()
{
    if (conn != INVALID_SOCKET) {
        closesocket(conn);
        conn = INVALID_SOCKET;
    }
    for (; nextAddr < addrs.count; nextAddr++) {
        const sockaddr* a = (const sockaddr*)&addrs.addr[nextAddr];
        SOCKET s = socket(a->sa_family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET)
            continue;
        // Asynchronous from here on: the outcome comes as FD_CONNECT.
        if (WSAAsyncSelect(s, hwnd, socketMsg, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            closesocket(s);
            continue;
        }
        if (connect(s, a, addrs.len[nextAddr]) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
            closesocket(s);
            continue;
        }
        conn = s;
        nextAddr++;
        attemptStart = StkTickCount();
        return 1;
    }
    return 0;
}

void NetSession::BeginHandshake()
{
    state = NET_HANDSHAKE;
    lastRecv = lastSend = StkTickCount();
    floodStart = lastRecv;
    floodFrames = 0;
    SendType(NETMSG_HELLO);
}

void NetSession::Refuse(SOCKET s)
{
    // A polite no: our hello and "busy", then the door closes. Both fit in
    // a fresh socket's buffer, so a single send each does.
    BYTE frame[NET_MAX_FRAME];
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = NETMSG_HELLO;
    int n = NetEncode(m, frame, sizeof frame);
    m.type = NETMSG_BUSY;
    n += NetEncode(m, frame + n, (int)sizeof frame - n);
    send(s, (const char*)frame, n, 0);
    shutdown(s, SD_SEND);
    closesocket(s);
}

void NetSession::OnSocket(WPARAM wParam, LPARAM lParam)
{
    SOCKET s = (SOCKET)wParam;
    int event = WSAGETSELECTEVENT(lParam);
    int err = WSAGETSELECTERROR(lParam);
    if (s == INVALID_SOCKET)
        return;
    if (s == listeners[0] || s == listeners[1]) {
        if (event != FD_ACCEPT)
            return;
        SOCKET c = accept(s, NULL, NULL);
        if (c == INVALID_SOCKET)
            return;
        if (state != NET_LISTENING) {
            // The accepted socket inherits the listener's selection; undo it
            // before sending so nothing of it reaches the window.
            WSAAsyncSelect(c, hwnd, 0, 0);
            u_long blocking = 0;
            ioctlsocket(c, FIONBIO, &blocking);
            Refuse(c);
            return;
        }
        if (WSAAsyncSelect(c, hwnd, socketMsg, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            closesocket(c);
            return;
        }
        conn = c;
        BeginHandshake();
        return;
    }
    if (s != conn) // a socket closed since the message was posted
        return;
    switch (event) {
    case FD_CONNECT:
        if (state != NET_CONNECTING)
            return;
        if (err) {
            if (!TryNextAddress())
                End(NET_END_CONNECTFAIL);
            return;
        }
        BeginHandshake();
        return;
    case FD_READ:
        if (!err) {
            ReadSome();
            return;
        }
        PeerGone();
        return;
    case FD_WRITE:
        Flush();
        return;
    case FD_CLOSE:
        // What came before the close still counts (a "busy", a STOP): the
        // reading goes on in slices and ends the session at the end of the data.
        if (state == NET_CONNECTING) {
            if (!TryNextAddress())
                End(NET_END_CONNECTFAIL);
            return;
        }
        if (err)
            PeerGone();
        else
            ReadSome();
        return;
    }
}

void NetSession::PeerGone()
{
    End(state == NET_CONNECTING ? NET_END_CONNECTFAIL : NET_END_LOST);
}

// What a checked frame does to the session: 0 when the session ended.
int NetSession::Handle(const NETMSG& m, int r)
{
    if (r != NET_FRAME) {
        End(r == NET_INCOMPATIBLE ? NET_END_INCOMPATIBLE : NET_END_BADDATA);
        return 0;
    }
    if (m.type == NETMSG_HELLO) {
        state = NET_CONNECTED;
        if (events)
            events->OnNetConnected();
    } else if (m.type == NETMSG_BUSY) {
        End(NET_END_BUSY);
        return 0;
    } else if (m.type != NETMSG_HEARTBEAT && events) {
        events->OnNetMessage(m);
    }
    return 1;
}

void NetSession::ReadSome()
{
    // A message box shown from an event runs a modal loop that can deliver
    // another FD_READ; the outer call reads on.
    if (reading)
        return;
    reading = 1;
    SOCKET s = conn;
    DWORD start = StkTickCount();
    int handled = 0;
    for (;;) {
        NETMSG m;
        int r;
        while (conn == s && handled < NET_FRAMES_PER_EVENT &&
               StkTickCount() - start < NET_SLICE_MS && (r = reader.Next(&m)) != NET_NEED) {
            handled++;
            if (!Handle(m, r)) {
                reading = 0;
                return;
            }
        }
        if (conn != s)
            break; // the session ended while a message was handled
        if (handled >= NET_FRAMES_PER_EVENT || StkTickCount() - start >= NET_SLICE_MS) {
            // The slice is used up: the window's other messages first, then
            // this socket again. The timer comes back soon; a posted message
            // would not do, as posted messages go before input, painting and
            // timers, and a chain of them would hold all three back.
            if (!continueDue)
                SetTimer(hwnd, timerId, NET_CONTINUE_MS, NULL);
            continueDue = 1;
            break;
        }
        // A whole frame always fits, so a full buffer cannot happen here.
        int room = reader.Space();
        if (room <= 0)
            break;
        BYTE chunk[NET_RECV_BUFFER];
        int got = recv(s, (char*)chunk, room, 0);
        if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
            // Every frame before the close has been handled.
            reading = 0;
            PeerGone();
            return;
        }
        if (got < 0)
            break; // empty for now: FD_READ comes with more
        reader.Append(chunk, got);
        lastRecv = StkTickCount();
        // Counted as they arrive, not as they are handled.
        if (!WithinFrameRate(reader.Arrived())) {
            reading = 0;
            End(NET_END_BADDATA);
            return;
        }
    }
    reading = 0;
}

int NetSession::WithinFrameRate(int frames)
{
    DWORD now = StkTickCount();
    if (now - floodStart >= 1000) {
        floodStart = now;
        floodFrames = 0;
    }
    floodFrames += frames;
    return floodFrames <= NET_MAX_FRAMES_PER_SEC;
}

int NetSession::Queue(const BYTE* data, int n)
{
    if (!outbuf || outUsed + n > NET_SEND_BUFFER)
        return 0;
    memcpy(outbuf + outUsed, data, n);
    outUsed += n;
    return 1;
}

void NetSession::Flush()
{
    int off = 0;
    while (off < outUsed) {
        int sent = send(conn, (const char*)outbuf + off, outUsed - off, 0);
        if (sent <= 0)
            break; // WSAEWOULDBLOCK: FD_WRITE comes when there is room again
        off += sent;
    }
    memmove(outbuf, outbuf + off, outUsed - off);
    outUsed -= off;
}

int NetSession::Send(const NETMSG& m)
{
    if (conn == INVALID_SOCKET || (state != NET_HANDSHAKE && state != NET_CONNECTED))
        return 0;
    BYTE frame[NET_MAX_FRAME];
    int n = NetEncode(m, frame, sizeof frame);
    if (n == 0)
        return 0;
    if (m.type == NETMSG_START)
        reader.StartSent(); // the guest's answers to it are in order now
    // Behind a backlog the frame only joins the queue, so order is kept.
    if (!Queue(frame, n)) {
        End(NET_END_LOST); // the peer stopped reading
        return 0;
    }
    Flush();
    lastSend = StkTickCount();
    return 1;
}

int NetSession::SendType(int type)
{
    NETMSG m;
    memset(&m, 0, sizeof m);
    m.type = type;
    return Send(m);
}

void NetSession::OnTimer()
{
    if (continueDue) {
        // Reading goes on where the slice stopped; then the usual pace.
        continueDue = 0;
        SetTimer(hwnd, timerId, NET_TIMER_MS, NULL);
        if (conn != INVALID_SOCKET)
            ReadSome();
    }
    if (state == NET_IDLE || state == NET_LISTENING)
        return;
    DWORD now = StkTickCount();
    if (state == NET_LOOKUP)
        return; // the resolver has its own limits; Single Player ends the wait
    if (state == NET_CONNECTING) {
        // Each address its own chance: a first that never answers does not
        // use up the time of a working second.
        if (now - attemptStart >= NET_CONNECT_MS && !TryNextAddress())
            End(NET_END_CONNECTFAIL);
        return;
    }
    if (now - lastRecv >= NET_SILENCE_MS) {
        End(NET_END_LOST);
        return;
    }
    if (now - lastSend >= NET_HEARTBEAT_MS)
        SendType(NETMSG_HEARTBEAT);
}

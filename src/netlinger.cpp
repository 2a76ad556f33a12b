// netlinger.cpp - the end of a connection, on a thread of its own: what was
// still queued, the FIN, then the peer's own close awaited.
#include "netplay.h"

#include <string.h>

#include <new>

namespace
{

// Threads of NetSendRestAndClose still sending; the program waits for them
// before WSACleanup, which would reset their sockets and lose what they send.
volatile LONG lingering;

// What is still queued when a session closes, sent on by a thread of its own.
struct SENDREST {
    SOCKET s;
    int n;
    BYTE data[NET_SEND_BUFFER];
};

DWORD WINAPI FinishSending(LPVOID arg)
{
    SENDREST* job = (SENDREST*)arg;
    DWORD start = GetTickCount();
    int off = 0;
    while (off < job->n && GetTickCount() - start < NET_LINGER_MS) {
        int sent = send(job->s, (const char*)job->data + off, job->n - off, 0);
        if (sent > 0) {
            off += sent;
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            break;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(job->s, &writable);
        timeval tv = {0, NET_CLOSE_WAIT_MS * 1000};
        select(0, NULL, &writable, NULL, &tv);
    }
    shutdown(job->s, SD_SEND);
    DWORD spent = GetTickCount() - start;
    NetDropReceived(job->s, spent < NET_LINGER_MS ? NET_LINGER_MS - spent : 0);
    closesocket(job->s);
    delete job;
    InterlockedDecrement(&lingering);
    return 0;
}

} // namespace

int NetSendRestAndClose(SOCKET s, const BYTE* data, int n)
{
    if (n < 0 || n > NET_SEND_BUFFER)
        return 0;
    SENDREST* job = new (std::nothrow) SENDREST;
    if (!job)
        return 0;
    job->s = s;
    job->n = n;
    memcpy(job->data, data, n);
    InterlockedIncrement(&lingering);
    HANDLE thread = CreateThread(NULL, 0, FinishSending, job, 0, NULL);
    if (!thread) {
        InterlockedDecrement(&lingering);
        delete job;
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

void NetDropReceived(SOCKET s, DWORD ms)
{
    DWORD start = GetTickCount();
    char sink[NET_MAX_FRAME];
    for (;;) {
        int got = recv(s, sink, sizeof sink, 0);
        DWORD spent = GetTickCount() - start;
        if (spent >= ms + NET_CLOSE_WAIT_MS)
            return; // a peer that never stops sending
        if (got > 0)
            continue;
        if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK || spent >= ms)
            return;
        DWORD wait = ms - spent;
        if (wait > (DWORD)NET_CLOSE_WAIT_MS)
            wait = NET_CLOSE_WAIT_MS;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv = {0, (long)wait * 1000};
        select(0, &readable, NULL, NULL, &tv);
    }
}

int NetLingerWait(DWORD ms)
{
    DWORD start = GetTickCount();
    while (InterlockedCompareExchange(&lingering, 0, 0) > 0) {
        if (GetTickCount() - start >= ms)
            return 0;
        Sleep(NET_LINGER_POLL_MS);
    }
    return 1;
}

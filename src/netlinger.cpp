// netlinger.cpp - the end of a connection whose peer reads slowly: what was
// still queued is sent from a thread of its own, then the FIN.
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

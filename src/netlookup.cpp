// netlookup.cpp - the lookup worker and the system resolver.
#include "netlookup.h"

#include <stdio.h>
#include <string.h>

namespace
{

// One lookup from asking to taking. A slot is free when ticket is 0.
struct LOOKUP {
    UINT_PTR ticket;
    HWND hwnd;
    UINT msg;
    int hasName;
    char name[NET_NAME_TEXT];
    unsigned short port;
    int state; // LOOKUP_WAITING, LOOKUP_RUNNING, LOOKUP_DONE
    int err;
    NETADDRS addrs;
};

enum { LOOKUP_WAITING, LOOKUP_RUNNING, LOOKUP_DONE };

CRITICAL_SECTION lock;
HANDLE wake;       // set when a lookup is asked
HANDLE worker;     // lives until the process ends; idle on `wake`
LONG started;      // lock and worker are made (window threads only ask)
NetResolver resolver = NetSystemResolver;
UINT_PTR lastTicket;
LOOKUP slots[NET_MAX_LOOKUPS];
NETADDRS scratch;  // the worker's result before it is stored

// The oldest waiting lookup (tickets grow), marked running; null if none.
LOOKUP* NextWaiting()
{
    LOOKUP* next = NULL;
    for (LOOKUP& l : slots)
        if (l.ticket && l.state == LOOKUP_WAITING && (!next || l.ticket < next->ticket))
            next = &l;
    if (next)
        next->state = LOOKUP_RUNNING;
    return next;
}

LOOKUP* Find(UINT_PTR ticket)
{
    for (LOOKUP& l : slots)
        if (ticket && l.ticket == ticket)
            return &l;
    return NULL;
}

DWORD WINAPI Worker(LPVOID)
{
    for (;;) {
        WaitForSingleObject(wake, INFINITE);
        for (;;) {
            EnterCriticalSection(&lock);
            LOOKUP* l = NextWaiting();
            if (!l) {
                LeaveCriticalSection(&lock);
                break;
            }
            // Copied out: the slot may be cancelled and reused meanwhile.
            UINT_PTR ticket = l->ticket;
            char name[NET_NAME_TEXT];
            memcpy(name, l->name, sizeof name);
            int hasName = l->hasName;
            unsigned short port = l->port;
            NetResolver resolve = resolver;
            LeaveCriticalSection(&lock);

            memset(&scratch, 0, sizeof scratch);
            int err = resolve(hasName ? name : NULL, port, &scratch);

            EnterCriticalSection(&lock);
            l = Find(ticket);
            HWND hwnd = NULL;
            UINT msg = 0;
            if (l) {
                l->err = err;
                l->addrs = scratch;
                l->state = LOOKUP_DONE;
                hwnd = l->hwnd;
                msg = l->msg;
            }
            LeaveCriticalSection(&lock);
            // Fails harmlessly when the window is gone; the slot then waits
            // for a cancel, or the end of the process.
            if (hwnd)
                PostMessageA(hwnd, msg, (WPARAM)ticket, 0);
        }
    }
}

} // namespace

int NetSystemResolver(const char* name, unsigned short port, NETADDRS* out)
{
    char own[NET_NAME_TEXT];
    if (!name) {
        if (gethostname(own, sizeof own) != 0)
            return WSAGetLastError();
        name = own;
    }
    char service[8];
    snprintf(service, sizeof service, "%u", (unsigned)port);
    ADDRINFOA hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOA* list = NULL;
    int err = getaddrinfo(name, service, &hints, &list);
    if (err != 0)
        return err;
    out->count = 0;
    for (ADDRINFOA* a = list; a && out->count < NET_MAX_ADDRS; a = a->ai_next) {
        if (a->ai_addrlen > sizeof out->addr[0])
            continue;
        memcpy(&out->addr[out->count], a->ai_addr, a->ai_addrlen);
        out->len[out->count] = (int)a->ai_addrlen;
        out->count++;
    }
    freeaddrinfo(list);
    return 0;
}

void NetSetResolver(NetResolver r)
{
    if (started)
        EnterCriticalSection(&lock);
    resolver = r ? r : NetSystemResolver;
    if (started)
        LeaveCriticalSection(&lock);
}

UINT_PTR NetLookupStart(HWND hwnd, UINT msg, const char* name, unsigned short port)
{
    if (!started) {
        InitializeCriticalSection(&lock);
        wake = CreateEventA(NULL, FALSE, FALSE, NULL);
        worker = wake ? CreateThread(NULL, 0, Worker, NULL, 0, NULL) : NULL;
        if (!worker) {
            if (wake)
                CloseHandle(wake);
            wake = NULL;
            DeleteCriticalSection(&lock);
            return 0;
        }
        started = 1;
    }
    if (name && strlen(name) >= NET_NAME_TEXT)
        return 0;
    EnterCriticalSection(&lock);
    LOOKUP* l = NULL;
    for (LOOKUP& s : slots)
        if (!s.ticket && !l)
            l = &s;
    UINT_PTR ticket = 0;
    if (l) {
        memset(l, 0, sizeof *l);
        ticket = ++lastTicket;
        l->ticket = ticket;
        l->hwnd = hwnd;
        l->msg = msg;
        l->hasName = name != NULL;
        if (name)
            lstrcpynA(l->name, name, sizeof l->name);
        l->port = port;
        l->state = LOOKUP_WAITING;
    }
    LeaveCriticalSection(&lock);
    if (ticket)
        SetEvent(wake);
    return ticket;
}

int NetLookupTake(UINT_PTR ticket, NETADDRS* out, int* err)
{
    if (!started || !ticket)
        return 0;
    EnterCriticalSection(&lock);
    LOOKUP* l = Find(ticket);
    int ok = l && l->state == LOOKUP_DONE;
    if (ok) {
        *out = l->addrs;
        *err = l->err;
        l->ticket = 0;
    }
    LeaveCriticalSection(&lock);
    return ok;
}

void NetLookupCancel(UINT_PTR ticket)
{
    if (!started || !ticket)
        return;
    EnterCriticalSection(&lock);
    LOOKUP* l = Find(ticket);
    if (l)
        l->ticket = 0; // a running lookup finds its slot gone and drops its result
    LeaveCriticalSection(&lock);
}

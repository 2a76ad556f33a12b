// netlookup.h - name lookups off the window thread.
//
// getaddrinfo can wait for a slow name server for many seconds; it runs
// on one worker thread instead, which posts the end of each lookup to the
// window that asked. Lookups run one at a time, in the order asked. All
// the worker's state is static storage: a lookup that is cancelled, or
// whose window is gone (the program is closing), ends on the worker
// without touching anything of its asker, and a posted end whose ticket
// is no longer wanted is ignored.
#ifndef NETLOOKUP_H
#define NETLOOKUP_H

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

enum {
    NET_MAX_ADDRS = 8,    // addresses kept of one name
    NET_MAX_LOOKUPS = 4,  // lookups asked and not yet taken, all askers together
    NET_NAME_TEXT = 256   // a host name with its NUL
};

struct NETADDRS {
    int count;
    SOCKADDR_STORAGE addr[NET_MAX_ADDRS];
    int len[NET_MAX_ADDRS];
};

// Fills out with the stream addresses of `name` (null: this machine's own
// name) at `port`, in the order to try; 0 or an error code. Runs on the
// worker thread.
typedef int (*NetResolver)(const char* name, unsigned short port, NETADDRS* out);
int NetSystemResolver(const char* name, unsigned short port, NETADDRS* out);
// Replaces the resolver for the lookups that start from now on; null puts
// the system's back. A seam for tests.
void NetSetResolver(NetResolver resolver);

// Asks for a lookup of `name` (null: this machine); its end is posted to
// hwnd as `msg` with wParam = the returned ticket. 0 when it cannot be
// asked (no worker thread, or NET_MAX_LOOKUPS waiting).
UINT_PTR NetLookupStart(HWND hwnd, UINT msg, const char* name, unsigned short port);
// The result of a posted ticket, once: 1 with *out and *err (0 or the
// resolver's error) filled; 0 for a ticket that was cancelled or taken.
int NetLookupTake(UINT_PTR ticket, NETADDRS* out, int* err);
// Forgets a lookup, waiting, running or ended; 0 does nothing.
void NetLookupCancel(UINT_PTR ticket);

#endif // NETLOOKUP_H

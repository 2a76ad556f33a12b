// netdlg.h - the "StartServer" and "Connect" dialogs and what they accept.
#ifndef NETDLG_H
#define NETDLG_H

#include <windows.h>

// Shows dialog `dialog`, whose edit control `control` starts with text;
// on OK the edited text is in text (cap bytes). 1 for OK.
int NetAskText(HWND owner, const char* dialog, int control, char* text, int cap);
// A port 1..65535 written in decimal digits only. 1 when valid.
int NetParsePort(const char* s, unsigned short* port);
// "host", "host:port", "[v6]:port" or a bare IPv6 address; default port
// NET_DEFAULT_PORT. 1 when valid; host is NUL-terminated within hostCap.
int NetParseAddress(const char* text, char* host, int hostCap, unsigned short* port);

#endif // NETDLG_H

// netdlg.cpp - the "StartServer" and "Connect" dialogs: one text each,
// committed on OK, and the parsing of what was typed.
#include "netdlg.h"

#include <string.h>

#include "STAKKA.h"
#include "netplay.h"

namespace
{

struct EDITTEXT_ARGS {
    int control;
    char* text;
    int cap;
};

INT_PTR CALLBACK NetTextDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    EDITTEXT_ARGS* a = (EDITTEXT_ARGS*)GetWindowLongPtrA(hDlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        a = (EDITTEXT_ARGS*)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)a);
        SetDlgItemTextA(hDlg, a->control, a->text);
        SendDlgItemMessageA(hDlg, a->control, EM_LIMITTEXT, (WPARAM)(a->cap - 1), 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && a)
            GetDlgItemTextA(hDlg, a->control, a->text, a->cap);
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

int NetAskText(HWND owner, const char* dialog, int control, char* text, int cap)
{
    EDITTEXT_ARGS a = {control, text, cap};
    return DialogBoxParamA(hinst, dialog, owner, NetTextDlgProc, (LPARAM)&a) == IDOK;
}

int NetParsePort(const char* s, unsigned short* port)
{
    unsigned long v = 0;
    if (!*s)
        return 0;
    for (; *s; s++) {
        if (*s < '0' || *s > '9' || v > 65535)
            return 0;
        v = v * 10 + (unsigned long)(*s - '0');
    }
    if (v < 1 || v > 65535)
        return 0;
    *port = (unsigned short)v;
    return 1;
}

int NetParseAddress(const char* text, char* host, int hostCap, unsigned short* port)
{
    if (!text || !host || hostCap < 2 || !port)
        return 0;
    while (*text == ' ')
        text++;
    const char* end = text + strlen(text);
    while (end > text && end[-1] == ' ')
        end--;
    const char* hostStart = text;
    const char* hostEnd;
    const char* portText = NULL;
    if (*text == '[') {
        hostStart = text + 1;
        hostEnd = (const char*)memchr(hostStart, ']', end - hostStart);
        if (!hostEnd)
            return 0;
        if (hostEnd + 1 < end) {
            if (hostEnd[1] != ':')
                return 0;
            portText = hostEnd + 2;
        }
    } else {
        const char* colon = (const char*)memchr(text, ':', end - text);
        // Two colons or more without brackets: a bare IPv6 address.
        if (colon && !memchr(colon + 1, ':', end - colon - 1)) {
            hostEnd = colon;
            portText = colon + 1;
        } else {
            hostEnd = end;
        }
    }
    int n = (int)(hostEnd - hostStart);
    if (n <= 0 || n >= hostCap)
        return 0;
    for (int i = 0; i < n; i++)
        if ((unsigned char)hostStart[i] <= ' ')
            return 0;
    *port = NET_DEFAULT_PORT;
    if (portText) {
        char p[8];
        int pn = (int)(end - portText);
        if (pn <= 0 || pn >= (int)sizeof p)
            return 0;
        memcpy(p, portText, pn);
        p[pn] = '\0';
        if (!NetParsePort(p, port))
            return 0;
    }
    memcpy(host, hostStart, n);
    host[n] = '\0';
    return 1;
}


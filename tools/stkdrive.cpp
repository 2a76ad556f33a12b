// stkdrive - plays the program from outside for the screenshot command: reads one
// command per line on standard input, answers one line each ("ok ..." or "err ...").
//
//   start <exe> <working folder>   start the program, wait for its window and playfield;
//                                  answers "ok <left> <top> <width> <height>" of the window
//   cmd <id>                        a menu command to the main window (WM_COMMAND)
//   window <title>                  wait for a visible window of the program with that
//                                  title; answers its rectangle like start
//   dlgcmd <title> <id> <code>      WM_COMMAND(id, code) from control id to that window
//   winkey <title> <vk>             a key press sent to that window
//   click <title> <id>              a click on control id of that window (BM_CLICK)
//   close <title>                   Cancel that dialog and wait until it is gone
//   play <pieces> <seed>            play that many pieces: shift, turn, drop fast
//   quit                            close the main window; answers "ok <exit code>"
//
// Window titles are passed as the rest of the line, so they may hold spaces.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "findwin.h"

namespace {

const DWORD WAIT_MS = 15000;
const DWORD POLL_MS = 50;
// How long the drop key is held for one piece: the well is 22 rows of 25 ms each when
// dropping fast, plus the pause before the next piece, with room to spare.
const DWORD DROP_HOLD_MS = 900;
const DWORD KEY_GAP_MS = 60;

PROCESS_INFORMATION proc;
HWND hwndMain;
HWND hwndGrid;

HWND FindProgramWindow(const char *title)
{
    return FindProcessWindow(proc.dwProcessId, NULL, title);
}

HWND WaitProgramWindow(const char *title)
{
    for (DWORD waited = 0; waited < WAIT_MS; waited += POLL_MS) {
        HWND h = FindProgramWindow(title);
        if (h)
            return h;
        if (WaitForSingleObject(proc.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return NULL;
    }
    return NULL;
}

void ReplyRect(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    printf("ok %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void Key(UINT vk, DWORD holdMs)
{
    PostMessageA(hwndGrid, WM_KEYDOWN, vk, 1);
    Sleep(holdMs);
    PostMessageA(hwndGrid, WM_KEYUP, vk, 0xC0000001);
    Sleep(KEY_GAP_MS);
}

int Start(char *args)
{
    char *exe = strtok(args, " ");
    char *cwd = strtok(NULL, "");
    if (!exe || !cwd)
        return 0;
    char cmdline[MAX_PATH + 3];
    snprintf(cmdline, sizeof cmdline, "\"%s\"", exe);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    if (!CreateProcessA(exe, cmdline, NULL, NULL, FALSE, 0, NULL, cwd, &si, &proc))
        return 0;
    for (DWORD waited = 0; waited < WAIT_MS; waited += POLL_MS) {
        hwndMain = FindProgramWindow("Stakka");
        hwndGrid = hwndMain ? FindWindowExA(hwndMain, NULL, "StakkaGrid", NULL) : NULL;
        if (hwndGrid)
            return 1;
        if (WaitForSingleObject(proc.hProcess, POLL_MS) == WAIT_OBJECT_0)
            return 0;
    }
    return 0;
}

void Play(int pieces, unsigned seed)
{
    srand(seed);
    for (int i = 0; i < pieces; i++) {
        int turns = rand() % 4;
        for (int t = 0; t < turns; t++)
            Key(VK_UP, KEY_GAP_MS);
        int shift = rand() % 11 - 5;
        for (int s = 0; s < abs(shift); s++)
            Key(shift < 0 ? VK_LEFT : VK_RIGHT, KEY_GAP_MS);
        Key(VK_DOWN, DROP_HOLD_MS);
    }
}

} // namespace

int main()
{
    char line[512];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = '\0';
        char *verb = strtok(line, " ");
        char *rest = strtok(NULL, "");
        if (!verb)
            continue;
        if (strcmp(verb, "start") == 0) {
            if (rest && Start(rest))
                ReplyRect(hwndMain);
            else
                printf("err the program did not show its playfield\n");
        } else if (!hwndMain) {
            printf("err no program started\n");
        } else if (strcmp(verb, "cmd") == 0 && rest) {
            PostMessageA(hwndMain, WM_COMMAND, (WPARAM)atoi(rest), 0);
            printf("ok\n");
        } else if (strcmp(verb, "window") == 0 && rest) {
            HWND h = WaitProgramWindow(rest);
            if (h)
                ReplyRect(h);
            else
                printf("err no window \"%s\"\n", rest);
        } else if (strcmp(verb, "dlgcmd") == 0 && rest) {
            // <title> <id> <code>: the title is everything before the last two numbers
            char *code = strrchr(rest, ' ');
            if (!code) { printf("err bad dlgcmd\n"); fflush(stdout); continue; }
            *code++ = '\0';
            char *id = strrchr(rest, ' ');
            if (!id) { printf("err bad dlgcmd\n"); fflush(stdout); continue; }
            *id++ = '\0';
            HWND h = WaitProgramWindow(rest);
            if (h) {
                int ctl = atoi(id);
                PostMessageA(h, WM_COMMAND, MAKEWPARAM(ctl, atoi(code)), (LPARAM)GetDlgItem(h, ctl));
                printf("ok\n");
            } else {
                printf("err no window \"%s\"\n", rest);
            }
        } else if (strcmp(verb, "click") == 0 && rest) {
            char *id = strrchr(rest, ' ');
            if (!id) { printf("err bad click\n"); fflush(stdout); continue; }
            *id++ = '\0';
            HWND h = WaitProgramWindow(rest);
            HWND ctl = h ? GetDlgItem(h, atoi(id)) : NULL;
            if (ctl) {
                PostMessageA(ctl, BM_CLICK, 0, 0);
                printf("ok\n");
            } else {
                printf("err no control %s in \"%s\"\n", id, rest);
            }
        } else if (strcmp(verb, "winkey") == 0 && rest) {
            char *vk = strrchr(rest, ' ');
            if (!vk) { printf("err bad winkey\n"); fflush(stdout); continue; }
            *vk++ = '\0';
            HWND h = WaitProgramWindow(rest);
            if (h) {
                PostMessageA(h, WM_KEYDOWN, (WPARAM)atoi(vk), 1);
                printf("ok\n");
            } else {
                printf("err no window \"%s\"\n", rest);
            }
        } else if (strcmp(verb, "close") == 0 && rest) {
            HWND h = WaitProgramWindow(rest);
            if (h) {
                PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
                DWORD waited = 0;
                while (IsWindow(h) && waited < WAIT_MS) {
                    Sleep(POLL_MS);
                    waited += POLL_MS;
                }
                if (IsWindow(h))
                    printf("err \"%s\" stays open\n", rest);
                else
                    printf("ok\n");
            } else {
                printf("err no window \"%s\"\n", rest);
            }
        } else if (strcmp(verb, "play") == 0 && rest) {
            int pieces = atoi(rest);
            const char *s = strchr(rest, ' ');
            Play(pieces, s ? (unsigned)strtoul(s + 1, NULL, 10) : 1u);
            printf("ok\n");
        } else if (strcmp(verb, "quit") == 0) {
            PostMessageA(hwndMain, WM_CLOSE, 0, 0);
            DWORD code = STILL_ACTIVE;
            if (WaitForSingleObject(proc.hProcess, WAIT_MS) == WAIT_OBJECT_0)
                GetExitCodeProcess(proc.hProcess, &code);
            printf("ok %lu\n", (unsigned long)code);
            fflush(stdout);
            break;
        } else {
            printf("err unknown command %s\n", verb);
        }
        fflush(stdout);
    }
    return 0;
}

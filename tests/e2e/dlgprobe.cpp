// dlgprobe - tells an end-to-end script where the program's windows and dialog
// controls are, in the desktop's coordinates, so it can click them.
//
//   dlgprobe client <title>        x y of the client origin of the top-level window
//   dlgprobe rect <title> <id>     left top right bottom of control id of that window
// Exit code 1 when the window or control is not there.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc >= 3) {
        HWND hwnd = FindWindowA(NULL, argv[2]);
        if (!hwnd || !IsWindowVisible(hwnd))
            return 1;
        if (strcmp(argv[1], "client") == 0 && argc == 3) {
            POINT p = {0, 0};
            ClientToScreen(hwnd, &p);
            printf("%ld %ld\n", (long)p.x, (long)p.y);
            return 0;
        }
        if (strcmp(argv[1], "rect") == 0 && argc == 4) {
            HWND ctl = GetDlgItem(hwnd, atoi(argv[3]));
            RECT rc;
            if (!ctl || !GetWindowRect(ctl, &rc))
                return 1;
            printf("%ld %ld %ld %ld\n", (long)rc.left, (long)rc.top, (long)rc.right,
                   (long)rc.bottom);
            return 0;
        }
    }
    fprintf(stderr, "usage: dlgprobe client <title> | rect <title> <id>\n");
    return 2;
}

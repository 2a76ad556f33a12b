// e2eprobe - reads from outside what a screenshot cannot: the texts of a
// message box of the program under test.
//
//   e2eprobe boxtext <title>   prints each static text of the visible dialog
//                              window with that title, one a line; exit 1 if none
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

struct FINDBOX {
    const char* title;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam)
{
    FINDBOX* f = (FINDBOX*)lParam;
    char title[128] = "", cls[64] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    GetClassNameA(hwnd, cls, sizeof cls);
    if (IsWindowVisible(hwnd) && strcmp(cls, "#32770") == 0 && strcmp(title, f->title) == 0) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintStatic(HWND hwnd, LPARAM)
{
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0) {
        // Wide text: across processes Wine hands ANSI texts of some controls back cut short.
        wchar_t text[512] = L"";
        GetWindowTextW(hwnd, text, 512);
        char out[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, NULL, NULL);
        if (out[0])
            printf("%s\n", out);
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "boxtext") == 0) {
        FINDBOX f = {argv[2], NULL};
        EnumWindows(FindBox, (LPARAM)&f);
        if (!f.found)
            return 1;
        EnumChildWindows(f.found, PrintStatic, 0);
        return 0;
    }
    fprintf(stderr, "usage: e2eprobe boxtext <title>\n");
    return 2;
}

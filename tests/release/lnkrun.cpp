// lnkrun - starts a program the way the Start menu does: through a shortcut's target
// and working folder. Then it watches the program as a player would see it and ends it
// the way a player does, by closing its window.
//
//   lnkrun <shortcut.lnk> [play-ms]
//
// Prints target=, workdir=, then what it found: window=, playfield=, an error box if the
// program showed one, and exit= with the program's exit code. With play-ms it starts a
// game (File > New Game) and lets it run that long before closing the window. Returns 0
// only if the main window and the playfield appeared, no message box was shown and the
// program exited by itself with code 0 after its window was closed.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

static const UINT IDM_NEWGAME = 24331; // File > New Game (res/resource.h)
static const DWORD WINDOW_WAIT_MS = 30000;
static const DWORD EXIT_WAIT_MS = 20000;
static const DWORD POLL_MS = 100;

struct FINDDATA {
    DWORD pid;
    HWND main;     // the program's main window, class "Stakka"
    HWND box;      // a dialog box of the program (an error box)
};

static BOOL CALLBACK FindProgramWindows(HWND hwnd, LPARAM lParam)
{
    FINDDATA *fd = (FINDDATA *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != fd->pid || !IsWindowVisible(hwnd))
        return TRUE;
    WCHAR cls[64];
    if (!GetClassNameW(hwnd, cls, 64))
        return TRUE;
    if (lstrcmpW(cls, L"Stakka") == 0)
        fd->main = hwnd;
    else if (lstrcmpW(cls, L"#32770") == 0)
        fd->box = hwnd;
    return TRUE;
}

static BOOL CALLBACK PrintBoxText(HWND hwnd, LPARAM)
{
    WCHAR text[256];
    if (GetWindowTextW(hwnd, text, 256) > 0)
        wprintf(L"box-text=%ls\n", text);
    return TRUE;
}

static void ReportBox(HWND box)
{
    WCHAR title[128];
    GetWindowTextW(box, title, 128);
    wprintf(L"error-box=%ls\n", title);
    EnumChildWindows(box, PrintBoxText, 0);
    fflush(stdout);
}

int wmain(int argc, WCHAR **argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: lnkrun <shortcut.lnk> [play-ms]\n");
        return 2;
    }
    DWORD playMs = argc > 2 ? (DWORD)wcstoul(argv[2], NULL, 10) : 0;

    if (FAILED(CoInitialize(NULL)))
        return 3;
    IShellLinkW *link = NULL;
    IPersistFile *file = NULL;
    WCHAR target[MAX_PATH] = L"", workdir[MAX_PATH] = L"", args[MAX_PATH] = L"";
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  (void **)&link);
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (SUCCEEDED(hr))
        hr = file->Load(argv[1], STGM_READ);
    if (SUCCEEDED(hr))
        hr = link->GetPath(target, MAX_PATH, NULL, 0);
    if (SUCCEEDED(hr))
        hr = link->GetWorkingDirectory(workdir, MAX_PATH);
    if (SUCCEEDED(hr))
        hr = link->GetArguments(args, MAX_PATH);
    if (file)
        file->Release();
    if (link)
        link->Release();
    if (FAILED(hr)) {
        fwprintf(stderr, L"lnkrun: cannot read %ls (0x%08lx)\n", argv[1], (unsigned long)hr);
        return 3;
    }
    wprintf(L"target=%ls\nworkdir=%ls\nargs=%ls\n", target, workdir, args);
    fflush(stdout);

    WCHAR cmdline[2 * MAX_PATH + 4];
    _snwprintf(cmdline, sizeof cmdline / sizeof cmdline[0], L"\"%ls\" %ls", target, args);
    cmdline[sizeof cmdline / sizeof cmdline[0] - 1] = L'\0';
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(target, cmdline, NULL, NULL, FALSE, 0, NULL,
                        workdir[0] ? workdir : NULL, &si, &pi)) {
        fwprintf(stderr, L"lnkrun: cannot start %ls (error %lu)\n", target, GetLastError());
        return 4;
    }
    CloseHandle(pi.hThread);

    int ok = 1;
    FINDDATA fd = {pi.dwProcessId, NULL, NULL};
    for (DWORD waited = 0; waited < WINDOW_WAIT_MS && !fd.box; waited += POLL_MS) {
        if (WaitForSingleObject(pi.hProcess, POLL_MS) == WAIT_OBJECT_0)
            break;
        EnumWindows(FindProgramWindows, (LPARAM)&fd);
        // The playfield is made after the libraries are loaded: once it is there, an
        // error box could only come from later, and the start is complete.
        if (fd.main && FindWindowExW(fd.main, NULL, L"StakkaGrid", NULL))
            break;
    }
    if (fd.box) {
        ReportBox(fd.box);
        ok = 0;
    }
    HWND grid = fd.main ? FindWindowExW(fd.main, NULL, L"StakkaGrid", NULL) : NULL;
    wprintf(L"window=%ls\nplayfield=%ls\n", fd.main ? L"yes" : L"no", grid ? L"yes" : L"no");
    fflush(stdout);
    if (!fd.main || !grid)
        ok = 0;

    if (ok && playMs) {
        PostMessageW(fd.main, WM_COMMAND, IDM_NEWGAME, 0);
        for (DWORD waited = 0; waited < playMs && !fd.box; waited += POLL_MS) {
            if (WaitForSingleObject(pi.hProcess, POLL_MS) == WAIT_OBJECT_0)
                break;
            EnumWindows(FindProgramWindows, (LPARAM)&fd);
        }
        if (fd.box) {
            ReportBox(fd.box);
            ok = 0;
        }
        wprintf(L"played=%lu\n", (unsigned long)playMs);
    }

    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
        wprintf(L"lnkrun: the program ended before its window was closed\n");
        ok = 0;
    } else if (fd.main) {
        PostMessageW(fd.main, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(pi.hProcess, EXIT_WAIT_MS) != WAIT_OBJECT_0) {
        // A box shown at shut-down keeps the program alive: say what it says.
        fd.box = NULL;
        EnumWindows(FindProgramWindows, (LPARAM)&fd);
        if (fd.box)
            ReportBox(fd.box);
        wprintf(L"lnkrun: the program did not exit; ending it\n");
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, EXIT_WAIT_MS);
        ok = 0;
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    wprintf(L"exit=%lu\n", (unsigned long)code);
    fflush(stdout);
    CoUninitialize();
    return ok && code == 0 ? 0 : 1;
}

// lnkrun - starts the program a shortcut names, from the shortcut's working folder, as the
// Start menu would; presses New Game, waits, and closes it. Prints what it saw.
//   lnkrun <shortcut.lnk> <play-ms>
// Exit code 0 when the well showed, no error box came up and the program exited with 0.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

static const UINT IDM_NEWGAME = 24331;   // File > New Game (res/resource.h)

// The program's main window once its well exists, and whether a dialog box (an error) shows.
static HWND FindMain(DWORD pid, int* box)
{
    HWND main = NULL;
    for (HWND w = GetTopWindow(NULL); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        WCHAR cls[64] = L"";
        GetWindowThreadProcessId(w, &owner);
        if (owner != pid || !IsWindowVisible(w) || !GetClassNameW(w, cls, 64))
            continue;
        if (lstrcmpW(cls, L"#32770") == 0)
            *box = 1;
        if (lstrcmpW(cls, L"Stakka") == 0 && FindWindowExW(w, NULL, L"StakkaGrid", NULL))
            main = w;
    }
    return main;
}

int wmain(int argc, WCHAR** argv)
{
    if (argc < 3 || FAILED(CoInitialize(NULL)))
        return 2;
    IShellLinkW* link = NULL;
    IPersistFile* file = NULL;
    WCHAR target[MAX_PATH] = L"", workdir[MAX_PATH] = L"";
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  (void**)&link);
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (SUCCEEDED(hr))
        hr = file->Load(argv[1], STGM_READ);
    if (SUCCEEDED(hr))
        hr = link->GetPath(target, MAX_PATH, NULL, 0);
    if (SUCCEEDED(hr))
        hr = link->GetWorkingDirectory(workdir, MAX_PATH);
    if (file)
        file->Release();
    if (link)
        link->Release();
    if (FAILED(hr))
        return 3;
    wprintf(L"target=%ls\nworkdir=%ls\n", target, workdir);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(target, NULL, NULL, NULL, FALSE, 0, NULL, workdir[0] ? workdir : NULL, &si, &pi))
        return 4;
    int box = 0;
    HWND main = NULL;
    for (int i = 0; i < 300 && !main && !box; i++) {
        if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0)
            break;
        main = FindMain(pi.dwProcessId, &box);
    }
    if (main) {
        PostMessageW(main, WM_COMMAND, IDM_NEWGAME, 0);
        Sleep((DWORD)wcstoul(argv[2], NULL, 10));
        FindMain(pi.dwProcessId, &box);
        PostMessageW(main, WM_CLOSE, 0, 0);
    }
    DWORD code = 99;
    if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &code);
    wprintf(L"window=%d\nbox=%d\n", main != NULL, box);
    if (main && !box)
        wprintf(L"exit=%lu\n", code);
    return main && !box && code == 0 ? 0 : 1;
}

// dlgdriver.h - drives the program's real modal dialogs from inside a test.
//
// A thread-local CBT hook notes every dialog the thread creates; a thread timer,
// dispatched by the dialog's own modal loop, runs the script's steps one at a
// time, each once the topmost dialog is visible and carries the expected title
// (a timer that acts before the dialog is shown fails on a fresh prefix). A
// watchdog ends every open dialog after a few seconds, so a broken script fails
// the test instead of hanging it. Questions and error boxes are answered through
// the program's seams and recorded.
#ifndef DLGDRIVER_H
#define DLGDRIVER_H

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "dlgseams.h"
#include "gdi_count.h"

struct BoxRecord {
    std::string text;
    std::string caption;
    UINT type;
};

// A step title that matches whatever dialog is on top (the system's own boxes).
const char ANY_DIALOG[] = "*";

class DialogDriver
{
  public:
    typedef std::function<void(HWND)> Action;

    explicit DialogDriver(DWORD watchdogMs = 8000) : watchdog(watchdogMs)
    {
        current = this;
        start = GetTickCount();
        hook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        timer = SetTimer(nullptr, 0, TICK_MS, Tick);
        oldQuestion = SetQuestionBox(Question);
        oldError = SetMbErrorBox(Error);
    }

    ~DialogDriver()
    {
        KillTimer(nullptr, timer);
        UnhookWindowsHookEx(hook);
        SetQuestionBox(oldQuestion);
        SetMbErrorBox(oldError);
        current = nullptr;
    }

    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Runs act on the topmost dialog once it is visible and titled title.
    DialogDriver& Then(const char* title, Action act)
    {
        steps.push_back({title, act});
        return *this;
    }
    // Answers for the next questions, in order.
    DialogDriver& Answer(int id)
    {
        answers.push_back(id);
        return *this;
    }

    bool Done() const { return steps.empty() && !timedOut; }
    int DialogsSeen() const { return dialogsSeen; }
    // Expects every step to have run before the watchdog struck.
    void ExpectDone() const
    {
        EXPECT_FALSE(timedOut) << "the script did not finish";
        EXPECT_EQ(0u, steps.size()) << "steps left";
    }

    std::vector<BoxRecord> questions; // every question asked
    std::vector<std::string> errors;  // every MbError text

    static std::string Title(HWND hwnd)
    {
        char text[256] = "";
        GetWindowTextA(hwnd, text, sizeof text);
        return text;
    }

  private:
    static const UINT TICK_MS = 10;
    struct Step {
        std::string title;
        Action act;
    };

    static DialogDriver* current;

    HHOOK hook;
    UINT_PTR timer;
    DWORD start;
    DWORD watchdog;
    // How long a shown dialog may go without the keyboard focus before the steps run anyway.
    static const DWORD FOCUS_GRACE_MS = 2000;
    HWND shownDialog = nullptr;
    DWORD shownSince = 0;
    bool timedOut = false;
    int dialogsSeen = 0;
    std::vector<HWND> dialogs;
    std::deque<Step> steps;
    std::deque<int> answers;
    QUESTIONBOXPROC oldQuestion;
    MBERRORBOXPROC oldError;

    void Prune()
    {
        dialogs.erase(
            std::remove_if(dialogs.begin(), dialogs.end(), [](HWND h) { return !IsWindow(h); }),
            dialogs.end());
    }

    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND && current) {
            // Top-level dialogs only: the system's file chooser nests a child dialog.
            const CBT_CREATEWNDA* cw = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
            char cls[64] = "";
            GetClassNameA(reinterpret_cast<HWND>(wParam), cls, sizeof cls);
            if (lstrcmpA(cls, "#32770") == 0 && !(cw->lpcs->style & WS_CHILD)) {
                current->dialogs.push_back(reinterpret_cast<HWND>(wParam));
                current->dialogsSeen++;
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        DialogDriver* d = current;
        if (!d)
            return;
        d->Prune();
        if (GetTickCount() - d->start > d->watchdog) {
            // A stuck script: end every dialog, the innermost first.
            d->timedOut = true;
            for (auto it = d->dialogs.rbegin(); it != d->dialogs.rend(); ++it)
                EndDialog(*it, IDCANCEL);
            return;
        }
        if (d->steps.empty() || d->dialogs.empty())
            return;
        HWND top = d->dialogs.back();
        const std::string& want = d->steps.front().title;
        if (!IsWindowVisible(top) || (want != ANY_DIALOG && Title(top) != want))
            return;
        // A dialog is shown before it is activated; on a fresh prefix under load the
        // focus can arrive a few ticks later. Wait for it (for a bounded time), so the
        // steps see the dialog as the user would.
        if (top != d->shownDialog) {
            d->shownDialog = top;
            d->shownSince = GetTickCount();
        }
        // The focus may also sit in a window the dialog opened (the key chooser).
        bool focused = GetFocus() != nullptr;
        if (!focused && GetTickCount() - d->shownSince < FOCUS_GRACE_MS)
            return;
        // Taken off the list before it runs: a step may open a nested dialog whose
        // modal loop calls this timer again.
        Step step = d->steps.front();
        d->steps.pop_front();
        step.act(top);
    }

    static int WINAPI Question(HWND, LPCSTR text, LPCSTR caption, UINT type)
    {
        DialogDriver* d = current;
        d->questions.push_back({text ? text : "", caption ? caption : "", type});
        if (d->answers.empty())
            return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
        int id = d->answers.front();
        d->answers.pop_front();
        return id;
    }

    static int WINAPI Error(HWND, LPCSTR text, LPCSTR, UINT)
    {
        if (current)
            current->errors.push_back(text ? text : "");
        return IDOK;
    }
};

inline DialogDriver* DialogDriver::current = nullptr;

// Helpers for the steps.
inline void Command(HWND dlg, int id, int code = BN_CLICKED)
{
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

inline void PostCommand(HWND dlg, int id, int code = BN_CLICKED)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

// Selects entry index of a combo box and tells the dialog, as a user's choice would.
inline void ChooseEntry(HWND dlg, int id, int index)
{
    SendDlgItemMessageA(dlg, id, CB_SETCURSEL, index, 0);
    Command(dlg, id, CBN_SELCHANGE);
}

inline std::string ItemText(HWND dlg, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

inline std::string ComboText(HWND dlg, int id, int index)
{
    char text[512] = "";
    LRESULT len = SendDlgItemMessageA(dlg, id, CB_GETLBTEXTLEN, index, 0);
    if (len < 0 || len >= static_cast<LRESULT>(sizeof text))
        return "<none>";
    SendDlgItemMessageA(dlg, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

inline int ComboSel(HWND dlg, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0));
}

inline int ComboCount(HWND dlg, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCOUNT, 0, 0));
}

// Counts of the process's objects: GDI (support/gdi_count.cpp reads the handle table
// where Wine's GetGuiResources answers 0) and USER, or where the system does not
// count those, the windows of this thread, children included.
inline DWORD GdiObjects()
{
    return static_cast<DWORD>(GdiObjectCount());
}

inline DWORD UserObjects()
{
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (n != 0)
        return n;
    struct Counter {
        static BOOL CALLBACK Child(HWND, LPARAM lp)
        {
            ++*reinterpret_cast<DWORD*>(lp);
            return TRUE;
        }
        static BOOL CALLBACK Top(HWND hwnd, LPARAM lp)
        {
            ++*reinterpret_cast<DWORD*>(lp);
            EnumChildWindows(hwnd, Child, lp);
            return TRUE;
        }
    };
    EnumThreadWindows(GetCurrentThreadId(), Counter::Top, reinterpret_cast<LPARAM>(&n));
    return n;
}

// Runs cycle(i) once to warm up lazily made system objects, then cycles times, and
// expects both counts back where they were.
template <class Cycle> void ExpectCountsFlat(int cycles, Cycle cycle)
{
    cycle(0);
    DWORD gdi = GdiObjects();
    DWORD user = UserObjects();
    for (int i = 0; i < cycles && !::testing::Test::HasFailure(); i++)
        cycle(i);
    EXPECT_GT(gdi, 0u); // a count of nothing would prove nothing
    EXPECT_GT(user, 0u);
    EXPECT_EQ(gdi, GdiObjects());
    EXPECT_EQ(user, UserObjects());
}

// A plain visible top-level window to own the dialogs, as the main window does.
inline HWND MakeOwnerWindow()
{
    static ATOM atom;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = inst;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "DialogTestOwner";
        atom = RegisterClassA(&wc);
    }
    HWND hwnd = CreateWindowExA(0, "DialogTestOwner", "Owner", WS_OVERLAPPEDWINDOW, 100, 100, 400,
                                450, nullptr, nullptr, inst, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

#endif // DLGDRIVER_H

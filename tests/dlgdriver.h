// dlgdriver.h - drives the program's real modal dialogs from inside a test.
// A thread CBT hook notes the dialogs the thread creates; a thread timer, dispatched by the
// dialog's own modal loop, runs the steps one at a time, each once the topmost dialog is
// visible, has the step's title and a window of the thread has the focus. A watchdog ends
// every open dialog, so a broken script fails instead of hanging. Questions and error boxes
// are answered through the program's seams and recorded.
#ifndef DLGDRIVER_H
#define DLGDRIVER_H

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "STAKKA.h"
#include "dlgseams.h"
#include "gdi_count.h"

class DialogDriver
{
  public:
    typedef std::function<void(HWND)> Action;

    DialogDriver() : start(GetTickCount())
    {
        current = this;
        hook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        timer = SetTimer(nullptr, 0, 10, Tick);
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
    DialogDriver& Then(const char* t, Action a)
    {
        steps.push_back({t, a});
        return *this;
    }
    // The answers to the next questions, in order (then No or Cancel).
    DialogDriver& Answer(int id)
    {
        answers.push_back(id);
        return *this;
    }
    void ExpectDone() const
    {
        EXPECT_EQ(0u, steps.size()) << "steps left, the next for \""
                                    << (steps.empty() ? "" : steps.front().first) << "\"";
        EXPECT_FALSE(timedOut) << "the watchdog ended the dialogs";
    }

    std::vector<std::string> questions;
    std::vector<std::string> errors; // every MbError text

  private:
    static const DWORD WATCHDOG_MS = 8000;
    static DialogDriver* current;
    HHOOK hook;
    UINT_PTR timer;
    DWORD start;
    bool timedOut = false;
    std::vector<HWND> dialogs;
    std::deque<std::pair<std::string, Action>> steps;
    std::deque<int> answers;
    QUESTIONBOXPROC oldQuestion;
    MBERRORBOXPROC oldError;

    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
    {
        char cls[16] = "";
        GetClassNameA((HWND)wParam, cls, sizeof cls);
        if (code == HCBT_CREATEWND && current && !lstrcmpA(cls, "#32770") &&
            !(((CBT_CREATEWNDA*)lParam)->lpcs->style & WS_CHILD))
            current->dialogs.push_back((HWND)wParam);
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        DialogDriver* d = current;
        while (d && !d->dialogs.empty() && !IsWindow(d->dialogs.back()))
            d->dialogs.pop_back();
        if (!d || d->dialogs.empty())
            return;
        if (GetTickCount() - d->start > WATCHDOG_MS) { // a stuck script: end them all
            d->timedOut = true;
            for (HWND dlg : d->dialogs)
                EndDialog(dlg, IDCANCEL);
            return;
        }
        char title[256] = "";
        GetWindowTextA(d->dialogs.back(), title, sizeof title);
        if (d->steps.empty() || !IsWindowVisible(d->dialogs.back()) ||
            d->steps.front().first != title || !GetFocus())
            return;
        // Off the list before it runs: a step may open a nested dialog whose loop ticks too.
        Action act = d->steps.front().second;
        d->steps.pop_front();
        act(d->dialogs.back());
    }
    static int WINAPI Question(HWND, LPCSTR text, LPCSTR, UINT type)
    {
        current->questions.push_back(text);
        int id = (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
        if (!current->answers.empty()) {
            id = current->answers.front();
            current->answers.pop_front();
        }
        return id;
    }
    static int WINAPI Error(HWND, LPCSTR s, LPCSTR, UINT)
    {
        current->errors.push_back(s);
        return 1;
    }
};

inline DialogDriver* DialogDriver::current = nullptr;

// A control's notification sent (Command) or posted (PostCommand) to its dialog, a combo box
// entry chosen as a user would, an item's text, a combo box message's answer.
inline const auto Command = [](HWND dlg, int id, int code = BN_CLICKED) {
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)GetDlgItem(dlg, id));
};
inline const auto PostCommand = [](HWND d, int id) { PostMessageA(d, WM_COMMAND, id, 0); };
inline const auto ChooseEntry = [](HWND dlg, int id, int index) {
    SendDlgItemMessageA(dlg, id, CB_SETCURSEL, index, 0);
    Command(dlg, id, CBN_SELCHANGE);
};
inline const auto ItemText = [](HWND dlg, int id) {
    char text[512] = "";
    GetDlgItemTextA(dlg, id, text, sizeof text);
    return std::string(text);
};
inline const auto Combo = [](HWND d, int id, UINT msg) {
    return (int)SendDlgItemMessageA(d, id, msg, 0, 0);
};
// USER objects, or where the system does not count them (Wine), the thread's windows.
inline DWORD UserObjects()
{
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (n)
        return n;
    static WNDENUMPROC one = [](HWND, LPARAM lp) -> BOOL CALLBACK {
        ++*(DWORD*)lp;
        return TRUE;
    };
    auto withChildren = [](HWND h, LPARAM lp) -> BOOL CALLBACK {
        EnumChildWindows(h, one, lp);
        return one(h, lp);
    };
    EnumThreadWindows(GetCurrentThreadId(), withChildren, (LPARAM)&n);
    return n;
}

// Runs cycle(i) once to warm up lazily made system objects, then cycles times, and expects
// the GDI and USER counts back where they were.
template <class Cycle> void ExpectCountsFlat(int cycles, Cycle cycle)
{
    cycle(0);
    const DWORD gdi = GdiObjectCount();
    const DWORD user = UserObjects();
    for (int i = 0; i < cycles && !::testing::Test::HasFailure(); i++)
        cycle(i);
    // A count of nothing would prove nothing.
    EXPECT_GT(gdi, 0u);
    EXPECT_GT(user, 0u);
    EXPECT_EQ(gdi, (DWORD)GdiObjectCount()) << "GDI objects";
    EXPECT_EQ(user, UserObjects()) << "USER objects";
}

// A plain visible top-level window to own the dialogs, as the main window does.
inline const auto MakeOwnerWindow = [] {
    return CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                           450, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
};

#endif // DLGDRIVER_H

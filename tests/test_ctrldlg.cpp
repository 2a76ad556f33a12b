// Tests of the controls dialog and the key chooser, driven through their real modal loop:
// clicks and keys are posted to the windows that would get them.
#include <gtest/gtest.h>

#include <cstring>

#include "ctrldlg.h"
#include "dlgdriver.h"
#include "stkdefs.h"

namespace
{

const char kTitle[] = "Set Controls";

// The key choosers this thread has open.
std::vector<HWND> Choosers()
{
    std::vector<HWND> found;
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, "ChooseKey", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId())
            found.push_back(h);
    return found;
}
// A click in key field id (105..109) and a key press at the focus, through the queue.
void Click(HWND dlg, int id)
{
    PostMessageA(GetDlgItem(dlg, id), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(GetDlgItem(dlg, id), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}
void Press(int vk)
{
    PostMessageA(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageA(GetFocus(), WM_KEYUP, vk, 0xC0000001);
}
// The steps that click field id and press vk in the chooser it opens.
DialogDriver& Choose(DialogDriver& d, int id, int vk)
{
    return d.Then(kTitle, [id](HWND dlg) { Click(dlg, id); }).Then(kTitle, [vk](HWND) {
        ASSERT_EQ(1u, Choosers().size());
        Press(vk);
    });
}

class ControlsDialog : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        RegisterChooseKeyClass(GetModuleHandleA(nullptr));
        owner = MakeOwnerWindow();
        memcpy(co.keys, defaultkeys, sizeof co.keys);
    }
    void TearDown() override
    {
        for (HWND h : Choosers())
            DestroyWindow(h);
        DestroyWindow(owner);
    }
    void Run(DialogDriver& d) { ControlOptions(GetModuleHandleA(nullptr), owner, &co), d.ExpectDone(); }
    HWND owner = nullptr;
    CONTROLOPTIONS co;
};

TEST(KeyFieldText, TableNameOrReadableSubstituteCutToTheBuffer)
{
    const struct {
        int key, cb;
        const char* text;
    } cases[] = {{8, 32, "Backspace"}, {'9', 32, "9"},    {44, 32, "Key code 44"}, {0, 32, "No key"},
                 {33, 5, "Page"},       {123456, 5, "Key "}};
    for (const auto& c : cases) {
        char text[40];
        memset(text, 'x', sizeof text);
        KeyFieldText(c.key, text, c.cb);
        EXPECT_TRUE(!strcmp(c.text, text) && text[c.cb] == 'x') << c.key << " " << text;
    }
}

TEST_F(ControlsDialog, TheChooserBindsKeysOfTheTableOnlyAndALeftoverOneReportsToNoOne)
{
    HWND ownerWnd = owner;
    co.keys[2] = 18; // stored "Menu": shown, though it can never be chosen
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("Menu", ItemText(dlg, 107));
        SendMessageA(dlg, WM_KEYDOWN, 'A', 0); // no chooser open: a stray key
        Click(dlg, 105);
    });
    d.Then(kTitle, [ownerWnd](HWND dlg) {
        std::vector<HWND> c = Choosers();
        ASSERT_EQ(1u, c.size());
        EXPECT_EQ(c[0], GetFocus());
        EXPECT_EQ(ownerWnd, GetWindow(c[0], GW_OWNER));
        Click(dlg, 108); // a second field while it is open opens no second chooser
    });
    d.Then(kTitle, [](HWND) {
        std::vector<HWND> c = Choosers();
        ASSERT_EQ(1u, c.size());
        SetFocus(c[0]); // back to the chooser, as a click on it would
        for (int vk : {VK_F1, VK_NUMPAD4, VK_OEM_1, VK_PAUSE, VK_ESCAPE})
            Press(vk);
    });
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_TRUE(Choosers().empty());
        EXPECT_EQ("Left arrow", ItemText(dlg, 105));
    });
    Choose(d, 105, VK_RETURN).Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("Return", ItemText(dlg, 105));
        EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
    });
    Choose(d, 106, VK_CONTROL).Then(kTitle, [](HWND dlg) { Click(dlg, 109); });
    d.Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDOK); }); // the chooser still open
    Run(d);
    ASSERT_EQ(1u, Choosers().size());
    SendMessageA(Choosers()[0], WM_KEYDOWN, 'M', 1); // it reports to no one and goes
    const int want[NUM_CONTROLS] = {VK_RETURN, VK_CONTROL, 18, VK_CONTROL, VK_DOWN};
    EXPECT_TRUE(Choosers().empty() && !memcmp(want, co.keys, sizeof want));
}

TEST_F(ControlsDialog, OkCommitsCancelKeepsTheRecordAndNothingLeaks)
{
    ExpectCountsFlat(8, [this](int i) {
        CONTROLOPTIONS before = co;
        DialogDriver d;
        Choose(d, 105 + i % 5, 'A' + i).Then(kTitle, [i](HWND dlg) {
            EXPECT_EQ(std::string(1, 'A' + i), ItemText(dlg, 105 + i % 5));
            PostCommand(dlg, i % 2 ? IDOK : IDCANCEL);
        });
        Run(d);
        before.keys[i % 5] = i % 2 ? 'A' + i : before.keys[i % 5];
        EXPECT_EQ(0, memcmp(&before, &co, sizeof co)) << i;
    });
}

} // namespace

// Tests of the controls dialog and the key chooser, driven through their real
// modal loop: clicks and keys are posted to the windows that would get them.
#include <gtest/gtest.h>

#include <cstring>

#include "ctrldlg.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "stkdefs.h"

namespace
{

const char kTitle[] = "Set Controls";

std::vector<HWND> Choosers()
{
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
            char cls[32] = "";
            GetClassNameA(hwnd, cls, sizeof cls);
            if (lstrcmpA(cls, "ChooseKey") == 0)
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A click in a key field, through the queue as the mouse would deliver it.
void Click(HWND dlg, int id)
{
    HWND field = GetDlgItem(dlg, id);
    PostMessageA(field, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(field, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

// A key press delivered to whichever window holds the focus, through the modal loop.
void Press(int vk)
{
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, vk, 1);
    PostMessageA(focus, WM_KEYUP, vk, 0xC0000001);
}

class ControlsDialog : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { RegisterChooseKeyClass(GetModuleHandleA(nullptr)); }

    void SetUp() override
    {
        owner = MakeOwnerWindow();
        for (int i = 0; i < NUM_CONTROLS; i++)
            co.keys[i] = defaultkeys[i];
    }

    void TearDown() override
    {
        for (HWND h : Choosers())
            DestroyWindow(h);
        DestroyWindow(owner);
    }

    void Run(DialogDriver& d)
    {
        ControlOptions(GetModuleHandleA(nullptr), owner, &co);
        d.ExpectDone();
    }

    // Adds the steps that click field id and press vk in the chooser it opens.
    static void Choose(DialogDriver& d, int id, int vk)
    {
        d.Then(kTitle, [id](HWND dlg) { Click(dlg, id); }).Then(kTitle, [vk](HWND) {
            ASSERT_EQ(1u, Choosers().size());
            Press(vk);
        });
    }

    HWND owner = nullptr;
    CONTROLOPTIONS co;
};

// ---- the key table and its helpers -------------------------------------------------

TEST(KeyFieldText, TableNameOrReadableSubstituteCutToTheBuffer)
{
    const struct {
        int key;
        int cb;
        const char* text;
    } cases[] = {{8, 32, "Backspace"},    {'9', 32, "9"},    {44, 32, "Key code 44"},
                 {37, 32, "Left arrow"},  {0, 32, "No key"}, {VK_F5, 32, "Key code 116"},
                 {-5, 32, "Key code -5"}, {33, 5, "Page"},   {123456, 5, "Key "}};
    for (const auto& c : cases) {
        char text[40];
        memset(text, 'x', sizeof text);
        KeyFieldText(c.key, text, c.cb);
        EXPECT_STREQ(c.text, text) << c.key;
        EXPECT_EQ('x', text[c.cb]) << c.key;
    }
}

// ---- the dialog ------------------------------------------------------------------

TEST_F(ControlsDialog, UnboundAndUnknownCodesShowReadableTextAndStrayKeysDoNothing)
{
    co.keys[0] = 0;
    co.keys[1] = VK_F7;
    co.keys[2] = 18; // stored "Menu": shown, though it can never be chosen
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("No key", ItemText(dlg, 105));
        EXPECT_EQ("Key code 118", ItemText(dlg, 106));
        EXPECT_EQ("Menu", ItemText(dlg, 107));
        SendMessageA(dlg, WM_KEYDOWN, 'A', 0); // no chooser open
        EXPECT_EQ("No key", ItemText(dlg, 105));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ(0, co.keys[0]);
    EXPECT_EQ(VK_F7, co.keys[1]);
}

TEST_F(ControlsDialog, ClickOpensTheChooserWhichReportsAndCloses)
{
    HWND ownerWnd = owner;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); })
        .Then(kTitle,
              [ownerWnd](HWND) {
                  std::vector<HWND> c = Choosers();
                  ASSERT_EQ(1u, c.size());
                  HWND ch = c[0];
                  EXPECT_EQ(ch, GetFocus());
                  EXPECT_EQ(ownerWnd, GetWindow(ch, GW_OWNER));
                  Press('A');
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ("A", ItemText(dlg, 105));
            EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ('A', co.keys[0]);
    EXPECT_EQ(39, co.keys[1]);
}

TEST_F(ControlsDialog, KeysOutsideTheTableAreIgnoredAndEscapeChangesNothing)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 106); })
        .Then(kTitle,
              [](HWND) {
                  Press(VK_F1);
                  Press(VK_NUMPAD4); // a keypad digit with NumLock on
                  Press(VK_OEM_PERIOD);
                  Press(VK_OEM_1);
                  Press(VK_PAUSE);
              })
        .Then(kTitle,
              [](HWND dlg) {
                  std::vector<HWND> c = Choosers();
                  ASSERT_EQ(1u, c.size());
                  EXPECT_EQ(c[0], GetFocus());
                  EXPECT_EQ("Right arrow", ItemText(dlg, 106));
                  // Alt and keys held with it reach the default handling, never the chooser.
                  PostMessageA(c[0], WM_SYSKEYDOWN, VK_MENU, 0x20000001);
                  PostMessageA(c[0], WM_SYSKEYUP, VK_MENU, 0xC0000001);
              })
        .Then(kTitle,
              [](HWND dlg) {
                  ASSERT_EQ(1u, Choosers().size());
                  EXPECT_EQ("Right arrow", ItemText(dlg, 106));
                  Press(VK_ESCAPE);
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ("Right arrow", ItemText(dlg, 106));
        });
    Choose(d, 106, VK_LEFT); // a keypad arrow with NumLock off binds as the arrow
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("Left arrow", ItemText(dlg, 106));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ(VK_LEFT, co.keys[1]);
}

TEST_F(ControlsDialog, SecondFieldClickedWhileChooserOpenOpensNoSecondChooser)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); })
        .Then(kTitle,
              [](HWND dlg) {
                  ASSERT_EQ(1u, Choosers().size());
                  Click(dlg, 108);
              })
        .Then(kTitle,
              [](HWND) {
                  std::vector<HWND> c = Choosers();
                  ASSERT_EQ(1u, c.size());
                  // The field took the focus from the chooser; give it back as a click on
                  // the chooser would, and choose.
                  SetFocus(c[0]);
                  Press('Z');
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ("Z", ItemText(dlg, 105));
            EXPECT_EQ("Control", ItemText(dlg, 108));
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ('Z', co.keys[0]);
    EXPECT_EQ(17, co.keys[3]);
}

TEST_F(ControlsDialog, ReturnTabSpaceShiftAndControlCanBeChosenAndAKeyBoundTwice)
{
    const int keys[NUM_CONTROLS] = {VK_RETURN, VK_TAB, VK_SPACE, VK_SHIFT, VK_CONTROL};
    const char* names[NUM_CONTROLS] = {"Return", "Tab", "Space", "Shift", "Control"};
    DialogDriver d;
    for (int i = 0; i < NUM_CONTROLS; i++) {
        Choose(d, 105 + i, keys[i]);
        d.Then(kTitle, [i, &names](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ(names[i], ItemText(dlg, 105 + i));
        });
    }
    Choose(d, 105, VK_CONTROL); // the same field again, the key of another action
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("Control", ItemText(dlg, 105));
        EXPECT_EQ("Control", ItemText(dlg, 109));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    const int expected[NUM_CONTROLS] = {VK_CONTROL, VK_TAB, VK_SPACE, VK_SHIFT, VK_CONTROL};
    for (int i = 0; i < NUM_CONTROLS; i++)
        EXPECT_EQ(expected[i], co.keys[i]) << "action " << i;
}

TEST_F(ControlsDialog, CancelAndEscapeLeaveTheRecordExactlyAsItWas)
{
    co.keys[3] = 0;
    for (bool escape : {false, true}) {
        CONTROLOPTIONS before = co;
        DialogDriver d;
        Choose(d, 105, 'Q');
        Choose(d, 108, 'W');
        d.Then(kTitle, [escape](HWND dlg) {
            EXPECT_EQ("Q", ItemText(dlg, 105));
            EXPECT_EQ("W", ItemText(dlg, 108));
            EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
            if (escape)
                Press(VK_ESCAPE);
            else
                PostCommand(dlg, IDCANCEL);
        });
        Run(d);
        EXPECT_EQ(0, memcmp(&before, &co, sizeof co)) << escape;
    }
}

TEST_F(ControlsDialog, ChooserLeftOpenAfterTheDialogReportsToNoOne)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); }).Then(kTitle, [](HWND dlg) {
        ASSERT_EQ(1u, Choosers().size());
        PostCommand(dlg, IDOK);
    });
    Run(d);
    std::vector<HWND> c = Choosers();
    ASSERT_EQ(1u, c.size());
    SendMessageA(c[0], WM_KEYDOWN, 'M', 1);
    EXPECT_FALSE(IsWindow(c[0]));
    EXPECT_EQ(37, co.keys[0]);

    // A later dialog starts afresh: its first click opens a chooser.
    DialogDriver again;
    Choose(again, 105, 'N');
    again.Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDOK); });
    Run(again);
    EXPECT_EQ('N', co.keys[0]);
}

TEST_F(ControlsDialog, OpenAndCloseCyclesLeaveGdiAndUserCountsFlat)
{
    ExpectCountsFlat(50, [this](int i) {
        DialogDriver d;
        if (i % 20 == 0)
            Choose(d, 105, 'P');
        d.Then(kTitle, [i](HWND dlg) { PostCommand(dlg, i % 2 ? IDOK : IDCANCEL); });
        Run(d);
    });
}

} // namespace

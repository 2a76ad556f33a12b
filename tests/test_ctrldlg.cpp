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
        EXPECT_FALSE(d.TimedOut()) << "the script did not finish; steps left: " << d.StepsLeft();
        EXPECT_EQ(0u, d.StepsLeft());
    }

    HWND owner = nullptr;
    CONTROLOPTIONS co;
};

// ---- the key table -------------------------------------------------------------

TEST(KeyList, FirstRowsAreTheNamedKeysInOrder)
{
    const KEYLIST expected[] = {
        {8, "Backspace"},   {9, "Tab"},         {12, "Clear"},     {13, "Return"},
        {16, "Shift"},      {17, "Control"},    {18, "Menu"},      {20, "Caps Lock"},
        {32, "Space"},      {33, "Page Up"},    {34, "Page Down"}, {35, "End"},
        {36, "Home"},       {37, "Left arrow"}, {38, "Up arrow"},  {39, "Right arrow"},
        {40, "Down arrow"}, {41, "Select"},     {42, "Print"},     {43, "Execute"},
        {45, "Insert"},     {46, "Delete"},
    };
    for (int i = 0; i < 22; i++) {
        EXPECT_EQ(expected[i].key, keylist[i].key) << "row " << i;
        EXPECT_STREQ(expected[i].name, keylist[i].name) << "row " << i;
    }
}

TEST(KeyList, LettersThenDigits)
{
    for (int i = 0; i < 26; i++) {
        char name[2] = {static_cast<char>('A' + i), 0};
        EXPECT_EQ(65 + i, keylist[22 + i].key);
        EXPECT_STREQ(name, keylist[22 + i].name);
    }
    for (int i = 0; i < 10; i++) {
        char name[2] = {static_cast<char>('0' + i), 0};
        EXPECT_EQ(48 + i, keylist[48 + i].key);
        EXPECT_STREQ(name, keylist[48 + i].name);
    }
    EXPECT_EQ(58, NUM_KEYLIST);
}

TEST(KeyList, NamesFitTheirField)
{
    for (int i = 0; i < NUM_KEYLIST; i++)
        EXPECT_LT(strlen(keylist[i].name), static_cast<size_t>(KEYNAME_LEN)) << "row " << i;
}

TEST(KeyIndex, FindsEveryRowAndNothingElse)
{
    for (int i = 0; i < NUM_KEYLIST; i++)
        EXPECT_EQ(i, keyIndex(keylist[i].key));
    const int unbindable[] = {
        0,           VK_ESCAPE, VK_PAUSE, VK_F1,         VK_F12,       VK_NUMPAD0, VK_NUMPAD9,
        VK_MULTIPLY, VK_ADD,    VK_OEM_1, VK_OEM_PERIOD, VK_OEM_COMMA, 44,         47,
        -1,          256,       91,       0x7FFFFFFF};
    for (int key : unbindable)
        EXPECT_EQ(-1, keyIndex(key)) << "key " << key;
}

TEST(KeyFieldText, TableNameOrReadableSubstitute)
{
    char text[KEYNAME_LEN + 16];
    KeyFieldText(37, text, sizeof text);
    EXPECT_STREQ("Left arrow", text);
    KeyFieldText(0, text, sizeof text);
    EXPECT_STREQ("No key", text);
    KeyFieldText(VK_F5, text, sizeof text);
    EXPECT_STREQ("Key code 116", text);
    KeyFieldText(-5, text, sizeof text);
    EXPECT_STREQ("Key code -5", text);
}

TEST(KeyFieldText, CutsToTheBuffer)
{
    char text[6];
    memset(text, 'x', sizeof text);
    KeyFieldText(33, text, 5);
    EXPECT_STREQ("Page", text);
    EXPECT_EQ('x', text[5]);
    KeyFieldText(123456, text, 5);
    EXPECT_STREQ("Key ", text);
}

TEST(ChooseKeyClass, RegisteredWithTheChoosersSettings)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    RegisterChooseKeyClass(inst); // a second registration fails harmlessly
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(inst, "ChooseKey", &wc));
    EXPECT_EQ(0u, wc.style);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(16)), wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), wc.hCursor);
    EXPECT_TRUE(wc.lpfnWndProc == ChooseKeyWndProc);
}

// ---- the dialog ------------------------------------------------------------------

TEST_F(ControlsDialog, OpensWithActionNamesAndKeyNames)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        for (int i = 0; i < NUM_CONTROLS; i++)
            EXPECT_EQ(szControls[i], ItemText(dlg, IDC_KEYLABEL1 + i));
        EXPECT_EQ("Left arrow", ItemText(dlg, 105));
        EXPECT_EQ("Right arrow", ItemText(dlg, 106));
        EXPECT_EQ("Up arrow", ItemText(dlg, 107));
        EXPECT_EQ("Control", ItemText(dlg, 108));
        EXPECT_EQ("Down arrow", ItemText(dlg, 109));
        EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
        EXPECT_EQ(GetParent(dlg), GetWindow(dlg, GW_OWNER));
        PostCommand(dlg, IDCANCEL);
    });
    Run(d);
    EXPECT_EQ(1, d.DialogsSeen());
}

TEST_F(ControlsDialog, TemplateControlsHaveTheirKindsAndStyles)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        LONG style = GetWindowLongA(dlg, GWL_STYLE);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_SYSMENU);
        EXPECT_TRUE(style & DS_MODALFRAME);
        for (int id = 105; id <= 109; id++) {
            HWND field = GetDlgItem(dlg, id);
            char cls[32] = "";
            GetClassNameA(field, cls, sizeof cls);
            EXPECT_STREQ("Edit", cls);
            LONG fs = GetWindowLongA(field, GWL_STYLE);
            EXPECT_TRUE(fs & ES_READONLY) << id;
            // The dialog manager turns an edit field's border into a sunken edge.
            EXPECT_TRUE((fs & WS_BORDER) || (GetWindowLongA(field, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
                << id;
            EXPECT_FALSE(fs & WS_TABSTOP) << id;
        }
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(GetDlgItem(dlg, IDOK), GWL_STYLE) & 0xF);
        EXPECT_EQ("OK", ItemText(dlg, IDOK));
        EXPECT_EQ("Cancel", ItemText(dlg, IDCANCEL));
        // 164 x 143 dialog units: the client area is that size in the dialog's units.
        RECT rc = {0, 0, 164, 143};
        MapDialogRect(dlg, &rc);
        RECT client;
        GetClientRect(dlg, &client);
        EXPECT_EQ(rc.right, client.right);
        EXPECT_EQ(rc.bottom, client.bottom);
        // Position and size are converted each on its own, as the dialog manager does.
        RECT field = {81, 16, 70, 13};
        MapDialogRect(dlg, &field);
        RECT actual;
        GetWindowRect(GetDlgItem(dlg, 105), &actual);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(field.left, actual.left);
        EXPECT_EQ(field.top, actual.top);
        EXPECT_EQ(field.right, actual.right - actual.left);
        EXPECT_EQ(field.bottom, actual.bottom - actual.top);
        PostCommand(dlg, IDCANCEL);
    });
    Run(d);
}

TEST_F(ControlsDialog, UnboundAndUnknownCodesShowReadableText)
{
    co.keys[0] = 0;
    co.keys[1] = VK_F7;
    co.keys[2] = 18; // stored "Menu": shown, though it can never be chosen
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        EXPECT_EQ("No key", ItemText(dlg, 105));
        EXPECT_EQ("Key code 118", ItemText(dlg, 106));
        EXPECT_EQ("Menu", ItemText(dlg, 107));
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
        .Then(
            kTitle,
            [ownerWnd](HWND) {
                std::vector<HWND> c = Choosers();
                ASSERT_EQ(1u, c.size());
                HWND ch = c[0];
                EXPECT_EQ(ch, GetFocus());
                EXPECT_EQ("Choose Key", DialogDriver::Title(ch));
                LONG style = GetWindowLongA(ch, GWL_STYLE);
                EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_BORDER),
                          static_cast<LONG>(
                              style & (WS_POPUP | WS_VISIBLE | WS_BORDER | WS_CAPTION | WS_CHILD)));
                EXPECT_EQ(ownerWnd, GetWindow(ch, GW_OWNER));
                RECT rc;
                GetWindowRect(ch, &rc);
                EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - 150, rc.left);
                EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - 150, rc.top);
                EXPECT_EQ(300, rc.right - rc.left);
                EXPECT_EQ(300, rc.bottom - rc.top);
                HWND msg = GetDlgItem(ch, 1000);
                ASSERT_TRUE(msg != nullptr);
                EXPECT_EQ(szMsg, DialogDriver::Title(msg));
                EXPECT_STREQ("Press the key you want to use for this function now, or press Escape "
                             "to cancel.",
                             szMsg);
                RECT mr;
                GetWindowRect(msg, &mr);
                EXPECT_EQ(280, mr.right - mr.left);
                EXPECT_EQ(280, mr.bottom - mr.top);
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

TEST_F(ControlsDialog, EscapeInTheChooserChangesNothing)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 107); })
        .Then(kTitle,
              [](HWND) {
                  ASSERT_EQ(1u, Choosers().size());
                  Press(VK_ESCAPE);
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ("Up arrow", ItemText(dlg, 107));
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ(38, co.keys[2]);
}

TEST_F(ControlsDialog, KeysOutsideTheTableAreIgnoredWhileTheChooserWaits)
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
                  Press(VK_LEFT); // a keypad arrow with NumLock off binds as the arrow
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
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

TEST_F(ControlsDialog, ReturnTabSpaceShiftAndControlCanBeChosen)
{
    const int keys[NUM_CONTROLS] = {VK_RETURN, VK_TAB, VK_SPACE, VK_SHIFT, VK_CONTROL};
    const char* names[NUM_CONTROLS] = {"Return", "Tab", "Space", "Shift", "Control"};
    DialogDriver d;
    for (int i = 0; i < NUM_CONTROLS; i++) {
        d.Then(kTitle, [i](HWND dlg) { Click(dlg, 105 + i); })
            .Then(kTitle,
                  [i, &keys](HWND) {
                      ASSERT_EQ(1u, Choosers().size());
                      Press(keys[i]);
                  })
            .Then(kTitle, [i, &names](HWND dlg) {
                EXPECT_TRUE(Choosers().empty());
                EXPECT_EQ(names[i], ItemText(dlg, 105 + i));
            });
    }
    d.Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDOK); });
    Run(d);
    for (int i = 0; i < NUM_CONTROLS; i++)
        EXPECT_EQ(keys[i], co.keys[i]) << "action " << i;
}

TEST_F(ControlsDialog, CancelLeavesTheRecordExactlyAsItWas)
{
    co.keys[3] = 0;
    CONTROLOPTIONS before = co;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); })
        .Then(kTitle, [](HWND) { Press('Q'); })
        .Then(kTitle, [](HWND dlg) { Click(dlg, 108); })
        .Then(kTitle, [](HWND) { Press('W'); })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_EQ("Q", ItemText(dlg, 105));
            EXPECT_EQ("W", ItemText(dlg, 108));
            PostCommand(dlg, IDCANCEL);
        });
    Run(d);
    EXPECT_EQ(0, memcmp(&before, &co, sizeof co));
}

TEST_F(ControlsDialog, EscapeInTheDialogActsAsCancel)
{
    CONTROLOPTIONS before = co;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 109); })
        .Then(kTitle, [](HWND) { Press('K'); })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_EQ("K", ItemText(dlg, 109));
            EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
            Press(VK_ESCAPE);
        });
    Run(d);
    EXPECT_EQ(0, memcmp(&before, &co, sizeof co));
}

TEST_F(ControlsDialog, ChooserTakesTheFocusBackFromTheWindowsButNotFromTheDialogsControls)
{
    HWND ownerWnd = owner;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 106); })
        .Then(kTitle,
              [ownerWnd](HWND dlg) {
                  std::vector<HWND> c = Choosers();
                  ASSERT_EQ(1u, c.size());
                  // A control of the dialog may take the focus...
                  SetFocus(GetDlgItem(dlg, IDCANCEL));
                  EXPECT_EQ(GetDlgItem(dlg, IDCANCEL), GetFocus());
                  EXPECT_EQ(1u, Choosers().size());
                  // ...but focus bound for the dialog window or the main window comes back.
                  SendMessageA(c[0], WM_KILLFOCUS, reinterpret_cast<WPARAM>(dlg), 0);
                  EXPECT_EQ(c[0], GetFocus());
                  SetFocus(GetDlgItem(dlg, IDCANCEL));
                  SendMessageA(c[0], WM_KILLFOCUS, reinterpret_cast<WPARAM>(ownerWnd), 0);
                  EXPECT_EQ(c[0], GetFocus());
                  SetFocus(GetDlgItem(dlg, IDCANCEL));
                  SendMessageA(c[0], WM_KILLFOCUS, reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDOK)),
                               0);
                  EXPECT_EQ(GetDlgItem(dlg, IDCANCEL), GetFocus());
                  SetFocus(c[0]);
                  Press('E');
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_TRUE(Choosers().empty());
            EXPECT_EQ("E", ItemText(dlg, 106));
            EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ('E', co.keys[1]);
}

TEST_F(ControlsDialog, SameKeyMayBeBoundTwice)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); })
        .Then(kTitle, [](HWND) { Press('S'); })
        .Then(kTitle, [](HWND dlg) { Click(dlg, 106); })
        .Then(kTitle, [](HWND) { Press('S'); })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_EQ("S", ItemText(dlg, 105));
            EXPECT_EQ("S", ItemText(dlg, 106));
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ('S', co.keys[0]);
    EXPECT_EQ('S', co.keys[1]);
}

TEST_F(ControlsDialog, SameFieldOpensAChooserAgainAfterTheFirstClosed)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 107); })
        .Then(kTitle, [](HWND) { Press('1'); })
        .Then(kTitle,
              [](HWND dlg) {
                  EXPECT_TRUE(Choosers().empty());
                  Click(dlg, 107);
              })
        .Then(kTitle,
              [](HWND) {
                  ASSERT_EQ(1u, Choosers().size());
                  Press('2');
              })
        .Then(kTitle, [](HWND dlg) {
            EXPECT_EQ("2", ItemText(dlg, 107));
            PostCommand(dlg, IDOK);
        });
    Run(d);
    EXPECT_EQ('2', co.keys[2]);
}

TEST_F(ControlsDialog, ChooserLeftOpenAfterTheDialogReportsToNoOne)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); }).Then(kTitle, [](HWND dlg) {
        ASSERT_EQ(1u, Choosers().size());
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ(37, co.keys[0]);
    std::vector<HWND> c = Choosers();
    ASSERT_EQ(1u, c.size());
    SendMessageA(c[0], WM_KEYDOWN, 'M', 1);
    EXPECT_FALSE(IsWindow(c[0]));
    EXPECT_EQ(37, co.keys[0]);

    // A later dialog starts afresh: its first click opens a chooser.
    DialogDriver again;
    again.Then(kTitle, [](HWND dlg) { Click(dlg, 105); })
        .Then(kTitle,
              [](HWND) {
                  ASSERT_EQ(1u, Choosers().size());
                  Press('N');
              })
        .Then(kTitle, [](HWND dlg) { PostCommand(dlg, IDOK); });
    Run(again);
    EXPECT_EQ('N', co.keys[0]);
}

TEST_F(ControlsDialog, KeyDownWithoutAnOpenChooserIsIgnored)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        SendMessageA(dlg, WM_KEYDOWN, 'A', 0);
        EXPECT_EQ("Left arrow", ItemText(dlg, 105));
        PostCommand(dlg, IDOK);
    });
    Run(d);
    EXPECT_EQ(37, co.keys[0]);
}

TEST_F(ControlsDialog, TwoHundredOpenAndCloseCyclesLeaveGdiAndUserCountsFlat)
{
    // One warm-up cycle, so that lazily made system objects are not counted.
    for (int pass = 0; pass < 2; pass++) {
        DWORD gdi = GdiObjects();
        DWORD user = UserObjects();
        int cycles = pass == 0 ? 1 : 200;
        DWORD start = GetTickCount();
        for (int i = 0; i < cycles; i++) {
            DialogDriver d;
            if (i % 20 == 0) {
                d.Then(kTitle, [](HWND dlg) { Click(dlg, 105); }).Then(kTitle, [](HWND) {
                    Press('P');
                });
            }
            d.Then(kTitle, [i](HWND dlg) { PostCommand(dlg, i % 2 ? IDOK : IDCANCEL); });
            Run(d);
            if (HasFailure())
                return;
        }
        if (pass == 1) {
            printf("%s: %d cycles, %lu ms; GDI %lu -> %lu, USER %lu -> %lu\n", "controls dialog",
                   cycles, GetTickCount() - start, gdi, GdiObjects(), user, UserObjects());
            EXPECT_GT(gdi, 0u); // a count of nothing would prove nothing
            EXPECT_GT(user, 0u);
            EXPECT_EQ(gdi, GdiObjects());
            EXPECT_EQ(user, UserObjects());
        }
    }
}

} // namespace

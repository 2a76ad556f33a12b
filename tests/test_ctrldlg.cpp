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

TEST(KeyList, NamedKeysThenLettersThenDigits)
{
    const KEYLIST named[] = {
        {8, "Backspace"},   {9, "Tab"},         {12, "Clear"},     {13, "Return"},
        {16, "Shift"},      {17, "Control"},    {18, "Menu"},      {20, "Caps Lock"},
        {32, "Space"},      {33, "Page Up"},    {34, "Page Down"}, {35, "End"},
        {36, "Home"},       {37, "Left arrow"}, {38, "Up arrow"},  {39, "Right arrow"},
        {40, "Down arrow"}, {41, "Select"},     {42, "Print"},     {43, "Execute"},
        {45, "Insert"},     {46, "Delete"},
    };
    ASSERT_EQ(58, NUM_KEYLIST);
    for (int i = 0; i < NUM_KEYLIST; i++) {
        char single[2] = {static_cast<char>(i < 48 ? 'A' + i - 22 : '0' + i - 48), 0};
        int key = i < 22 ? named[i].key : single[0];
        EXPECT_EQ(key, keylist[i].key) << "row " << i;
        EXPECT_STREQ(i < 22 ? named[i].name : single, keylist[i].name) << "row " << i;
        EXPECT_LT(strlen(keylist[i].name), static_cast<size_t>(KEYNAME_LEN)) << "row " << i;
        EXPECT_EQ(i, keyIndex(key));
    }
}

TEST(KeyIndex, FindsNothingOutsideTheTable)
{
    const int unbindable[] = {0,        VK_ESCAPE,     VK_PAUSE, VK_F1, VK_NUMPAD0, VK_ADD,
                              VK_OEM_1, VK_OEM_PERIOD, 44,       47,    -1,         256,
                              91,       0x7FFFFFFF};
    for (int key : unbindable)
        EXPECT_EQ(-1, keyIndex(key)) << "key " << key;
}

TEST(KeyFieldText, TableNameOrReadableSubstituteCutToTheBuffer)
{
    const struct {
        int key;
        int cb;
        const char* text;
    } cases[] = {{37, 32, "Left arrow"},  {0, 32, "No key"}, {VK_F5, 32, "Key code 116"},
                 {-5, 32, "Key code -5"}, {33, 5, "Page"},   {123456, 5, "Key "}};
    for (const auto& c : cases) {
        char text[40];
        memset(text, 'x', sizeof text);
        KeyFieldText(c.key, text, c.cb);
        EXPECT_STREQ(c.text, text) << c.key;
        EXPECT_EQ('x', text[c.cb]) << c.key;
    }
}

TEST(ChooseKeyClass, RegisteredWithTheChoosersSettings)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    RegisterChooseKeyClass(inst); // a second registration fails harmlessly
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(inst, "ChooseKey", &wc));
    EXPECT_EQ(0u, wc.style);
    EXPECT_EQ(0, wc.cbClsExtra + wc.cbWndExtra);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(16)), wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(LoadCursor(nullptr, IDC_ARROW), wc.hCursor);
    EXPECT_TRUE(wc.lpfnWndProc == ChooseKeyWndProc);
}

// ---- the dialog ------------------------------------------------------------------

TEST_F(ControlsDialog, OpensFromItsTemplateWithActionAndKeyNames)
{
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) {
        const char* keys[NUM_CONTROLS] = {"Left arrow", "Right arrow", "Up arrow", "Control",
                                          "Down arrow"};
        for (int i = 0; i < NUM_CONTROLS; i++) {
            EXPECT_EQ(szControls[i], ItemText(dlg, IDC_KEYLABEL1 + i));
            EXPECT_EQ(keys[i], ItemText(dlg, 105 + i));
            HWND field = GetDlgItem(dlg, 105 + i);
            char cls[32] = "";
            GetClassNameA(field, cls, sizeof cls);
            EXPECT_STREQ("Edit", cls);
            LONG fs = GetWindowLongA(field, GWL_STYLE);
            EXPECT_TRUE(fs & ES_READONLY) << i;
            // The dialog manager turns an edit field's border into a sunken edge.
            EXPECT_TRUE((fs & WS_BORDER) || (GetWindowLongA(field, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
                << i;
            EXPECT_FALSE(fs & WS_TABSTOP) << i;
        }
        EXPECT_EQ(GetDlgItem(dlg, IDOK), GetFocus());
        EXPECT_EQ(GetParent(dlg), GetWindow(dlg, GW_OWNER));
        LONG style = GetWindowLongA(dlg, GWL_STYLE);
        EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                  style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
        EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongA(GetDlgItem(dlg, IDOK), GWL_STYLE) & 0xF);
        EXPECT_EQ("OK", ItemText(dlg, IDOK));
        EXPECT_EQ("Cancel", ItemText(dlg, IDCANCEL));
        ExpectClientSize(dlg, 164, 143);
        ExpectPlaced(dlg, GetDlgItem(dlg, 105), {81, 16, 70, 13});
        PostCommand(dlg, IDCANCEL);
    });
    Run(d);
    EXPECT_EQ(1, d.DialogsSeen());
}

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
                  EXPECT_EQ("Choose Key", DialogDriver::Title(ch));
                  LONG style = GetWindowLongA(ch, GWL_STYLE);
                  EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_BORDER),
                            static_cast<LONG>(style & (WS_POPUP | WS_VISIBLE | WS_BORDER |
                                                       WS_CAPTION | WS_CHILD)));
                  EXPECT_EQ(ownerWnd, GetWindow(ch, GW_OWNER));
                  RECT rc;
                  GetWindowRect(ch, &rc);
                  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2 - 150, rc.left);
                  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN) / 2 - 150, rc.top);
                  EXPECT_EQ(300, rc.right - rc.left);
                  EXPECT_EQ(300, rc.bottom - rc.top);
                  HWND msg = GetDlgItem(ch, 1000);
                  ASSERT_TRUE(msg != nullptr);
                  EXPECT_EQ("Press the key you want to use for this function now, or press "
                            "Escape to cancel.",
                            DialogDriver::Title(msg));
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

TEST_F(ControlsDialog, ChooserTakesTheFocusBackFromTheWindowsButNotFromTheDialogsControls)
{
    HWND ownerWnd = owner;
    DialogDriver d;
    d.Then(kTitle, [](HWND dlg) { Click(dlg, 106); })
        .Then(kTitle,
              [ownerWnd](HWND dlg) {
                  std::vector<HWND> c = Choosers();
                  ASSERT_EQ(1u, c.size());
                  HWND cancel = GetDlgItem(dlg, IDCANCEL);
                  // Focus bound for the dialog or the main window comes back; a control
                  // of the dialog may keep it.
                  const struct {
                      HWND to;
                      HWND expect;
                  } moves[] = {{dlg, c[0]}, {ownerWnd, c[0]}, {GetDlgItem(dlg, IDOK), cancel}};
                  for (const auto& m : moves) {
                      SetFocus(cancel);
                      SendMessageA(c[0], WM_KILLFOCUS, reinterpret_cast<WPARAM>(m.to), 0);
                      EXPECT_EQ(m.expect, GetFocus());
                      EXPECT_EQ(1u, Choosers().size());
                  }
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

TEST_F(ControlsDialog, TwoHundredOpenAndCloseCyclesLeaveGdiAndUserCountsFlat)
{
    ExpectCountsFlat(200, [this](int i) {
        DialogDriver d;
        if (i % 20 == 0)
            Choose(d, 105, 'P');
        d.Then(kTitle, [i](HWND dlg) { PostCommand(dlg, i % 2 ? IDOK : IDCANCEL); });
        Run(d);
    });
}

} // namespace

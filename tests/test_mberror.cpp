// test_mberror.cpp - the error box: its text, bounds, caption, buttons and owner,
// once through a recording stand-in and once as the real modal box.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "STAKKA.h"

using std::string;

namespace
{

struct Shown {
    HWND owner;
    string text;
    string caption;
    UINT type;
};
std::vector<Shown> shown;

int WINAPI Record(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    shown.push_back(Shown{owner, text, caption, type});
    return IDOK;
}

class MbErrorTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        shown.clear();
        previous = SetMbErrorBox(Record);
    }
    void TearDown() override
    {
        SetMbErrorBox(previous);
        hwndMain = NULL;
    }
    MBERRORBOXPROC previous;
};

TEST_F(MbErrorTest, FormatsAndShowsOwnedByTheMainWindowOnceItExists)
{
    EXPECT_EQ(31, MbError("Unable to load control config %d", 3));
    HWND w = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, w);
    hwndMain = w;
    EXPECT_EQ(0, MbError("%s", ""));
    DestroyWindow(w);
    EXPECT_EQ(-1, MbError(NULL)); // shows nothing
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("Unable to load control config 3", shown[0].text);
    EXPECT_EQ("", shown[1].text);
    EXPECT_EQ(NULL, shown[0].owner);
    EXPECT_EQ(w, shown[1].owner);
    for (const Shown& s : shown) {
        EXPECT_EQ("Error", s.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), s.type);
    }
}

TEST_F(MbErrorTest, LongTextsAreCutCleanlyAt255)
{
    const string path(255, 'p');
    const string full = "Error loading background image " + path;
    EXPECT_EQ(255, MbError("Error loading background image %s", path.c_str()));
    const string huge(100000, 'h');
    EXPECT_EQ(255, MbError("%s%s", huge.c_str(), huge.c_str()));
    EXPECT_EQ(255, MbError("%s", string(255, 'e').c_str()));
    EXPECT_EQ(255, MbError("%s", string(256, 'f').c_str()));
    ASSERT_EQ(4u, shown.size());
    EXPECT_EQ(full.substr(0, 255), shown[0].text);
    EXPECT_EQ(string(255, 'h'), shown[1].text);
    EXPECT_EQ(string(255, 'e'), shown[2].text);
    EXPECT_EQ(string(255, 'f'), shown[3].text);
}

TEST_F(MbErrorTest, SetterGivesBackThePreviousAndNullMeansTheRealBox)
{
    EXPECT_EQ(Record, SetMbErrorBox(NULL));
    EXPECT_EQ(reinterpret_cast<MBERRORBOXPROC>(MessageBoxA), SetMbErrorBox(Record));
}

// ---- The real box ----

struct BoxSeen {
    string caption;
    string text;
    int ticks;
} seen;

BOOL CALLBACK FindBox(HWND w, LPARAM)
{
    char cls[32], caption[64], text[300];
    if (!GetClassNameA(w, cls, sizeof cls) || strcmp(cls, "#32770") != 0 || !IsWindowVisible(w))
        return TRUE;
    GetWindowTextA(w, caption, sizeof caption);
    GetDlgItemTextA(w, 0xFFFF, text, sizeof text); // a message box's text control
    seen.caption = caption;
    seen.text = text;
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    return FALSE;
}

BOOL CALLBACK CloseAny(HWND w, LPARAM)
{
    PostMessageA(w, WM_CLOSE, 0, 0);
    return TRUE;
}

// A box that never shows would hang the run: after a while, close whatever is there.
void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (seen.text.empty())
        EnumThreadWindows(GetCurrentThreadId(), ++seen.ticks < 200 ? FindBox : CloseAny, 0);
}

TEST(MbErrorBox, ShowsTheRealModalBox)
{
    MBERRORBOXPROC previous = SetMbErrorBox(NULL);
    seen = BoxSeen();
    UINT_PTR timer = SetTimer(NULL, 0, 20, CloseBox);
    ASSERT_NE(0u, timer);
    int n = MbError("Unable to load block scheme %s", "Mine");
    KillTimer(NULL, timer);
    SetMbErrorBox(previous);
    EXPECT_EQ(32, n);
    EXPECT_EQ("Error", seen.caption);
    EXPECT_EQ("Unable to load block scheme Mine", seen.text);
}

} // namespace

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

TEST_F(MbErrorTest, FormatsAndShowsWithCaptionAndIcon)
{
    EXPECT_EQ(31, MbError("Unable to load control config %d", 3));
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Unable to load control config 3", shown[0].text);
    EXPECT_EQ("Error", shown[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), shown[0].type);
    EXPECT_EQ(NULL, shown[0].owner);
}

TEST_F(MbErrorTest, OwnedByTheMainWindowOnceItExists)
{
    HWND w = CreateWindowExA(0, "STATIC", "main", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, w);
    hwndMain = w;
    MbError("x");
    hwndMain = NULL;
    MbError("y");
    DestroyWindow(w);
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(w, shown[0].owner);
    EXPECT_EQ(NULL, shown[1].owner);
}

TEST_F(MbErrorTest, LongTextsAreCutCleanlyAt255)
{
    const string path(255, 'p');
    const string full = "Error loading background image " + path;
    EXPECT_EQ(255, MbError("Error loading background image %s", path.c_str()));
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(full.substr(0, 255), shown[0].text);

    const string huge(100000, 'h');
    EXPECT_EQ(255, MbError("%s%s", huge.c_str(), huge.c_str()));
    EXPECT_EQ(string(255, 'h'), shown[1].text);

    EXPECT_EQ(255, MbError("%s", string(255, 'e').c_str()));
    EXPECT_EQ(string(255, 'e'), shown[2].text);
    EXPECT_EQ(255, MbError("%s", string(256, 'f').c_str()));
    EXPECT_EQ(string(255, 'f'), shown[3].text);
}

TEST_F(MbErrorTest, EmptyAndNullFormats)
{
    EXPECT_EQ(0, MbError("%s", ""));
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("", shown[0].text);
    EXPECT_EQ(-1, MbError(NULL));
    EXPECT_EQ(1u, shown.size());
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
    int closed;
} seen;

BOOL CALLBACK FindBox(HWND w, LPARAM)
{
    char cls[32];
    if (!GetClassNameA(w, cls, sizeof cls) || strcmp(cls, "#32770") != 0 || !IsWindowVisible(w))
        return TRUE;
    char caption[64], text[300];
    GetWindowTextA(w, caption, sizeof caption);
    // The message text of a message box is the static control with id 0xFFFF.
    GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
    seen.caption = caption;
    seen.text = text;
    seen.closed = 1;
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (seen.closed)
        return;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
    // A box that never shows would hang the run: close whatever is there.
    if (!seen.closed && ++seen.ticks > 200)
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND w, LPARAM) -> BOOL {
                PostMessageA(w, WM_CLOSE, 0, 0);
                return TRUE;
            },
            0);
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
    EXPECT_EQ(1, seen.closed);
    EXPECT_EQ("Error", seen.caption);
    EXPECT_EQ("Unable to load block scheme Mine", seen.text);
}

} // namespace

// The state the real main window leaves behind: the stored position across
// minimise, restore and a close while minimised.
#include <gtest/gtest.h>

#include <string.h>

#include "STAKKA.h"
#include "options.h"
#include "shell.h"

namespace {

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT)
            DispatchMessageA(&msg);
}

struct ShellState : ::testing::Test {
    OPTIONS op;
    void SetUp() override
    {
        WNDCLASSA wc;
        if (!GetClassInfoA(GetModuleHandleA(NULL), "Stakka", &wc)) {
            ASSERT_EQ(1, RegisterStakkaClasses(GetModuleHandleA(NULL)));
        }
        memset(&op, 0, sizeof op);
        op.go.bg.flags = BG_SOLID;
        op.go.preview = 1;
        hwndMain = CreateMainWindow(GetModuleHandleA(NULL), &op);
        ASSERT_NE((HWND)NULL, hwndMain);
        ShowWindow(hwndMain, SW_SHOWNORMAL);
        Drain();
    }
    void TearDown() override
    {
        if (IsWindow(hwndMain))
            DestroyWindow(hwndMain);
        hwndMain = NULL;
        Drain();
    }
    void ExpectStored(LONG x, LONG y)
    {
        EXPECT_EQ(x, op.windowpos.x);
        EXPECT_EQ(y, op.windowpos.y);
    }
};

} // namespace

TEST_F(ShellState, OnlyANormalPlacementIsStored)
{
    // A place the player chose is kept exactly, off the screen included.
    SetWindowPos(hwndMain, NULL, -70, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectStored(-70, -30);
    ShowWindow(hwndMain, SW_MINIMIZE);
    Drain();
    ASSERT_TRUE(IsIconic(hwndMain));
    ExpectStored(-70, -30);
    ShowWindow(hwndMain, SW_RESTORE);
    Drain();
    ExpectStored(-70, -30);
    // Closed from the taskbar while minimised.
    ShowWindow(hwndMain, SW_MINIMIZE);
    SendMessageA(hwndMain, WM_CLOSE, 0, 0);
    Drain();
    EXPECT_FALSE(IsWindow(hwndMain));
    ExpectStored(-70, -30);
}

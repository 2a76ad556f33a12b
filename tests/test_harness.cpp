// Checks of the test harness itself. The normal entries make sure the headless prefix can
// create windows and draw (Wine's null driver); the entries that misbehave on purpose are
// only run when asked (--gtest_also_run_disabled_tests) by harness_selfcheck.sh, which
// expects the run to fail with the test's name.
#include <windows.h>
#include <gtest/gtest.h>

namespace {

LRESULT CALLBACK PlainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

TEST(Harness, HeadlessPrefixCreatesWindowsAndSurfaces)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HarnessProbe";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "HarnessProbe", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr) << "no graphics driver: is the null driver set in the prefix?";

    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 4, 4);
    HGDIOBJ old = SelectObject(mem, bm);
    SetPixel(mem, 1, 2, RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(mem, 1, 2), RGB(10, 20, 30));
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    DestroyWindow(hwnd);
    UnregisterClassA("HarnessProbe", wc.hInstance);
}

namespace {
int g_cells[12][22];
volatile int g_column = 12;
} // namespace

TEST(HarnessMisbehaves, DISABLED_IndexOutsideTheWellTraps)
{
    // Column 12 does not exist: the bounds check must stop the program here.
    g_cells[g_column][0] = 1;
    SUCCEED();
}

TEST(HarnessMisbehaves, DISABLED_NullPointerCrash)
{
    volatile int* volatile p = nullptr;
    *p = 1;
}

TEST(HarnessMisbehaves, DISABLED_Hang)
{
    for (;;)
        Sleep(1000);
}

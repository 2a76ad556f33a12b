// test_cpushell.cpp - computer mode in the real main window: the Multi Player dialog, the menu
// states, a match the computer plays in the "Stats" panel, and leaving the mode through Single
// Player and through Start Server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "cpushell.h"
#include "dlgdriver.h"
#include "dlgids.h"
#include "grid.h"
#include "netshell.h"
#include "oppview.h"
#include "options.h"
#include "resource.h"
#include "shell.h"
#include "support/testkit.h"

namespace
{

template <class F> bool PumpUntil(F cond, DWORD ms = 5000)
{
    MSG msg;
    for (DWORD start = GetTickCount(); !cond() && GetTickCount() - start < ms; Sleep(1))
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    return cond();
}

// Enabled and checked, for Start Server, Connect, Single Player and Multi Player.
struct MENUSTATES {
    bool server[2], connect[2], single[2], multi[2];
    bool operator==(const MENUSTATES& o) const { return !memcmp(this, &o, sizeof o); }
};
void PrintTo(const MENUSTATES& m, std::ostream* os)
{
    for (const bool* b : {m.server, m.connect, m.single, m.multi})
        *os << "(" << b[0] << "," << b[1] << ") ";
}
MENUSTATES Menus()
{
    MENUSTATES m;
    bool* items[] = {m.server, m.connect, m.single, m.multi};
    const UINT ids[] = {IDM_STARTSERVER, IDM_CONNECT, IDM_SINGLEPLAYER, IDM_MULTIPLAYER};
    for (int i = 0; i < 4; i++) {
        UINT s = GetMenuState(GetMenu(hwndMain), ids[i], MF_BYCOMMAND);
        items[i][0] = !(s & MF_GRAYED);
        items[i][1] = (s & MF_CHECKED) != 0;
    }
    return m;
}
const MENUSTATES kSingle = {{1, 0}, {1, 0}, {0, 1}, {1, 0}};
const MENUSTATES kComputer = {{1, 0}, {1, 0}, {1, 0}, {1, 1}};
const MENUSTATES kServer = {{0, 0}, {0, 0}, {1, 0}, {0, 1}};

// The Multi Player dialog: checks which strength it offers, picks one, then OK or Cancel.
DialogDriver::Action Choose(int offered, int pick, int button)
{
    return [=](HWND dlg) {
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg, IDC_STRENGTH_EASY + offered));
        CheckRadioButton(dlg, IDC_STRENGTH_EASY, IDC_STRENGTH_HARD, IDC_STRENGTH_EASY + pick);
        PostMessageA(dlg, WM_COMMAND, button, 0);
    };
}

// The computer's small well in the panel: its grey frame is drawn only in computer mode.
bool FrameShown(StakkaGrid* grid)
{
    return ReadWindow(grid->hwndStats).At(OPP_X - 1, OPP_Y - 1) == RGB(128, 128, 128);
}

} // namespace

TEST(CpuShell, MultiPlayerEntersComputerModeAndSinglePlayerOrStartServerLeaveIt)
{
    static OPTIONS op;
    op.go.bg.flags = BG_SOLID;
    op.strength = STRENGTH_NORMAL;
    ASSERT_EQ(1, RegisterStakkaClasses(hinst = GetModuleHandleA(NULL)));
    ASSERT_TRUE((hwndMain = CreateMainWindow(hinst, &op)) != NULL);
    ASSERT_TRUE((hinstDll = LoadLibraryA("stkgfx.dll")) != NULL);
    StakkaGrid* grid = new StakkaGrid(hwndMain, hinstDll, &op);
    SendMessageA(hwndMain, WM_SETGRID, (WPARAM)grid, 0);
    auto command = [](UINT id) { SendMessageA(hwndMain, WM_COMMAND, id, 0); };
    EXPECT_EQ(kSingle, Menus());

    // Cancel changes nothing; OK stops the single game and enters computer mode at Hard.
    command(IDM_NEWGAME);
    DialogDriver d;
    d.Then("Multi Player", Choose(STRENGTH_NORMAL, STRENGTH_EASY, IDCANCEL));
    d.Then("Multi Player", Choose(STRENGTH_NORMAL, STRENGTH_HARD, IDOK));
    command(IDM_MULTIPLAYER);
    EXPECT_TRUE(grid->Active() && !CpuShellActive() && op.strength == STRENGTH_NORMAL);
    EXPECT_EQ(kSingle, Menus());
    command(IDM_MULTIPLAYER);
    d.ExpectDone();
    EXPECT_TRUE(!grid->Active() && CpuShellActive() && op.strength == STRENGTH_HARD);
    EXPECT_EQ(kComputer, Menus());
    EXPECT_TRUE(FrameShown(grid));

    // New Game starts a match: the computer plays on its own timer (the first step comes from
    // the main loop's pass, played here) until a piece lies in the bottom row of its well.
    command(IDM_NEWGAME);
    EXPECT_TRUE(grid->Active() && grid->hooks != NULL);
    NetShellAfterStep(grid);
    EXPECT_TRUE(PumpUntil([&] {
        const Pixels p = ReadWindow(grid->hwndStats);
        int filled = 0;
        for (int x = 0; x < WELL_COLS; x++)
            filled += p.At(OPP_X + x * OPP_CELL + 2, OPP_Y + (WELL_ROWS - 1) * OPP_CELL + 2) != 0;
        return filled > 0;
    }));

    // Single Player ends the match and the mode; the dialog now offers the last choice.
    command(IDM_SINGLEPLAYER);
    EXPECT_TRUE(!grid->Active() && !CpuShellActive() && !FrameShown(grid));
    EXPECT_EQ(kSingle, Menus());
    EXPECT_NE((UINT)-1, GetMenuState(GetMenu(hwndMain), IDM_NEWGAME, MF_BYCOMMAND));
    d.Then("Multi Player", Choose(STRENGTH_HARD, STRENGTH_EASY, IDOK));
    command(IDM_MULTIPLAYER);
    EXPECT_TRUE(CpuShellActive() && op.strength == STRENGTH_EASY);

    // Start Server leaves it too and goes on to listen (or to say why it cannot).
    const std::string port = std::to_string(43000 + GetCurrentProcessId() % 2000);
    d.Then("Start Server", [&](HWND dlg) {
        SetDlgItemTextA(dlg, IDC_NETPORT, port.c_str());
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    command(IDM_STARTSERVER);
    d.ExpectDone();
    EXPECT_FALSE(CpuShellActive());
    EXPECT_EQ(d.errors.empty() ? kServer : kSingle, Menus());
    command(IDM_SINGLEPLAYER);
    EXPECT_EQ(kSingle, Menus());

    NetShellShutdown(grid);
    SendMessageA(hwndMain, WM_SETGRID, 0, 0);
    DestroyWindow(hwndMain);
    delete grid;
    FreeLibrary(hinstDll);
}

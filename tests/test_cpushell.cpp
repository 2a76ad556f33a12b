// test_cpushell.cpp - computer mode in the real main window: the Multi Player dialog, the menu
// states, a match the computer plays in the "Stats" panel, and leaving the mode through Single
// Player and through Start Server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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
#include "support/testshell.h"

namespace
{

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

// Whether a game runs here, the computer mode is on, and the strength in the options.
typedef std::tuple<bool, bool, int> MODE;
MODE Mode(const TestShell& shell)
{
    return MODE(shell.grid->Active() != 0, CpuShellActive() != 0, shell.op.strength);
}

// A piece lies in the bottom row of the computer's small well in the panel.
bool ComputerLanded(StakkaGrid* grid)
{
    const Pixels p = ReadWindow(grid->hwndStats);
    const int bottom = OPP_Y + (WELL_ROWS - 1) * OPP_CELL + 2;
    for (int x = 0; x < WELL_COLS; x++) {
        if (p.At(OPP_X + x * OPP_CELL + 2, bottom) != RGB(0, 0, 0))
            return true;
    }
    return false;
}

// Ends the main loop once the computer's piece has landed, or at the time limit.
void QuitWhenComputerLanded(StakkaGrid* grid, DWORD, DWORD)
{
    if (ComputerLanded(grid))
        PostQuitMessage(0);
}
VOID CALLBACK QuitNow(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

} // namespace

TEST(CpuShell, MultiPlayerEntersComputerModeAndSinglePlayerOrStartServerLeaveIt)
{
    TestShell shell;
    shell.op.strength = STRENGTH_NORMAL;
    ASSERT_TRUE(shell.Open());
    StakkaGrid* grid = shell.grid;
    auto command = [](UINT id) { SendMessageA(hwndMain, WM_COMMAND, id, 0); };
    EXPECT_EQ(kSingle, Menus());

    // Cancel changes nothing; OK stops the single game and enters computer mode at Hard.
    command(IDM_NEWGAME);
    DialogDriver d;
    d.Then("Multi Player", Choose(STRENGTH_NORMAL, STRENGTH_EASY, IDCANCEL));
    d.Then("Multi Player", Choose(STRENGTH_NORMAL, STRENGTH_HARD, IDOK));
    command(IDM_MULTIPLAYER);
    EXPECT_EQ(MODE(true, false, STRENGTH_NORMAL), Mode(shell)) << "after Cancel";
    EXPECT_EQ(kSingle, Menus());
    command(IDM_MULTIPLAYER);
    d.ExpectDone();
    EXPECT_EQ(MODE(false, true, STRENGTH_HARD), Mode(shell)) << "after OK";
    EXPECT_EQ(kComputer, Menus());
    EXPECT_TRUE(FrameShown(grid));

    // New Game starts a match. Messages pumped outside the main loop, as a menu's own loop does
    // while the player's piece waits, leave the computer waiting too (its first step, the main
    // loop's, is played here); the main loop then plays it until a piece lies in its bottom row.
    command(IDM_NEWGAME);
    EXPECT_TRUE(grid->Active());
    EXPECT_NE(nullptr, grid->hooks) << "no match runs";
    NetShellAfterStep(grid);
    PumpUntil([] { return false; }, 1500);
    EXPECT_FALSE(ComputerLanded(grid)) << "the computer played on outside the main loop";
    SetFrameHook(QuitWhenComputerLanded);
    const UINT_PTR limit = SetTimer(nullptr, 0, 5000, QuitNow);
    RunMainLoop(grid, nullptr);
    KillTimer(nullptr, limit);
    SetFrameHook(nullptr);
    EXPECT_TRUE(ComputerLanded(grid));

    // Single Player ends the match and the mode; the dialog now offers the last choice.
    command(IDM_SINGLEPLAYER);
    EXPECT_EQ(MODE(false, false, STRENGTH_HARD), Mode(shell)) << "after Single Player";
    EXPECT_FALSE(FrameShown(grid));
    EXPECT_EQ(kSingle, Menus());
    EXPECT_NE((UINT)-1, GetMenuState(GetMenu(hwndMain), IDM_NEWGAME, MF_BYCOMMAND));
    d.Then("Multi Player", Choose(STRENGTH_HARD, STRENGTH_EASY, IDOK));
    command(IDM_MULTIPLAYER);
    EXPECT_EQ(MODE(false, true, STRENGTH_EASY), Mode(shell)) << "after Multi Player again";

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
    command(IDM_NEWGAME);
    EXPECT_EQ(d.errors.empty() ? 0 : 1, grid->Active()) << "New Game while waiting for a player";
    command(IDM_SINGLEPLAYER);
    EXPECT_EQ(kSingle, Menus());
}

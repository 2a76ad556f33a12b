// testshell.h - the program's main window with a playfield in it, built as WinMain builds them
// (without the options read from the store and without the accelerators), for the test
// programs and the benchmarks.
//
// The options live in the shell and start as a test's defaults: a solid background, grid and
// preview on, the default key bindings, the window at (100, 100). Change op before Open. While
// the shell lives, the options functions work on a scratch store of the registry (emptied when
// the shell is made and when it is gone), so nothing a test does reaches the player's.
#ifndef TESTSHELL_H
#define TESTSHELL_H

#include <windows.h>

#include "options.h"
#include "testkit.h"
#include "teststore.h"

class StakkaGrid;

class TestShell
{
  public:
    TestShell();
    ~TestShell();

    // Registers the window classes (once a process), creates and shows the main window at
    // op.windowpos, and gives it a playfield whose block pictures come from blocks. With
    // blocks null, the graphics library is loaded from beside the program (into hinstDll) and
    // freed by Close. Returns false, with what failed on stderr, when a step fails.
    bool Open(HMODULE blocks = nullptr);
    // Takes the playfield from the main window, destroys both (what is left of them) and
    // drains the queue. Safe to call twice, and after the window closed itself.
    void Close();

    OPTIONS op;
    StakkaGrid* grid = nullptr;
    TestStore store{"shell"};

    TestShell(const TestShell&) = delete;
    TestShell& operator=(const TestShell&) = delete;

  private:
    HMODULE ownLibrary = nullptr; // the graphics library when Open loaded it
};

#endif // TESTSHELL_H

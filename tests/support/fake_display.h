// fake_display.h - StakkaGrid's display members for the rules tests: a log
// of the repaints asked for and a model of the well window, recomposed band
// by band as Redraw() does, so tests can check the repaints keep it true.
#ifndef FAKE_DISPLAY_H
#define FAKE_DISPLAY_H

#include <vector>

#include "stkdefs.h"

class StakkaGrid;

enum FakeCallKind { CALL_REDRAW, CALL_REPAINT_NEXT, CALL_REPAINT_SCORE };

struct FakeCall {
    FakeCallKind kind;
    int line;          // Redraw argument; 0 for the panel repaints
};

struct FakeScreen {
    int cell[WELL_COLS][WELL_ROWS];  // what the well window shows
    int pauseRow[WELL_ROWS];         // 1 where the pause screen shows
};

std::vector<FakeCall>& FakeDisplayLog();
void FakeDisplayClearLog();
const FakeScreen& FakeDisplayScreen();

// Calls of a kind in the log (for Redraw, of one line, or any if -1000).
int FakeDisplayCount(FakeCallKind kind, int line = -1000);

std::vector<int> FakeDisplayRedraws();

// 1 if the modelled screen shows `g`'s well and falling piece exactly.
int FakeDisplayShowsTruth(const StakkaGrid& g);

#endif // FAKE_DISPLAY_H

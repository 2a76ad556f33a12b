// fake_display.h - a stand-in for StakkaGrid's display members, linked into
// the rules tests instead of griddraw.cpp.
//
// It logs every repaint the rules ask for and keeps a model of what the
// well window would show: a 12 x 22 picture of cell values, recomposed
// band by band exactly as Redraw() does (settled cells, then the falling
// piece as colour + 1, clipped to the band), and a pause-screen mark per
// row. A test can then check both which repaints were asked for and that
// they keep the picture true.
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

// Counts of a kind of call in the log (for Redraw, of one line value, or
// of any line value when line is -1000).
int FakeDisplayCount(FakeCallKind kind, int line = -1000);

// The Redraw arguments in the log, in order.
std::vector<int> FakeDisplayRedraws();

// 1 if the modelled screen shows `g`'s well and falling piece exactly.
int FakeDisplayShowsTruth(const StakkaGrid& g);

#endif // FAKE_DISPLAY_H

// fake_display.h - StakkaGrid's display members for the rules tests: counts of the panel
// repaints and a model of the well window, recomposed band by band as Redraw() does, so a
// test can check that the repaints asked for keep the screen true.
#ifndef FAKE_DISPLAY_H
#define FAKE_DISPLAY_H

class StakkaGrid;

struct FakeDisplay {
    int nextRepaints;
    int scoreRepaints;
    int redraws;
    int badBands;      // Redraw arguments outside -2..23 and not REDRAW_ALL
};
extern FakeDisplay fakeDisplay;

// 1 if the modelled window shows g's well and falling piece (or the pause screen) exactly.
int FakeDisplayShowsTruth(const StakkaGrid& g);

// 1 if the modelled window shows row y of g's well without any piece.
int FakeDisplayShowsRow(const StakkaGrid& g, int y);

#endif // FAKE_DISPLAY_H

// oppview.h - the "Stats" panel during two-player play: a few lines of text
// (waiting, connecting) or the opponent's well, score and falling piece.
//
// The view takes a MATCHBOARD from whichever opponent there is (a player
// over the network, or one in this program) and knows nothing of where it
// came from. It composes off-screen and the panel copies it on WM_PAINT.
#ifndef OPPVIEW_H
#define OPPVIEW_H

#include <windows.h>

#include "grid.h"
#include "match.h"

class Image;

enum {
    OPP_CELL = 5, // pixels per cell of the small well
    OPP_X = 8,    // its top-left corner in the panel
    OPP_Y = 10,
    OPP_MAX_LINES = 9 // text lines that fit in the panel
};

class OpponentView : public PanelPainter {
public:
    OpponentView();
    ~OpponentView();
    // Takes over the grid's "Stats" panel; `rising` draws risen cells
    // (may be null; not owned). Nothing happens when the surface cannot be
    // made: the panel stays black.
    void Begin(StakkaGrid* grid, Image* rising);
    // Gives the panel back to the grid and releases the surface.
    void End();
    int Shown() const { return hdc != NULL; }
    // Shows up to OPP_MAX_LINES lines of text.
    void ShowText(const char* const lines[], int n);
    // Shows the opponent's well.
    void ShowBoard(const MATCHBOARD& board);
    // Who the opponent is, shown beside its well: a name ("Opponent" until
    // set) and an optional second line. The texts are not copied.
    void SetTitle(const char* name, const char* detail);

    void PaintPanel(HDC target) override;

private:
    void Clear();
    void Done();

    StakkaGrid* grid;
    Image* rising;
    const char* name;
    const char* detail;
    HDC hdc;
    HBITMAP hbm;
    HGDIOBJ oldBm;

    OpponentView(const OpponentView&) = delete;
    OpponentView& operator=(const OpponentView&) = delete;
};

// Draws a well (OPP_CELL px cells) and its score into a panel surface of
// STATS_WIDTH x STATS_HEIGHT, with colors[v] for cell value v (1..RISING_CELL),
// under the opponent's name and an optional second line.
void DrawOpponentBoard(HDC hdc, const MATCHBOARD& b, const COLORREF colors[RISING_CELL + 1],
                       const char* name = "Opponent", const char* detail = NULL);

#endif // OPPVIEW_H

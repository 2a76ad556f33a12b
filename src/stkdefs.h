// stkdefs.h - constants shared by every part of Stakka.
//
// Each part of the program keeps its own block below; add to your block
// only, so that every constant keeps exactly one definition.
#ifndef STKDEFS_H
#define STKDEFS_H

#include <windows.h>

// ---- Well geometry and game rules --------------------------------------
// The well is 12 x 22 cells of 16 x 16 pixels; every cell is playable and
// visible, there are no wall cells.
enum {
    CELL = 16,                       // pixels per cell side
    WELL_COLS = 12,                  // columns, x = 0..11 from the left
    WELL_ROWS = 22,                  // rows, y = 0..21 from the top
    WELL_WIDTH = WELL_COLS * CELL,   // 192 pixels
    WELL_HEIGHT = WELL_ROWS * CELL,  // 352 pixels

    TETRAD_CELLS = 4,                // cells in every piece
    TETRAD_TYPES = 7,                // shapes, and per-shape counters
    MAX_ROTATIONS = 4,               // rows in a piece's turn table

    // Redraw() arguments: a row number 0..21 recomposes that row and the
    // next; REDRAW_ALL the whole well; anything else is ignored.
    REDRAW_ALL = 100,

    // Timings in milliseconds of the tick count.
    DELAY_NEXTPIECE = 50,            // gap between a landing and the next piece
    DELAY_DROP_START = 1500,         // fall interval at level 0
    DELAY_DROP_FAST = 25,            // fall interval while the drop key is held
    DELAY_DROP_STEP = 60,            // interval taken off per level
    DELAY_DROP_MIN = 100,            // the interval never goes below this
    LINES_PER_LEVEL = 10,

    // A cell risen under the well in a two-player match: grey, no piece's
    // colour (settled cells are a piece colour + 1, 1..7).
    RISING_CELL = TETRAD_TYPES + 1,

    // Index of each bindable key in CONTROLOPTIONS::keys.
    KEY_LEFT = 0,
    KEY_RIGHT = 1,
    KEY_ROTATE_CW = 2,
    KEY_ROTATE_CCW = 3,
    KEY_DROP = 4,
    NUM_KEYS = 5
};

// Private window messages.
#define WM_SETGRID (WM_USER + 1)
#define WM_CHOOSEKEYDONE (WM_USER + 100)

// ---- end of the game-rules block ---------------------------------------

// ---- Screen: panels of the main window and the shell -------------------
enum {
    // Child ids and places of the four panels in the main window's client area.
    ID_GRID = 31337,
    ID_NEXT = 31338,
    ID_STATS = 31339,
    ID_SCORE = 31340,
    GRID_X = 30, GRID_Y = 30,
    NEXT_X = 230, NEXT_Y = 30, NEXT_SIZE = 112,
    SCORE_X = 230, SCORE_Y = 172, SCORE_WIDTH = 150, SCORE_HEIGHT = 90,
    STATS_X = 230, STATS_Y = 266, STATS_WIDTH = 150, STATS_HEIGHT = 130,

    // Main window: fixed width; height is caption + menu bar + this.
    MAIN_WIDTH = 394,
    MAIN_CLIENT_HEIGHT = 424
};

// Sent by the main loop to the main window when a frame step has ended the
// game by itself, so the shell can put its menu and music back as Stop Game
// would.
#define WM_GAMEENDED (WM_USER + 2)

// ---- end of the screen block -------------------------------------------

// ---- Computer player ----------------------------------------------------
// Strength of the computer opponent, as stored under the version key.
enum {
    STRENGTH_EASY = 0,
    STRENGTH_NORMAL = 1,
    STRENGTH_HARD = 2,
    NUM_STRENGTHS = 3
};

// ---- end of the computer player block ----------------------------------

#endif // STKDEFS_H

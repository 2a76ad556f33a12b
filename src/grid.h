// grid.h - StakkaGrid, the playfield: the well, the pieces, the game
// rules, and the windows that show them.
//
// The game rules live in grid.cpp, what a two-player match does to the
// playfield in gridmatch.cpp; the display side (construction, the
// off-screen field surface, the panels and their window procedures) lives
// in griddraw.cpp. The rules reach the screen only through Redraw(),
// RepaintNext() and RepaintScore(), so the rules can be tested with a
// stand-in for those three.
//
// Data members are public: the window procedures and the panels read the
// game state directly, as the game's own plain records do.
#ifndef GRID_H
#define GRID_H

#include <windows.h>

#include "stkdefs.h"

struct OPTIONS;
struct GRAPHICSOPTIONS;
struct GFXOPTIONSDATA;
class Image;
class BackgroundImage;
class Tetrad;
class StakkaGrid;

enum { MAX_BLOCK_IMAGES = 256 };

// What a two-player match adds to the rules; the playfield holds one only
// while a match runs (null in single play, which then stays as it was).
class GridHooks {
public:
    virtual int NextPieceType() = 0; // 0..6, from the match's shared sequence
    // After a landing and its clears (cleared: rows cleared by it); may
    // raise the well and end the game.
    virtual void Landed(StakkaGrid* grid, int cleared) = 0;
    virtual void ToppedOut(StakkaGrid* grid) = 0; // the next piece had no room
    virtual Image* RisingBlock() = 0;             // picture of a risen cell, or null

protected:
    ~GridHooks() {}
};

// Something that paints a whole panel (the opponent's view in the "Stats"
// panel during two-player play).
class PanelPainter {
public:
    virtual void PaintPanel(HDC hdc) = 0;

protected:
    ~PanelPainter() {}
};

// (gridmatch.cpp) Moves the well up by n rows (n > 0) and fills the new bottom rows with
// RISING_CELL except column `hole`. Returns 1 when settled cells were
// pushed out of the top (the player tops out).
int RaiseWellRows(int field[WELL_COLS][WELL_ROWS], int n, int hole);

class StakkaGrid {
public:
    // ---- Windows, options and font (display) ----
    HWND hwndParent;             // main window, parent of the four panels
    HWND hwndGrid;               // "StakkaGrid" panel: the well
    HWND hwndNext;               // "StakkaNext" panel: the next piece
    HWND hwndScore;              // "Score" panel
    HWND hwndStats;              // "Stats" panel
    HINSTANCE hDll;              // graphics resource library
    OPTIONS* opt;                // live options; not owned
    GRAPHICSOPTIONS* go;         // always &opt->go; not owned
    HFONT font;                  // "Score" panel font
    int fontwidth;
    int fontheight;

    // ---- Game state ----
    int field[WELL_COLS][WELL_ROWS];  // [x][y]: 0 empty, else piece colour + 1 (1..7)
    DWORD lines;                 // rows cleared, kept across games
    DWORD level;                 // lines / 10, kept across games
    DWORD stats[TETRAD_TYPES];   // pieces that became the falling piece, per type
    DWORD score;                 // points for cleared rows, kept across games
    int fallingFast;             // the current press of the drop key started a fast drop
    int rotating;                // a turn key is held; further turn key-downs are ignored

    // ---- Images and the field surface (display) ----
    HBITMAP bmBlocks;            // source bitmap "Blocks"
    HBITMAP hbm;                 // bitmap behind hdcField
    HBITMAP blockbm[MAX_BLOCK_IMAGES];
    Image* blocks[MAX_BLOCK_IMAGES];   // owned, 0..nblocks-1
    BackgroundImage* backgrnd;   // owned
    DWORD nblocks;               // hblocks * vblocks, at most MAX_BLOCK_IMAGES
    DWORD hblocks;
    DWORD vblocks;
    HDC hdcField;                // off-screen surface the well is composed on

    // ---- Game state ----
    int active;                  // a game is running (possibly paused)
    int paused;
    Tetrad* pActiveTetrad;       // falling piece, owned, may be null
    Tetrad* pNextTetrad;         // waiting piece, owned, may be null
    DWORD nextFrame;             // tick count at which the frame loop next acts
    DWORD curTime;               // tick count of the last frame that ran
    int delay_nextpiece;         // ms between a landing and the next piece
    int delay_drop;              // ms between one-row falls of this piece
    int delay_drop_normal;       // normal fall interval, shrinks with the level
    int delay_drop_fast;         // fall interval of a fast drop

    // ---- Two-player match ----
    GridHooks* hooks;            // not owned; null outside a match
    const char* banner;          // result shown over the well like the pause screen, or null
    PanelPainter* statsView;     // paints the "Stats" panel while set; not owned

    // ---- Display operations (griddraw.cpp) ----
    StakkaGrid(HWND hwnd, HINSTANCE hinstDll, OPTIONS* op);
    // A playfield without windows (grid.cpp): the rules alone, for the
    // computer player's trials and headless games. Its repaints do nothing.
    StakkaGrid();
    ~StakkaGrid();
    // Recomposes rows line and line+1 (0..21) or the whole well
    // (REDRAW_ALL) on the field surface and invalidates them; while paused
    // any accepted value shows the pause screen. Other values do nothing.
    void Redraw(int line);
    void Draw(HDC hdc);
    int ToggleGrid();
    int TogglePreview();
    void UpdateGfxOptions();
    void SetupGfxOptionData(GFXOPTIONSDATA& god);
    void SetGridFocus();
    // Invalidate the whole "StakkaNext" / "Score" panel, erasing it.
    void RepaintNext();
    void RepaintScore();
    // Block image of a piece colour 0..6 through the current scheme, or
    // null when the scheme names an image that does not exist.
    Image* BlockImage(int color);
    // Draws one cell of piece colour `color` at (x, y) of hdc: its block
    // image, or a plain black cell when there is none.
    void DrawCell(HDC hdc, int x, int y, int color);
    // 1 when a "Blocks" bitmap of this size cuts into 1..MAX_BLOCK_IMAGES
    // whole 16 x 16 tiles.
    static int BlockBitmapSizeOk(LONG width, LONG height);

    // ---- Game operations (grid.cpp) ----
    int Active();
    void Reset();                // New Game: Setup(), then active = 1
    void Setup();                // empty well, no falling piece, Redraw(REDRAW_ALL)
    void Stop();
    void TogglePause();
    Tetrad* NextTetrad();        // a new random piece, or null if memory ran out
    int isTetradBlocked();
    void ShiftTetrad(int dir);
    void RotateTetrad(int dir);
    int DropTetrad();            // 1 if the piece landed, 0 if it fell one row
    void SetDelayDropFast();
    void RunFrame();
    int CheckClearLines(int* l);
    void IncLines(int nlines);
    int isFullRow(int row);
    int isEmptyRow(int row);
    void ClearRow(int row);
    void sort(int* row, int c);
    void DropRows(int r, int n);

    // ---- Two-player match games (gridmatch.cpp) ----
    // A match game from nothing: counters, speed, well and pieces fresh,
    // not paused; pieces come from h (kept until the next single game).
    void StartMatchGame(GridHooks* h);
    // Ends a match game: pieces gone, `result` shown over the well (null
    // after a stop: the well is emptied as Stop() does), panels repainted.
    void EndMatchGame(const char* result);
    // Raises n rows with a hole in column `hole` under the well after a
    // landing; a top-out goes to hooks->ToppedOut(). Returns 1 on top-out.
    int RaiseRows(int n, int hole);
    // Single play again: the hooks (when they are h) go, and a result
    // shown goes with the well it was shown over.
    void LeaveMatch(GridHooks* h);
    // Shows `view` in the "Stats" panel, or its black background (null).
    void SetStatsView(PanelPainter* view);

    // The key rules of the well window, shared by its window procedure
    // and the tests. keys[] are the five bindings in KEY_LEFT..KEY_DROP
    // order, read afresh at every key message.
    void KeyDown(UINT vk, const int keys[NUM_KEYS]);
    void KeyUp(UINT vk, const int keys[NUM_KEYS]);

private:
    // Initial game state of a new object (both constructors call it).
    void InitGameState();
    // Free-cell test: inside the well and empty.
    int isFreeCell(LONG x, LONG y);
    // Repaints the bands around the falling piece after it moved.
    void RedrawAroundPiece();
    // Writes the game-over fill.
    void FillWell();
    // Display helpers (griddraw.cpp).
    // 0 when memory ran out; what was made is released by the destructor.
    int CutBlocks(HDC hdc, DWORD across, DWORD down);
    void DrawPauseScreen();

    StakkaGrid(const StakkaGrid&) = delete;
    StakkaGrid& operator=(const StakkaGrid&) = delete;
};

// Window procedures of the four panels (griddraw.cpp).
LRESULT CALLBACK GridWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK NextWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ScoreWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StatsWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif // GRID_H

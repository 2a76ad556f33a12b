// griddraw.cpp - the display side of StakkaGrid: building its pictures and
// panels, composing the well off-screen, and the four panel windows.
//
// The well is composed on the field surface `hdcField` by Redraw(); the
// "StakkaGrid" window only ever copies that surface (Draw). The rules in
// grid.cpp ask for repaints through Redraw(), RepaintNext() and
// RepaintScore() and never draw themselves.
#include "grid.h"

#include <string.h>

#include <new>

#include "STAKKA.h"
#include "bgimage.h"
#include "gfxopt.h"
#include "image.h"
#include "options.h"
#include "tetrad.h"

namespace {

// Panel font of the "Score" panel.
const int PANEL_FONT_HEIGHT = 10;
const int PANEL_FONT_WIDTH = 6;
const int PANEL_FONT_WEIGHT = 300;
const char PANEL_FONT_FACE[] = "MS Sans Serif";

// Pause screen: text and font, made afresh for every pause drawing.
const char PAUSE_TEXT[] = "PAUSED";
const int PAUSE_FONT_HEIGHT = 50;
const int PAUSE_FONT_WIDTH = 20;
const int PAUSE_FONT_WEIGHT = 900;
const int PAUSE_TEXT_X = WELL_WIDTH / 2;
const int PAUSE_TEXT_Y = 150;

// "Next" panel: red frame, label and the 7 x 7 cells the piece is placed in.
const COLORREF NEXT_FRAME_COLOR = RGB(255, 0, 0);
const int NEXT_FRAME_PEN = 3;
const int NEXT_FRAME_INSET = 2;
const int NEXT_FRAME_CORNER = 16;
const int NEXT_LABEL_Y = 5;
const int NEXT_PIECE_COL = 3; // cell offset (0, 0) of the piece sits at this cell
const int NEXT_PIECE_ROW = 4;
const char NEXT_LABEL[] = "Next";

// "Score" panel: labels at x 10, values right-aligned 30 px from the right.
const int SCORE_LABEL_X = 10;
const int SCORE_FIRST_Y = 10;
const int SCORE_VALUE_MARGIN = 30;
const COLORREF SCORE_TEXT_COLOR = RGB(255, 255, 255);
const COLORREF SCORE_BACK_COLOR = RGB(0, 0, 0);

const char BLOCKS_RESOURCE[] = "Blocks";
const char NO_MEMORY[] = "Not enough memory to start the game";

// The playfield's tables hold this many rows and colours.
const int SETTLED_MIN = 1;
const int SETTLED_MAX = TETRAD_TYPES; // settled cell values are 1..7

} // namespace

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

StakkaGrid::StakkaGrid(HWND hwnd, HINSTANCE hinstDll, OPTIONS* op)
{
    // 1. Who we belong to. Everything we may release later starts empty, so
    //    the destructor can run after a failure at any step below.
    hwndParent = hwnd;
    hDll = hinstDll;
    opt = op;
    go = &op->go;
    HINSTANCE hInstance = (HINSTANCE)GetWindowLongPtrA(hwndParent, GWLP_HINSTANCE);
    hwndGrid = hwndNext = hwndScore = hwndStats = NULL;
    font = NULL;
    fontwidth = 0;
    fontheight = 0;
    bmBlocks = NULL;
    hbm = NULL;
    memset(blockbm, 0, sizeof blockbm);
    memset(blocks, 0, sizeof blocks);
    backgrnd = NULL;
    nblocks = hblocks = vblocks = 0;
    hdcField = NULL;

    // 2. The game as it stands before the first game.
    InitGameState();

    // 3. Every surface and bitmap below is made compatible with the main window.
    HDC hdc = GetDC(hwndParent);

    // 4. and 5. The block bitmap, cut into whole 16 x 16 tiles only.
    bmBlocks = LoadBitmapA(hDll, BLOCKS_RESOURCE);
    if (!bmBlocks) {
        ReleaseDC(hwndParent, hdc);
        MbError("Error loading block graphics");
        DestroyWindow(hwndParent);
        return;
    }
    BITMAP bm;
    memset(&bm, 0, sizeof bm);
    GetObjectA(bmBlocks, sizeof bm, &bm);
    if (!BlockBitmapSizeOk(bm.bmWidth, bm.bmHeight)) {
        ReleaseDC(hwndParent, hdc);
        MbError("Incorrect block bitmap size");
        DestroyWindow(hwndParent);
        return;
    }

    // 6. The block images.
    if (!CutBlocks(hdc, (DWORD)bm.bmWidth / CELL, (DWORD)bm.bmHeight / CELL)) {
        ReleaseDC(hwndParent, hdc);
        MbError("%s", NO_MEMORY);
        DestroyWindow(hwndParent);
        return;
    }

    // 7. The background picture behind the well; without one (no memory)
    //    the well is drawn without it.
    backgrnd = NewBackgroundImage(hwndParent, hDll, op->go.bg);

    // 8. The field surface the well is composed on.
    hdcField = CreateCompatibleDC(hdc);
    hbm = CreateCompatibleBitmap(hdc, WELL_WIDTH, WELL_HEIGHT);
    SelectObject(hdcField, hbm);

    // 9. An empty well, composed once; no window exists yet to invalidate.
    Setup();

    // 10. The "Score" panel font.
    fontheight = PANEL_FONT_HEIGHT;
    fontwidth = PANEL_FONT_WIDTH;
    font = CreateFontA(fontheight, fontwidth, 0, 0, PANEL_FONT_WEIGHT, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FF_SWISS | DEFAULT_PITCH, PANEL_FONT_FACE);

    // 11. The four panels; each handler takes `this` from its creation data.
    const DWORD style = WS_CHILD | WS_VISIBLE;
    hwndGrid = CreateWindowExA(0, "StakkaGrid", "Grid", style, GRID_X, GRID_Y, WELL_WIDTH,
                               WELL_HEIGHT, hwndParent, (HMENU)(INT_PTR)ID_GRID, hInstance, this);
    hwndNext = CreateWindowExA(0, "StakkaNext", "Next", style, NEXT_X, NEXT_Y, NEXT_SIZE,
                               NEXT_SIZE, hwndParent, (HMENU)(INT_PTR)ID_NEXT, hInstance, this);
    hwndScore = CreateWindowExA(0, "Score", "Score", style, SCORE_X, SCORE_Y, SCORE_WIDTH,
                                SCORE_HEIGHT, hwndParent, (HMENU)(INT_PTR)ID_SCORE, hInstance, this);
    hwndStats = CreateWindowExA(0, "Stats", "Stats", style, STATS_X, STATS_Y, STATS_WIDTH,
                                STATS_HEIGHT, hwndParent, (HMENU)(INT_PTR)ID_STATS, hInstance, this);
    ReleaseDC(hwndParent, hdc);

    // 12. Without all four panels there is no game to show.
    if (!hwndGrid || !hwndNext || !hwndScore || !hwndStats) {
        MbError("Error creating child windows");
        DestroyWindow(hwndParent);
        return;
    }
    SetGridFocus();
    Redraw(REDRAW_ALL);
}

int StakkaGrid::BlockBitmapSizeOk(LONG width, LONG height)
{
    // Whole tiles only, at least one, and no more than the tables hold.
    if (width <= 0 || height <= 0 || width % CELL != 0 || height % CELL != 0)
        return 0;
    return (width / CELL) * (height / CELL) <= MAX_BLOCK_IMAGES;
}

int StakkaGrid::CutBlocks(HDC hdc, DWORD across, DWORD down)
{
    // Images are numbered row by row: image k is the tile at column
    // k mod across, row k div across. nblocks counts what was made, so the
    // destructor releases exactly that.
    hblocks = across;
    vblocks = down;
    HDC scratch = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(scratch, bmBlocks);
    for (DWORD r = 0; r < vblocks; r++) {
        for (DWORD c = 0; c < hblocks; c++) {
            DWORD k = nblocks;
            blockbm[k] = CreateCompatibleBitmap(hdc, CELL, CELL);
            blocks[k] = new (std::nothrow) Image(blockbm[k], hdc);
            if (!blocks[k]) {
                DeleteObject(blockbm[k]);
                blockbm[k] = NULL;
                SelectObject(scratch, old);
                DeleteDC(scratch);
                return 0;
            }
            blocks[k]->BlitFrom(0, 0, scratch, (int)(CELL * c), (int)(CELL * r), CELL, CELL);
            nblocks = k + 1;
        }
    }
    SelectObject(scratch, old);
    DeleteDC(scratch);
    return 1;
}

StakkaGrid::~StakkaGrid()
{
    // An image holds its bitmap selected into its own surface: the image
    // goes first, then the bitmap.
    for (DWORD k = 0; k < nblocks && k < (DWORD)MAX_BLOCK_IMAGES; k++) {
        delete blocks[k];
        blocks[k] = NULL;
        if (blockbm[k])
            DeleteObject(blockbm[k]);
        blockbm[k] = NULL;
    }
    nblocks = 0;
    delete backgrnd;
    backgrnd = NULL;
    if (bmBlocks)
        DeleteObject(bmBlocks);
    bmBlocks = NULL;
    // The surface goes before its bitmap, which is selected into it.
    if (hdcField)
        DeleteDC(hdcField);
    hdcField = NULL;
    if (hbm)
        DeleteObject(hbm);
    hbm = NULL;
    if (font)
        DeleteObject(font);
    font = NULL;
    delete pActiveTetrad;
    pActiveTetrad = NULL;
    delete pNextTetrad;
    pNextTetrad = NULL;
}

// ---------------------------------------------------------------------------
// Composing the well
// ---------------------------------------------------------------------------

Image* StakkaGrid::BlockImage(int color)
{
    // The scheme is stored data: an entry naming no image we have gets no
    // image, and the caller draws a plain cell instead.
    if (color < 0 || color >= TETRAD_TYPES)
        return NULL;
    DWORD n = go->bs.blocks[color];
    if (n >= nblocks || n >= (DWORD)MAX_BLOCK_IMAGES)
        return NULL;
    return blocks[n];
}

void StakkaGrid::DrawCell(HDC hdc, int x, int y, int color)
{
    Image* image = BlockImage(color);
    if (image)
        image->Blit(hdc, x, y);
    else
        PatBlt(hdc, x, y, CELL, CELL, BLACKNESS);
}

void StakkaGrid::Redraw(int line)
{
    int top, bottom;
    if (line == REDRAW_ALL) {
        top = 0;
        bottom = WELL_ROWS - 1;
    } else if (line >= 0 && line < WELL_ROWS) {
        // A band is two rows; the second of row 21's band lies below the
        // well and only widens the invalidated strip.
        top = line;
        bottom = line + 1;
    } else {
        return;
    }
    if (!hdcField)
        return; // construction stopped before the surface existed

    if (paused || banner) {
        DrawPauseScreen();
        if (hwndGrid)
            InvalidateRect(hwndGrid, NULL, FALSE);
        return;
    }

    // Background, grid, cells, piece: later layers cover earlier ones, so
    // blocks hide the grid lines.
    if (backgrnd)
        backgrnd->BlitRect(hdcField, 0, CELL * top, WELL_WIDTH, CELL * (bottom - top + 1));

    if (go->drawGrid) {
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
        HGDIOBJ oldPen = SelectObject(hdcField, pen);
        for (int x = CELL; x < WELL_WIDTH; x += CELL) {
            MoveToEx(hdcField, x, CELL * top, NULL);
            LineTo(hdcField, x, CELL * (bottom + 1));
        }
        for (int row = top; row <= bottom; row++) {
            MoveToEx(hdcField, 0, CELL * row, NULL);
            LineTo(hdcField, WELL_WIDTH, CELL * row);
        }
        SelectObject(hdcField, oldPen);
        DeleteObject(pen);
    }

    for (int y = top; y <= bottom && y < WELL_ROWS; y++) {
        for (int x = 0; x < WELL_COLS; x++) {
            int v = field[x][y];
            if (v == 0)
                continue;
            // Settled values are 1..7; anything else has no colour and is
            // drawn as a plain cell.
            int color = (v >= SETTLED_MIN && v <= SETTLED_MAX) ? v - 1 : -1;
            Image* risen = (v == RISING_CELL && hooks) ? hooks->RisingBlock() : NULL;
            if (risen)
                risen->Blit(hdcField, CELL * x, CELL * y);
            else
                DrawCell(hdcField, CELL * x, CELL * y, color);
        }
    }

    // The whole piece, even outside the band: a band redraw restores the
    // background under the piece's rows only, so drawing it whole is
    // harmless and keeps every cell of it on show.
    if (pActiveTetrad) {
        const Tetrad* t = pActiveTetrad;
        for (int i = 0; i < TETRAD_CELLS; i++)
            DrawCell(hdcField, CELL * (int)(t->pos.x + t->blocks[i].x),
                     CELL * (int)(t->pos.y + t->blocks[i].y), t->color);
    }

    if (hwndGrid) {
        RECT band = {0, CELL * top, WELL_WIDTH, CELL * (bottom + 1)};
        InvalidateRect(hwndGrid, &band, FALSE);
    }
}

void StakkaGrid::DrawPauseScreen()
{
    // White with the surface's own default black pen for the frame.
    HGDIOBJ oldBrush = SelectObject(hdcField, GetStockObject(WHITE_BRUSH));
    Rectangle(hdcField, 0, 0, WELL_WIDTH, WELL_HEIGHT);
    SelectObject(hdcField, oldBrush);

    HFONT pauseFont = CreateFontA(PAUSE_FONT_HEIGHT, PAUSE_FONT_WIDTH, 0, 0, PAUSE_FONT_WEIGHT,
                                  FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_SWISS | DEFAULT_PITCH,
                                  PANEL_FONT_FACE);
    HGDIOBJ oldFont = SelectObject(hdcField, pauseFont);
    UINT oldAlign = SetTextAlign(hdcField, TA_CENTER | TA_TOP);
    COLORREF oldColor = SetTextColor(hdcField, RGB(0, 0, 0));
    // A match result takes the pause screen's place, unless the match is paused.
    const char* text = (paused || !banner) ? PAUSE_TEXT : banner;
    TextOutA(hdcField, PAUSE_TEXT_X, PAUSE_TEXT_Y, text, lstrlenA(text));
    SetTextColor(hdcField, oldColor);
    SetTextAlign(hdcField, oldAlign);
    SelectObject(hdcField, oldFont);
    DeleteObject(pauseFont);
}

void StakkaGrid::Draw(HDC hdc)
{
    if (hdcField)
        BitBlt(hdc, 0, 0, WELL_WIDTH, WELL_HEIGHT, hdcField, 0, 0, SRCCOPY);
}

void StakkaGrid::RepaintNext()
{
    if (hwndNext)
        InvalidateRect(hwndNext, NULL, TRUE);
}

void StakkaGrid::RepaintScore()
{
    if (hwndScore)
        InvalidateRect(hwndScore, NULL, TRUE);
}

// ---------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------

int StakkaGrid::ToggleGrid()
{
    go->drawGrid = go->drawGrid ? 0 : 1;
    Redraw(REDRAW_ALL);
    return go->drawGrid;
}

int StakkaGrid::TogglePreview()
{
    go->preview = go->preview ? 0 : 1;
    RepaintNext();
    return go->preview;
}

void StakkaGrid::UpdateGfxOptions()
{
    // The background is the one picture built ahead; everything else is
    // read from the options at each drawing. Building may show an error box
    // whose modal loop repaints the well (WM_PAINT, WM_SETFOCUS) and may
    // come back here: the old picture stays until the new one is whole, and
    // a rebuild asked for meanwhile is done once this one is.
    static REBUILD rebuild;
    RebuildBackground(rebuild, backgrnd, hwndParent, hDll, opt->go.bg);
    Redraw(REDRAW_ALL);
    RepaintNext();
}

void StakkaGrid::SetupGfxOptionData(GFXOPTIONSDATA& god)
{
    DWORD n = nblocks < (DWORD)MAX_BLOCK_IMAGES ? nblocks : (DWORD)MAX_BLOCK_IMAGES;
    for (DWORD k = 0; k < n; k++)
        god.blocks[k] = blocks[k];
    god.pgo = &opt->go;
    god.nblocks = (int)n;
}

void StakkaGrid::SetGridFocus()
{
    if (hwndGrid)
        SetFocus(hwndGrid);
    Redraw(REDRAW_ALL);
}

// ---------------------------------------------------------------------------
// The four panels. There is one playfield per process, so each handler keeps
// what it was given at WM_CREATE in function-level statics.
// ---------------------------------------------------------------------------

namespace {

StakkaGrid* GridFromCreate(LPARAM lParam)
{
    const CREATESTRUCTA* cs = (const CREATESTRUCTA*)lParam;
    return (StakkaGrid*)cs->lpCreateParams;
}

void PaintGrid(HWND hwnd, StakkaGrid* grid)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (grid)
        grid->Draw(hdc);
    EndPaint(hwnd, &ps);
}

// WM_PRINTCLIENT draws what WM_PAINT would, into the given surface: the
// same drawing function serves both, so printing and screen never differ.
void EraseForPrint(HWND hwnd, HDC hdc, LPARAM flags)
{
    if (!(flags & PRF_ERASEBKGND))
        return;
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(hdc, &r, (HBRUSH)GetClassLongPtrA(hwnd, GCLP_HBRBACKGROUND));
}

} // namespace

LRESULT CALLBACK GridWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static StakkaGrid* grid;
    static OPTIONS* opt;

    switch (msg) {
    case WM_CREATE:
        grid = GridFromCreate(lParam);
        opt = grid ? grid->opt : NULL;
        return 0;
    case WM_KEYDOWN:
        // The bindings are read at every key, so a rebinding acts at once.
        if (grid && opt)
            grid->KeyDown((UINT)wParam, opt->co.keys);
        return 0;
    case WM_KEYUP:
        if (grid && opt)
            grid->KeyUp((UINT)wParam, opt->co.keys);
        return 0;
    case WM_PAINT:
        PaintGrid(hwnd, grid);
        return 0;
    case WM_PRINTCLIENT:
        if (grid)
            grid->Draw((HDC)wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

namespace {

struct NextPanel {
    StakkaGrid* grid;
    GRAPHICSOPTIONS* go;
    RECT rect;
    int xpos;
    HPEN hRedPen;
};

void CreateNextPanel(HWND hwnd, NextPanel& p, LPARAM lParam)
{
    p.grid = GridFromCreate(lParam);
    p.go = p.grid ? &p.grid->opt->go : NULL;
    GetClientRect(hwnd, &p.rect);
    // The label is placed by the width of the window's own default font.
    TEXTMETRICA tm;
    memset(&tm, 0, sizeof tm);
    HDC hdc = GetDC(hwnd);
    GetTextMetricsA(hdc, &tm);
    ReleaseDC(hwnd, hdc);
    p.xpos = p.rect.right / 2 - 2 * tm.tmAveCharWidth;
    if (p.hRedPen)
        DeleteObject(p.hRedPen);
    p.hRedPen = CreatePen(PS_SOLID, NEXT_FRAME_PEN, NEXT_FRAME_COLOR);
}

void DrawNextPanel(HDC hdc, const NextPanel& p)
{
    HGDIOBJ oldPen = SelectObject(hdc, p.hRedPen);
    HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(HOLLOW_BRUSH));
    RoundRect(hdc, p.rect.left + NEXT_FRAME_INSET, p.rect.top + NEXT_FRAME_INSET,
              p.rect.right - NEXT_FRAME_INSET, p.rect.bottom - NEXT_FRAME_INSET,
              NEXT_FRAME_CORNER, NEXT_FRAME_CORNER);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);

    SetTextAlign(hdc, TA_LEFT | TA_TOP);
    TextOutA(hdc, p.xpos, NEXT_LABEL_Y, NEXT_LABEL, (int)(sizeof NEXT_LABEL - 1));

    // Only the cell offsets place the piece: its position in the well means
    // nothing here.
    if (p.grid && p.go && p.go->preview && p.grid->pNextTetrad) {
        const Tetrad* t = p.grid->pNextTetrad;
        for (int i = 0; i < TETRAD_CELLS; i++)
            p.grid->DrawCell(hdc, CELL * (int)(t->blocks[i].x + NEXT_PIECE_COL),
                             CELL * (int)(t->blocks[i].y + NEXT_PIECE_ROW), t->color);
    }
}

void PaintNextPanel(HWND hwnd, const NextPanel& p)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    DrawNextPanel(hdc, p);
    EndPaint(hwnd, &ps);
}

} // namespace

LRESULT CALLBACK NextWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static NextPanel panel;

    switch (msg) {
    case WM_CREATE:
        CreateNextPanel(hwnd, panel, lParam);
        return 0;
    case WM_PAINT:
        PaintNextPanel(hwnd, panel);
        return 0;
    case WM_PRINTCLIENT:
        EraseForPrint(hwnd, (HDC)wParam, lParam);
        DrawNextPanel((HDC)wParam, panel);
        return 0;
    case WM_DESTROY:
        if (panel.hRedPen)
            DeleteObject(panel.hRedPen);
        panel.hRedPen = NULL;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

namespace {

void DrawScorePanel(HDC hdc, const StakkaGrid* grid, const RECT& rect)
{
    if (grid) {
        HGDIOBJ oldFont = SelectObject(hdc, grid->font);
        SetTextColor(hdc, SCORE_TEXT_COLOR);
        SetBkColor(hdc, SCORE_BACK_COLOR);
        const int fh = grid->fontheight;
        const int rowY[3] = {SCORE_FIRST_Y, (int)(fh * 1.5 + SCORE_FIRST_Y), fh * 3 + SCORE_FIRST_Y};
        static const char* const labels[3] = {"Lines:", "Level:", "Score:"};
        const DWORD values[3] = {grid->lines, grid->level, grid->score};

        SetTextAlign(hdc, TA_LEFT | TA_TOP);
        for (int i = 0; i < 3; i++)
            TextOutA(hdc, SCORE_LABEL_X, rowY[i], labels[i], lstrlenA(labels[i]));
        SetTextAlign(hdc, TA_RIGHT | TA_TOP);
        char text[16]; // "%lu" of a 32-bit value needs at most 10 digits
        for (int i = 0; i < 3; i++) {
            int n = wsprintfA(text, "%lu", (unsigned long)values[i]);
            TextOutA(hdc, rect.right - SCORE_VALUE_MARGIN, rowY[i], text, n);
        }
        SelectObject(hdc, oldFont);
        SetTextAlign(hdc, TA_LEFT | TA_TOP);
    }
}

void PaintScorePanel(HWND hwnd, const StakkaGrid* grid, const RECT& rect)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    DrawScorePanel(hdc, grid, rect);
    EndPaint(hwnd, &ps);
}

} // namespace

LRESULT CALLBACK ScoreWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static StakkaGrid* grid;
    static RECT rect;

    switch (msg) {
    case WM_CREATE:
        grid = GridFromCreate(lParam);
        GetClientRect(hwnd, &rect);
        return 0;
    case WM_PAINT:
        PaintScorePanel(hwnd, grid, rect);
        return 0;
    case WM_PRINTCLIENT:
        EraseForPrint(hwnd, (HDC)wParam, lParam);
        DrawScorePanel((HDC)wParam, grid, rect);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void StakkaGrid::SetStatsView(PanelPainter* view)
{
    statsView = view;
    if (hwndStats)
        InvalidateRect(hwndStats, NULL, TRUE);
}

LRESULT CALLBACK StatsWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Single play shows the black class brush only (the per-shape counts
    // are kept by the rules but not shown); two-player play paints a view.
    static StakkaGrid* grid;

    switch (msg) {
    case WM_CREATE:
        grid = GridFromCreate(lParam);
        return 0;
    case WM_ERASEBKGND:
        if (grid && grid->statsView)
            return 1; // the view covers the whole panel
        break;
    case WM_PAINT:
        if (grid && grid->statsView) {
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(hwnd, &ps);
            grid->statsView->PaintPanel(hdc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        break;
    case WM_PRINTCLIENT:
        if (grid && grid->statsView) {
            grid->statsView->PaintPanel((HDC)wParam);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

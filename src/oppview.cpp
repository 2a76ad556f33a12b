// oppview.cpp - the opponent's view in the "Stats" panel.
#include "oppview.h"

#include <stdio.h>

#include "image.h"

namespace
{

const int STATS_LINE = 12; // text line pitch of the panel
const int STATS_TEXT_X = 6;
const int OPP_INFO_X = OPP_X + WELL_COLS * OPP_CELL + 10;
const COLORREF STATS_TEXT = RGB(255, 255, 255);
const COLORREF OPP_FRAME = RGB(128, 128, 128);

void FillCell(HDC hdc, int x, int y)
{
    RECT c = {OPP_X + x * OPP_CELL, OPP_Y + y * OPP_CELL, OPP_X + (x + 1) * OPP_CELL,
              OPP_Y + (y + 1) * OPP_CELL};
    ExtTextOutA(hdc, 0, 0, ETO_OPAQUE, &c, NULL, 0, NULL);
}

} // namespace

OpponentView::OpponentView()
    : grid(NULL), rising(NULL), name("Opponent"), detail(NULL), hdc(NULL), hbm(NULL), oldBm(NULL)
{
}

void OpponentView::SetTitle(const char* n, const char* d)
{
    name = n ? n : "Opponent";
    detail = d;
}

OpponentView::~OpponentView()
{
    // The grid may be gone by now; End() gave the panel back before that.
    if (hdc)
        SelectObject(hdc, oldBm);
    Done();
}

void OpponentView::Begin(StakkaGrid* g, Image* risingImage)
{
    rising = risingImage;
    if (hdc || !g || !g->hwndStats)
        return;
    grid = g;
    HDC screen = GetDC(g->hwndStats);
    hdc = CreateCompatibleDC(screen);
    hbm = CreateCompatibleBitmap(screen, STATS_WIDTH, STATS_HEIGHT);
    ReleaseDC(g->hwndStats, screen);
    if (!hdc || !hbm) {
        Done();
        return; // the panel stays black
    }
    oldBm = SelectObject(hdc, hbm);
    Clear();
    grid->SetStatsView(this);
}

void OpponentView::End()
{
    if (!hdc)
        return;
    if (grid->statsView == this)
        grid->SetStatsView(NULL);
    SelectObject(hdc, oldBm);
    Done();
}

void OpponentView::Done()
{
    if (hdc)
        DeleteDC(hdc);
    if (hbm)
        DeleteObject(hbm);
    hdc = NULL;
    hbm = NULL;
}

void OpponentView::Clear()
{
    RECT r = {0, 0, STATS_WIDTH, STATS_HEIGHT};
    FillRect(hdc, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    SetTextColor(hdc, STATS_TEXT);
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_LEFT | TA_TOP);
}

void OpponentView::ShowText(const char* const lines[], int n)
{
    if (!hdc)
        return;
    Clear();
    HGDIOBJ oldFont = SelectObject(hdc, grid->font);
    for (int i = 0; i < n && i < OPP_MAX_LINES; i++)
        TextOutA(hdc, STATS_TEXT_X, OPP_Y + STATS_LINE * i, lines[i], lstrlenA(lines[i]));
    SelectObject(hdc, oldFont);
    InvalidateRect(grid->hwndStats, NULL, FALSE);
}

void OpponentView::ShowBoard(const MATCHBOARD& board)
{
    if (!hdc)
        return;
    // The centre pixel of each block picture stands for it at 5 px.
    COLORREF colors[RISING_CELL + 1];
    colors[0] = RGB(0, 0, 0);
    for (int v = 1; v <= RISING_CELL; v++) {
        Image* im = v == RISING_CELL ? rising : grid->BlockImage(v - 1);
        colors[v] = im ? GetPixel(im->hdcImage, CELL / 2, CELL / 2) : OPP_FRAME;
        if (colors[v] == CLR_INVALID)
            colors[v] = OPP_FRAME;
    }
    Clear();
    HGDIOBJ oldFont = SelectObject(hdc, grid->font);
    DrawOpponentBoard(hdc, board, colors, name, detail);
    SelectObject(hdc, oldFont);
    InvalidateRect(grid->hwndStats, NULL, FALSE);
}

void OpponentView::PaintPanel(HDC target)
{
    if (hdc)
        BitBlt(target, 0, 0, STATS_WIDTH, STATS_HEIGHT, hdc, 0, 0, SRCCOPY);
}

void DrawOpponentBoard(HDC hdc, const MATCHBOARD& b, const COLORREF colors[RISING_CELL + 1],
                       const char* name, const char* detail)
{
    // A grey frame, the cells, then the falling piece over them.
    HBRUSH frame = CreateSolidBrush(OPP_FRAME);
    RECT r = {OPP_X - 1, OPP_Y - 1, OPP_X + WELL_COLS * OPP_CELL + 1,
              OPP_Y + WELL_ROWS * OPP_CELL + 1};
    FrameRect(hdc, &r, frame);
    DeleteObject(frame);
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int v = b.cells[x][y];
            if (v < 1 || v > RISING_CELL)
                continue;
            SetBkColor(hdc, colors[v]);
            FillCell(hdc, x, y);
        }
    if (b.pieceColor < TETRAD_TYPES) {
        SetBkColor(hdc, colors[b.pieceColor + 1]);
        for (int k = 0; k < TETRAD_CELLS; k++)
            if (b.px[k] < WELL_COLS && b.py[k] < WELL_ROWS)
                FillCell(hdc, b.px[k], b.py[k]);
    }
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, STATS_TEXT);
    TextOutA(hdc, OPP_INFO_X, OPP_Y, name, lstrlenA(name));
    if (detail)
        TextOutA(hdc, OPP_INFO_X, OPP_Y + STATS_LINE, detail, lstrlenA(detail));
    TextOutA(hdc, OPP_INFO_X, OPP_Y + 2 * STATS_LINE, "Score:", 6);
    char text[16];
    int n = snprintf(text, sizeof text, "%lu", (unsigned long)b.score);
    TextOutA(hdc, OPP_INFO_X, OPP_Y + 3 * STATS_LINE, text, n);
}

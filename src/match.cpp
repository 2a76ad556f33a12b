// match.cpp - the rules of a two-player match on this side.
#include "match.h"

#include <string.h>

#include "tetrad.h"

namespace
{

const char TEXT_WIN[] = "YOU WIN";
const char TEXT_LOSE[] = "YOU LOSE";

} // namespace

DWORD MatchRandom(DWORD* state)
{
    // xorshift32: the same numbers on both machines, whatever their C library.
    DWORD x = *state ? *state : 1;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x >> 8;
}

int MatchRowsToSend(int cleared)
{
    switch (cleared) {
    case 2:
        return 1;
    case 3:
        return 2;
    case 4:
        return 4;
    default:
        return 0;
    }
}

DWORD MatchHoleSeed(DWORD seed)
{
    // Holes need not agree between the sides; a different stream from the
    // pieces keeps them from following the piece sequence.
    return (seed * 2654435761u) ^ 0x5BD1E995u;
}

void MatchSnapshot(const StakkaGrid& g, MATCHBOARD* b)
{
    memset(b, 0, sizeof *b);
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++) {
            int v = g.field[x][y];
            b->cells[x][y] = (BYTE)(v >= 0 && v <= RISING_CELL ? v : 0);
        }
    b->pieceColor = MATCH_NO_PIECE;
    const Tetrad* t = g.pActiveTetrad;
    if (t && g.active && t->color >= 0 && t->color < TETRAD_TYPES) {
        int inside = 1;
        for (int k = 0; k < TETRAD_CELLS; k++) {
            LONG x = t->pos.x + t->blocks[k].x;
            LONG y = t->pos.y + t->blocks[k].y;
            if (x < 0 || x >= WELL_COLS || y < 0 || y >= WELL_ROWS)
                inside = 0;
            b->px[k] = (BYTE)x;
            b->py[k] = (BYTE)y;
        }
        if (inside) {
            b->pieceColor = (BYTE)t->color;
        } else { // a piece partly above the well is shown as none
            memset(b->px, 0, sizeof b->px);
            memset(b->py, 0, sizeof b->py);
        }
    }
    b->score = g.score;
}

Match::Match()
    : grid(NULL), hwnd(NULL), opponent(NULL), rising(NULL), running(0), wellsShared(0),
      pieceRng(1), holeRng(1), nrise(0), sentValid(0)
{
    memset(rise, 0, sizeof rise);
    memset(&sent, 0, sizeof sent);
}

void Match::Init(HWND window, Image* risingImage)
{
    hwnd = window;
    rising = risingImage;
}

void Match::SetOpponent(Opponent* o)
{
    opponent = o;
    wellsShared = 0;
    sentValid = 0;
}

int Match::NewGame()
{
    if (!opponent) {
        // Single play as ever: no match rules, no result left over.
        Leave();
        return 0;
    }
    if (!opponent->Present())
        return 1; // nobody to play against yet
    if (opponent->Deals())
        Deal();
    else
        opponent->RequestStart();
    return 1;
}

void Match::Deal()
{
    LARGE_INTEGER pc;
    QueryPerformanceCounter(&pc);
    DWORD seed = GetTickCount() ^ pc.LowPart ^ ((DWORD)pc.HighPart * 2654435761u);
    if (seed == 0)
        seed = 1;
    if (opponent->Start(seed))
        Begin(seed);
}

void Match::Begin(DWORD seed)
{
    pieceRng = seed;
    holeRng = MatchHoleSeed(seed);
    nrise = 0;
    running = 1;
    wellsShared = 1;
    sentValid = 0;
    grid->StartMatchGame(this);
    if (hwnd)
        SendMessageA(hwnd, WM_MATCHSTARTED, 0, 0);
}

void Match::End(MATCHEND why)
{
    if (!running || !grid)
        return;
    // First, so that whatever the messages below set off finds it ended.
    running = 0;
    nrise = 0;
    int wasActive = grid->Active();
    switch (why) {
    case MATCH_LOST:
        grid->EndMatchGame(TEXT_LOSE);
        if (opponent)
            opponent->ToppedOut();
        break;
    case MATCH_WON:
        grid->EndMatchGame(TEXT_WIN);
        break;
    case MATCH_STOPPED_HERE:
        grid->EndMatchGame(NULL);
        if (opponent)
            opponent->Stopped();
        break;
    case MATCH_STOPPED_THERE:
        grid->EndMatchGame(NULL);
        break;
    }
    // A game ended from a landing is reported by the main loop itself; a
    // second report finds the menu already put back.
    if (wasActive && hwnd)
        SendMessageA(hwnd, WM_GAMEENDED, 0, 0);
}

void Match::Leave()
{
    if (grid)
        grid->LeaveMatch(this);
}

void Match::Paused()
{
    if (running && opponent)
        opponent->Paused(grid->paused);
}

void Match::Stopped()
{
    End(MATCH_STOPPED_HERE);
}

void Match::AfterStep()
{
    if (!wellsShared || !opponent || !grid)
        return;
    MATCHBOARD b;
    MatchSnapshot(*grid, &b);
    if (sentValid && memcmp(&b, &sent, sizeof b) == 0)
        return;
    if (opponent->Board(b)) {
        sent = b;
        sentValid = 1;
    }
}

void Match::OnStartRequest()
{
    if (opponent && opponent->Deals() && !grid->Active())
        Deal();
}

void Match::OnStart(DWORD seed)
{
    if (seed)
        Begin(seed);
}

void Match::OnRows(int count)
{
    // Rows that arrive after this side's match ended are dropped; batches
    // beyond the queue join the last one (they top the player out anyway).
    if (!running || count <= 0)
        return;
    if (nrise < MATCH_MAX_RISE_BATCHES)
        rise[nrise++] = count;
    else if (rise[nrise - 1] < WELL_ROWS)
        rise[nrise - 1] += count;
}

void Match::OnToppedOut()
{
    End(MATCH_WON);
}

void Match::OnPause(int paused)
{
    if (running && grid->paused != paused)
        grid->TogglePause();
}

void Match::OnStop()
{
    End(MATCH_STOPPED_THERE);
}

void Match::OnGone()
{
    // The one left behind wins the match that was running.
    End(MATCH_WON);
}

int Match::NextPieceType()
{
    return (int)(MatchRandom(&pieceRng) % TETRAD_TYPES);
}

void Match::Landed(StakkaGrid* g, int cleared)
{
    if (!running)
        return;
    int count = MatchRowsToSend(cleared);
    if (count && opponent)
        opponent->Rows(count);
    // Taken first: a top-out below ends the match from inside this loop.
    int batches[MATCH_MAX_RISE_BATCHES];
    int n = nrise;
    memcpy(batches, rise, sizeof batches);
    nrise = 0;
    for (int i = 0; i < n && running; i++)
        if (g->RaiseRows(batches[i], (int)(MatchRandom(&holeRng) % WELL_COLS)))
            break;
}

void Match::ToppedOut(StakkaGrid*)
{
    End(MATCH_LOST);
}

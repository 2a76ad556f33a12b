// match.h - a two-player match on this side, whoever the other player is.
//
// The rules are the same against any opponent: New Game starts both wells
// fresh with the same pieces from a shared seed; 2, 3 or 4 rows cleared at
// once rise under the other well as 1, 2 or 4 rows, each batch with one
// hole; the first to top out loses and both wells show "YOU WIN" or
// "YOU LOSE"; Pause and Stop act on both; New Game then starts the next.
//
// `Match` keeps these rules for this side's playfield. It reaches the
// other player only through the `Opponent` interface below, and the other
// player reaches it only through the Match's On...() calls, so the same
// match serves a player over the network and a player in this program.
#ifndef MATCH_H
#define MATCH_H

#include <windows.h>

#include "grid.h"

// Private messages of the main window, sent (not posted) by the match.
#define WM_MATCHSTARTED (WM_USER + 41) // a match began: music and the Stop Game item
// WM_GAMEENDED (stkdefs.h) follows a match that ended while its game ran.

enum {
    MATCH_NO_PIECE = 0xFF,     // MATCHBOARD::pieceColor when no piece falls
    MATCH_MAX_RISE_BATCHES = 16 // batches waiting for this side's next landing
};

// One player's well as the other player sees it.
struct MATCHBOARD {
    BYTE cells[WELL_COLS][WELL_ROWS]; // 0 empty, 1..7 colour + 1, RISING_CELL
    BYTE pieceColor;                  // 0..6, or MATCH_NO_PIECE
    BYTE px[TETRAD_CELLS];            // falling piece cells, inside the well;
    BYTE py[TETRAD_CELLS];            // all 0 when there is no piece
    DWORD score;
};

// ---- Rules shared by every kind of match --------------------------------
// The match's own generator (not rand(): single play keeps that one); the
// same numbers on every machine.
DWORD MatchRandom(DWORD* state);
// Rows sent to the opponent for rows cleared at once: 2 -> 1, 3 -> 2, 4 -> 4.
int MatchRowsToSend(int cleared);
// The first hole generator state of a match from its seed.
DWORD MatchHoleSeed(DWORD seed);
// This side's well, falling piece (none while partly above the well) and score.
void MatchSnapshot(const StakkaGrid& grid, MATCHBOARD* board);

// What the match tells the other player. Calls come on the window thread,
// from within Match calls; an opponent may call back into the match (a
// failed send that loses the other player calls OnGone()).
class Opponent {
public:
    // 1 when a match can start now (the other player is there).
    virtual int Present() = 0;
    // 1 when this side deals: New Game here starts the match at once with
    // a seed of its own; otherwise New Game asks with RequestStart() and
    // the dealer answers with the start (Match::OnStart).
    virtual int Deals() = 0;
    virtual void RequestStart() = 0;
    // A match starts from `seed` (never 0) on both sides; 0 when the other
    // player could not be told, and then nothing starts here either.
    virtual int Start(DWORD seed) = 0;
    // `count` (1, 2 or 4) rows are to rise under the other well.
    virtual void Rows(int count) = 0;
    // This side topped out: the other player wins.
    virtual void ToppedOut() = 0;
    // This side's pause state after Pause; the other side mirrors it.
    virtual void Paused(int paused) = 0;
    // Stop Game (or leaving the match) here: the match ends on both.
    virtual void Stopped() = 0;
    // This side's well changed; 1 when it was passed on (else it is offered again).
    virtual int Board(const MATCHBOARD& board) = 0;

protected:
    ~Opponent() {}
};

// Why a match ended; Match::End() is the one way out.
enum MATCHEND {
    MATCH_LOST,          // this side topped out
    MATCH_WON,           // the other side topped out, or left during the match
    MATCH_STOPPED_HERE,  // Stop Game or Single Player here
    MATCH_STOPPED_THERE  // the other side stopped
};

class Match : public GridHooks {
public:
    Match();
    // hwnd receives WM_MATCHSTARTED and WM_GAMEENDED; rising is the
    // picture of risen cells (may be null; not owned).
    void Init(HWND hwnd, Image* rising);
    // The playfield; the shell passes it before every call.
    void SetGrid(StakkaGrid* grid) { this->grid = grid; }
    // The other player, or null for single play. A new opponent starts
    // with no well shared yet.
    void SetOpponent(Opponent* opponent);
    void SetRisingImage(Image* image) { rising = image; }

    // ---- This side's commands ----
    // New Game while no game runs: 1 when the match takes it over (it
    // starts a match or asks for one), 0 for single play.
    int NewGame();
    // Single play again: the playfield forgets the match and its result.
    void Leave();
    // Pause and Stop Game were applied to the playfield.
    void Paused();
    void Stopped();
    // After every pass of the main loop: offers this side's well when it changed.
    void AfterStep();

    // ---- What the other player did ----
    void OnStartRequest();       // the other side chose New Game; a dealer starts
    void OnStart(DWORD seed);    // a match starts from seed
    void OnRows(int count);      // rows to rise at this side's next landing
    void OnToppedOut();          // this side wins
    void OnPause(int paused);
    void OnStop();
    void OnGone();               // the other player left: a running match is won

    // Ends the running match (nothing when none runs): tells the other
    // player what it must know, shows the result, and puts the main
    // window's menu and music back when the game was running.
    void End(MATCHEND why);

    int Running() const { return running; }
    // A match has begun with the current opponent: wells are shown.
    int WellsShared() const { return wellsShared; }

    // GridHooks
    int NextPieceType() override;
    void Landed(StakkaGrid* g, int cleared) override;
    void ToppedOut(StakkaGrid* g) override;
    Image* RisingBlock() override { return rising; }

private:
    void Deal();
    void Begin(DWORD seed);

    StakkaGrid* grid;
    HWND hwnd;
    Opponent* opponent;
    Image* rising;
    int running;
    int wellsShared;
    DWORD pieceRng;
    DWORD holeRng;
    int rise[MATCH_MAX_RISE_BATCHES];
    int nrise;
    MATCHBOARD sent;
    int sentValid;
};

#endif // MATCH_H

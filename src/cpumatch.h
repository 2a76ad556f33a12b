// cpumatch.h - the computer as the other player of a match, without windows.
//
// A CpuSide is a whole player inside this program: a windowless playfield,
// its own side of the match (the same Match rules a network player's side
// keeps) and the computer's hands on it. Sides reach each other only through
// MatchLink, an Opponent that hands every call straight to the peer side's
// Match, so a match against the computer is the network match without the
// wire. Everything runs on the caller's thread when it calls Step().
#ifndef CPUMATCH_H
#define CPUMATCH_H

#include <windows.h>

#include "cpuplayer.h"
#include "grid.h"
#include "match.h"

// Receives the wells a side shows to its opponent.
typedef void (*MATCHBOARDPROC)(void* ctx, const MATCHBOARD& board);

class MatchLink : public Opponent {
public:
    MatchLink() : peer(nullptr), deals(0), boardProc(nullptr), boardCtx(nullptr) {}
    // peer: the match on the other side; deals: 1 when the near side deals.
    void Join(Match* peerMatch, int nearDeals);
    // The peer side's view of the near side's well (null: not shown).
    void ShowBoardsTo(MATCHBOARDPROC proc, void* ctx);

    int Present() override { return peer != nullptr; }
    int Deals() override { return deals; }
    void RequestStart() override;
    int Start(DWORD seed) override;
    void Rows(int count) override;
    void ToppedOut() override;
    void Paused(int paused) override;
    void Stopped() override;
    int Board(const MATCHBOARD& board) override;

private:
    Match* peer;
    int deals;
    MATCHBOARDPROC boardProc;
    void* boardCtx;
};

class CpuSide {
public:
    CpuSide();
    ~CpuSide();
    // Readies the playfield, this side's match and the hands at a strength.
    void Begin(int strength);
    // Makes this side the opponent of `other` (which deals: its New Game
    // starts both); this side's wells go to proc (may be null).
    void Join(Match* other, MATCHBOARDPROC proc, void* ctx);
    // Runs what is due at `now`: the playfield's frame step, a key press,
    // then offers the well to the other side when it changed.
    void Step(DWORD now);
    // Milliseconds from `now` until Step has something to do; INFINITE
    // while no game runs here or it is paused.
    DWORD DueIn(DWORD now) const;
    int Strength() const { return hands.Strength(); }

    StakkaGrid grid; // windowless
    Match match;
    CpuPlayer hands;

private:
    MatchLink toOther; // this side's opponent
    MatchLink toThis;  // what the other side plays against
    int wasActive;

    CpuSide(const CpuSide&) = delete;
    CpuSide& operator=(const CpuSide&) = delete;
};

#endif // CPUMATCH_H

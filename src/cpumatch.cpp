// cpumatch.cpp - the computer's side of a match and the link between sides.
#include "cpumatch.h"

void MatchLink::Join(Match* peerMatch, int nearDeals)
{
    peer = peerMatch;
    deals = nearDeals;
}

void MatchLink::ShowBoardsTo(MATCHBOARDPROC proc, void* ctx)
{
    boardProc = proc;
    boardCtx = ctx;
}

void MatchLink::RequestStart()
{
    if (peer)
        peer->OnStartRequest();
}

int MatchLink::Start(DWORD seed)
{
    if (!peer)
        return 0;
    peer->OnStart(seed);
    return 1;
}

void MatchLink::Rows(int count)
{
    if (peer)
        peer->OnRows(count);
}

void MatchLink::ToppedOut()
{
    if (peer)
        peer->OnToppedOut();
}

void MatchLink::Paused(int paused)
{
    if (peer)
        peer->OnPause(paused);
}

void MatchLink::Stopped()
{
    if (peer)
        peer->OnStop();
}

int MatchLink::Board(const MATCHBOARD& board)
{
    if (boardProc)
        boardProc(boardCtx, board);
    return 1;
}

CpuSide::CpuSide() : wasActive(0)
{
    match.Init(NULL, nullptr); // no window: nothing to tell a shell
    match.SetGrid(&grid);
}

CpuSide::~CpuSide()
{
    if (grid.hooks == &match)
        grid.hooks = nullptr;
}

void CpuSide::Begin(int strength)
{
    match.SetGrid(&grid);
    hands.Begin(&grid, strength);
    wasActive = 0;
}

void CpuSide::Join(Match* other, MATCHBOARDPROC proc, void* ctx)
{
    toOther.Join(other, 0);
    toOther.ShowBoardsTo(proc, ctx);
    match.SetOpponent(&toOther);
    toThis.Join(&match, 1);
    other->SetOpponent(&toThis);
}

void CpuSide::Step(DWORD now)
{
    int active = grid.Active();
    if (active && !wasActive)
        hands.Begin(&grid, hands.Strength()); // a new game: no plan left over
    wasActive = active;
    if (active) {
        grid.RunFrame();
        hands.Step(now);
    }
    // Also after the end: the other side sees the well as the match left it.
    match.AfterStep();
}

DWORD CpuSide::DueIn(DWORD now) const
{
    if (!grid.active || grid.paused)
        return INFINITE;
    // The frame step was scheduled from curTime; measured from there the
    // tick count's wrap does not matter (see clock.h).
    DWORD elapsed = now - grid.curTime;
    DWORD wait = grid.nextFrame - grid.curTime;
    DWORD frame = elapsed >= wait ? 0 : wait - elapsed;
    DWORD keys = hands.DueIn(now);
    return keys < frame ? keys : frame;
}

// clock.h - the game's one view of time.
//
// Every read of the millisecond tick count goes through StkTickCount(), so
// tests can drive the clock instead of waiting on it.
//
// Tick values are unsigned 32-bit milliseconds and wrap to 0 after about
// 49.7 days, so two tick values can only be compared relative to a common
// earlier moment. StkTimeReached() asks whether `now` has reached `when`
// when both were taken at or after `last`: it compares the time elapsed
// since `last` with the wait that was scheduled from `last`, both as
// unsigned differences, which stay right across the wrap. A plain
// `now >= when` stalls when `when` was computed just before the wrap; a
// signed `(LONG)(now - when) >= 0` stalls for up to 24.8 days when `when`
// is an old value (e.g. 0 before the first game) and the machine has been
// up longer than 2^31 ms.
#ifndef CLOCK_H
#define CLOCK_H

#include <windows.h>

// The tick count now: GetTickCount(), or the driven value in tests.
DWORD StkTickCount(void);

// True (1) when `now` is at or past `when`, where `when` was scheduled as
// `last` + some wait of less than 2^32 ms and `now` was read after `last`.
inline int StkTimeReached(DWORD now, DWORD last, DWORD when)
{
    return (DWORD)(now - last) >= (DWORD)(when - last);
}

// ---- Test hooks ---------------------------------------------------------
// StkClockDrive(1, t) makes StkTickCount() return t until changed;
// StkClockDrive(0, 0) goes back to the system tick count.
void StkClockDrive(int driven, DWORD ticks);
// Moves a driven clock on by ms (wrapping like the real one).
void StkClockAdvance(DWORD ms);
// How many times StkTickCount() has been called since the last reset;
// lets a test see that an idle frame does not even read the clock.
DWORD StkClockReads(void);
void StkClockResetReads(void);

#endif // CLOCK_H

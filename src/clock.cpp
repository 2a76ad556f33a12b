// clock.cpp - the tick-count seam.
#include "clock.h"

namespace {
int clockDriven = 0;
DWORD drivenTicks = 0;
DWORD clockReads = 0;
}

DWORD StkTickCount(void)
{
    clockReads++;
    return clockDriven ? drivenTicks : GetTickCount();
}

void StkClockDrive(int driven, DWORD ticks)
{
    clockDriven = driven ? 1 : 0;
    drivenTicks = ticks;
}

void StkClockAdvance(DWORD ms)
{
    drivenTicks += ms;
}

DWORD StkClockReads(void)
{
    return clockReads;
}

void StkClockResetReads(void)
{
    clockReads = 0;
}

// bench_cpu.cpp - the computer player's benchmark. Prints numbers; judges nothing.
//
//   bench_cpu.exe decide [pieces]
//     Time of one decision (a plan for a new piece) at each strength, over
//     headless games: median, p99 and the slowest, in microseconds.
//   bench_cpu.exe games [games] [cap]
//     Headless games without rising rows, at most `cap` pieces each (10 and
//     10000 by default): lines per game at each strength, and how many games
//     reached the cap.
//   bench_cpu.exe match [matches]
//     Headless matches with rising rows between two strengths on the game's
//     clock, driven ms by ms: wins of each side, 100 per pair by default.
//   bench_cpu.exe try <strength> <games> <cap> <eleven weights>
//     Pieces and lines per headless game with weights of one's own.
//   bench_cpu.exe tune [rounds]
//     A random search around the evaluation's weights by headless play.
//
// A headless game is the playfield without windows: every piece enters, is
// moved by the computer's plan through the playfield's own moves and falls
// to its landing at once (no clock); the choice, not the pace, is measured.
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "clock.h"
#include "cpumatch.h"
#include "cpuplan.h"
#include "cpuplayer.h"
#include "grid.h"
#include "tetrad.h"

namespace {

const char* const kNames[NUM_STRENGTHS] = {"Easy", "Normal", "Hard"};

DWORD NextRandom(DWORD* s)
{
    *s = *s * 1664525u + 1013904223u;
    return *s >> 8;
}

double Micros(const LARGE_INTEGER& a, const LARGE_INTEGER& b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return 1e6 * (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
}

struct GAMERESULT {
    DWORD pieces;
    DWORD lines;
    int capped;
};

// One headless game; decision times (us) are appended to times when given.
// With times, each decision is timed three times over and the first and the
// quickest times kept: on a loaded machine the quickest shows the work, the
// first what the player would have seen.
struct TIMES {
    std::vector<double> first;
    std::vector<double> best;
};

GAMERESULT PlayGame(CpuPlanner& planner, int strength, DWORD seed, DWORD cap, TIMES* times)
{
    StakkaGrid g;
    g.active = 1;
    DWORD rng = seed;
    Tetrad* next = CreateTetrad((int)(NextRandom(&rng) % TETRAD_TYPES));
    GAMERESULT r = {0, 0, 0};
    while (r.pieces < cap) {
        Tetrad* cur = next;
        next = CreateTetrad((int)(NextRandom(&rng) % TETRAD_TYPES));
        g.pActiveTetrad = cur;
        if (g.isTetradBlocked())
            break;
        CPUPLAN plan;
        double best = 1e30;
        for (int run = 0; run < (times ? 3 : 1); run++) {
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            planner.Plan(g.field, *cur, next, strength, &plan);
            QueryPerformanceCounter(&b);
            double us = Micros(a, b);
            if (times && run == 0)
                times->first.push_back(us);
            best = std::min(best, us);
        }
        if (times)
            times->best.push_back(best);
        for (int i = 0; i < plan.count; i++) {
            int m = plan.moves[i];
            if (m == CPU_LEFT || m == CPU_RIGHT)
                g.ShiftTetrad(m == CPU_LEFT ? -1 : 1);
            if (m == CPU_TURN_CW || m == CPU_TURN_CCW)
                g.RotateTetrad(m == CPU_TURN_CW ? 1 : -1);
            if (m == CPU_FALL)
                g.DropTetrad(); // gravity
        }
        for (int fall = 0; fall <= WELL_ROWS && !g.DropTetrad(); fall++) {
        }
        g.pActiveTetrad = nullptr;
        delete cur;
        r.pieces++;
        if (getenv("CPU_TRACE") && r.pieces % 50 == 0) {
            int top = 0;
            while (top < WELL_ROWS && g.isEmptyRow(top))
                top++;
            printf("%u:%d ", (unsigned)r.pieces, WELL_ROWS - top);
        }
    }
    if (getenv("CPU_TRACE")) {
        printf("\nend after %u pieces\n", (unsigned)r.pieces);
        for (int y = 0; y < WELL_ROWS; y++) {
            for (int x = 0; x < WELL_COLS; x++)
                putchar(g.field[x][y] ? '#' : '.');
            putchar('\n');
        }
        if (g.pActiveTetrad == nullptr && next)
            printf("next type %u\n", (unsigned)next->type);
    }
    // The piece that had no room, if the game ended so; the loop let go of the others.
    delete g.pActiveTetrad;
    g.pActiveTetrad = nullptr;
    delete next;
    r.lines = g.lines;
    r.capped = r.pieces >= cap;
    return r;
}

double Percentile(std::vector<double>& v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = (size_t)(p * (double)(v.size() - 1) + 0.5);
    return v[i];
}

void Decide(int pieces)
{
    printf("decision time per piece (us), headless games, %d decisions per strength\n", pieces);
    printf("(first: as timed once; quickest: the best of three runs of the same decision)\n");
    printf("%-8s %12s %12s %12s %14s %14s %8s\n", "strength", "first median", "first p99",
           "first max", "quickest p50", "quickest p99", "n");
    for (int s = 0; s < NUM_STRENGTHS; s++) {
        CpuPlanner planner;
        planner.Seed(7);
        TIMES times;
        DWORD seed = 1;
        while ((int)times.first.size() < pieces)
            PlayGame(planner, s, seed++, (DWORD)(pieces - (int)times.first.size()), &times);
        double med = Percentile(times.first, 0.5);
        double p99 = Percentile(times.first, 0.99);
        double bmed = Percentile(times.best, 0.5);
        double bp99 = Percentile(times.best, 0.99);
        printf("%-8s %12.1f %12.1f %12.1f %14.1f %14.1f %8u\n", kNames[s], med, p99,
               times.first.back(), bmed, bp99, (unsigned)times.first.size());
        fflush(stdout);
    }
}

void Games(int games, DWORD cap)
{
    printf("headless games without rising rows, cap %u pieces, %d games per strength\n",
           (unsigned)cap, games);
    printf("%-8s %10s %10s %10s %10s %8s\n", "strength", "lines avg", "lines min", "lines max",
           "pieces avg", "capped");
    for (int s = 0; s < NUM_STRENGTHS; s++) {
        CpuPlanner planner;
        planner.Seed(11);
        double lines = 0;
        double pieces = 0;
        DWORD lo = 0xFFFFFFFF;
        DWORD hi = 0;
        int capped = 0;
        for (int k = 0; k < games; k++) {
            GAMERESULT r = PlayGame(planner, s, 1000u + (DWORD)k, cap, nullptr);
            lines += r.lines;
            pieces += r.pieces;
            lo = std::min(lo, r.lines);
            hi = std::max(hi, r.lines);
            capped += r.capped;
        }
        printf("%-8s %10.0f %10u %10u %10.0f %5d/%d\n", kNames[s], lines / games, (unsigned)lo,
               (unsigned)hi, pieces / games, capped, games);
        fflush(stdout);
    }
}

// Pieces survived on average by these weights at a strength over a few games.
double Fitness(const CPUWEIGHTS& w, int games, DWORD cap)
{
    CpuPlanner planner;
    planner.SetWeights(w);
    double pieces = 0;
    for (int k = 0; k < games; k++)
        pieces += PlayGame(planner, STRENGTH_NORMAL, 500u + (DWORD)k, cap, nullptr).pieces;
    return pieces / games;
}

void PrintWeights(const CPUWEIGHTS& w)
{
    printf("{%d, %d, %d, %d, %d, %d, %d, {%d, %d, %d, %d, %d}}", w.holes, w.covers, w.height,
           w.bumps, w.wells, w.landing, w.danger, w.lines[0], w.lines[1], w.lines[2], w.lines[3],
           w.lines[4]);
}

void Tune(int rounds)
{
    // Normal's spread makes the games end sooner, so weights are compared on
    // a fixed cap in reasonable time.
    const int games = 4;
    const DWORD cap = 3000;
    CPUWEIGHTS best = CpuPlanner::DefaultWeights();
    double bestFit = Fitness(best, games, cap);
    printf("start %.0f ", bestFit);
    PrintWeights(best);
    printf("\n");
    DWORD rng = 99;
    for (int r = 0; r < rounds; r++) {
        CPUWEIGHTS w = best;
        int* fields[] = {&w.holes, &w.covers, &w.height, &w.bumps, &w.wells,
                         &w.landing, &w.danger, &w.lines[1], &w.lines[2], &w.lines[3],
                         &w.lines[4]};
        int nf = (int)(sizeof fields / sizeof fields[0]);
        for (int k = 0; k < 2; k++) {
            int* f = fields[NextRandom(&rng) % (DWORD)nf];
            int step = *f / 4 ? *f / 4 : 2;
            *f += (NextRandom(&rng) & 1) ? step : -step;
        }
        double fit = Fitness(w, games, cap);
        if (fit > bestFit) {
            best = w;
            bestFit = fit;
        }
        printf("round %d: %.0f (best %.0f) ", r, fit, bestFit);
        PrintWeights(best);
        printf("\n");
        fflush(stdout);
    }
}

// One headless match on the driven clock: 1 when side a wins, 2 when b
// wins, 0 when neither has lost after `limitMs` of game time.
struct MATCHRESULT {
    int winner;
    DWORD ms;
    DWORD piecesA;
    DWORD piecesB;
};

MATCHRESULT PlayMatch(int a, int b, DWORD seed, DWORD limitMs)
{
    CpuSide sideA;
    CpuSide sideB;
    sideA.Begin(a);
    sideB.Begin(b);
    sideA.hands.Seed(seed);
    sideB.hands.Seed(seed * 7 + 1);
    sideB.Join(&sideA.match, nullptr, nullptr);
    DWORD start = 100000;
    DWORD t = start;
    StkClockDrive(1, t);
    sideA.match.NewGame(); // side a deals: both start with the same pieces
    MATCHRESULT r = {0, 0, 0, 0};
    while (sideA.match.Running() && (DWORD)(t - start) < limitMs) {
        sideA.Step(t);
        sideB.Step(t);
        DWORD due = std::min(sideA.DueIn(t), sideB.DueIn(t));
        if (due == INFINITE)
            break;
        t += due ? due : 1;
        StkClockDrive(1, t);
    }
    StkClockDrive(0, 0);
    const char* banner = sideA.grid.banner;
    if (banner && strcmp(banner, "YOU WIN") == 0)
        r.winner = 1;
    if (banner && strcmp(banner, "YOU LOSE") == 0)
        r.winner = 2;
    r.ms = t - start;
    r.piecesA = sideA.hands.Plans();
    r.piecesB = sideB.hands.Plans();
    return r;
}

void BenchMatches(int n)
{
    const DWORD limit = 30u * 60u * 1000u; // half an hour of game time
    printf("headless matches with rising rows on the game's clock, %d per pair\n", n);
    printf("%-16s %8s %8s %8s %14s\n", "pair (a - b)", "a wins", "b wins", "neither",
           "avg minutes");
    const int pairs[][2] = {{STRENGTH_NORMAL, STRENGTH_EASY},
                            {STRENGTH_HARD, STRENGTH_NORMAL},
                            {STRENGTH_HARD, STRENGTH_EASY}};
    for (const auto& p : pairs) {
        int wins[3] = {0, 0, 0};
        double ms = 0;
        for (int k = 0; k < n; k++) {
            MATCHRESULT r = PlayMatch(p[0], p[1], 77u + (DWORD)k, limit);
            wins[r.winner]++;
            ms += r.ms;
        }
        char name[32];
        snprintf(name, sizeof name, "%s - %s", kNames[p[0]], kNames[p[1]]);
        printf("%-16s %8d %8d %8d %14.1f\n", name, wins[1], wins[2], wins[0], ms / n / 60000.0);
        fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "decide";
    int n = argc > 2 ? atoi(argv[2]) : 0;
    if (strcmp(mode, "decide") == 0)
        Decide(n > 0 ? n : 20000);
    else if (strcmp(mode, "games") == 0)
        Games(n > 0 ? n : 10, argc > 3 ? (DWORD)atoi(argv[3]) : 10000u);
    else if (strcmp(mode, "match") == 0)
        BenchMatches(n > 0 ? n : 100);
    else if (strcmp(mode, "try") == 0 && argc >= 16) {
        // try <strength> <games> <cap> and the eleven weights in CPUWEIGHTS order
        CPUWEIGHTS w;
        int* f[] = {&w.holes, &w.covers, &w.height, &w.bumps, &w.wells, &w.landing,
                    &w.danger, &w.lines[1], &w.lines[2], &w.lines[3], &w.lines[4]};
        w.lines[0] = 0;
        for (int i = 0; i < 11; i++)
            *f[i] = atoi(argv[5 + i]);
        CpuPlanner planner;
        planner.SetWeights(w);
        double pieces = 0;
        double lines = 0;
        int games = atoi(argv[3]);
        for (int k = 0; k < games; k++) {
            GAMERESULT r = PlayGame(planner, atoi(argv[2]), 500u + (DWORD)k, (DWORD)atoi(argv[4]),
                                    nullptr);
            pieces += r.pieces;
            lines += r.lines;
        }
        printf("pieces %.0f lines %.0f\n", pieces / games, lines / games);
    } else if (strcmp(mode, "tune") == 0)
        Tune(n > 0 ? n : 40);
    else {
        fprintf(stderr, "usage: bench_cpu decide|games|match|tune [n]\n");
        return 2;
    }
    return 0;
}

// The shared machinery of the FAST searches: the scheme chosen at its boundaries, the C-step
// limits of the final stage for both engines, the lists of ten (order, duplicates, the tenth
// dropping out) and the stages driven with a scripted engine that records every call.
#include "kernels/fast_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kernels/draws.h"
#include "kernels/machine.h"
#include "support/recording_host.h"

namespace robmat {
namespace {

TEST(FastSearch, SchemeAtItsBoundaries) {
  struct Case {
    const char* name;
    long n, k, nrep, nsds, lsds;
    bool subds, enumerate;
    long ntrial, nrep_out;
    int ngrp;
    long nmerged;
  };
  const Case cases[] = {
      {"k = 3, n = 22: all 1540 subsets", 22, 3, 0, 5, 300, false, true, 1540, 1540, 0, 0},
      {"k = 3, n = 23: 500 random", 23, 3, 0, 5, 300, false, false, 500, 500, 0, 0},
      {"k = 1, n = 500: all 500", 500, 1, 0, 5, 300, false, true, 500, 500, 0, 0},
      {"n = 2 lsds - 1: one set", 599, 4, 0, 5, 300, false, false, 500, 500, 0, 0},
      {"n = 2 lsds: two groups", 600, 4, 0, 5, 300, true, false, 0, 500, 2, 600},
      {"n = 1001: three groups", 1001, 4, 0, 5, 300, true, false, 0, 498, 3, 1001},
      {"n = 5001: five groups of lsds", 5001, 4, 0, 5, 300, true, false, 0, 500, 5, 1500},
      {"requested trials above C(n, k)", 30, 2, 1000, 5, 300, false, true, 435, 435, 0, 0},
      {"requested trials below C(n, k)", 3000, 2, 40, 5, 300, false, false, 40, 40, 0, 0},
      {"groups too small for a subset", 40, 14, 0, 5, 20, false, false, 500, 500, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<long> mini(static_cast<size_t>(c.nsds), -1);
    const double alpha = static_cast<double>((c.n + c.k + 1) / 2) / static_cast<double>(c.n);
    const FastScheme sc = fast_scheme(c.n, c.k, c.nrep, c.nsds, c.lsds, alpha, mini.data());
    EXPECT_EQ(sc.subds, c.subds);
    EXPECT_EQ(sc.enumerate, c.enumerate);
    EXPECT_EQ(sc.ntrial, c.ntrial);
    EXPECT_EQ(sc.nrep, c.nrep_out);
    EXPECT_EQ(sc.ngrp, c.ngrp);
    EXPECT_EQ(sc.nmerged, c.nmerged);
  }
}

TEST(FastSearch, FinalStepLimits) {
  struct Case {
    long p, n;
    int base, steps;
  };
  // FAST-LTS (base 15): 13 at p n = 200000, 5 beyond 10^6; FAST-MCD (base 11): 1 beyond.
  const Case cases[] = {{4, 25000, 15, 100},
                        {1, 100001, 15, 14},
                        {2, 100000, 15, 13},
                        {10, 100000, 15, 5},
                        {1, 1000001, 15, 5},
                        {11, 100000, 15, 5},
                        {2, 100000, 11, 9},
                        {1, 1000001, 11, 1},
                        {5, 200000, 11, 1},
                        {3, 33333, 11, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.p) + " x " + std::to_string(c.n) + " base " + std::to_string(c.base));
    EXPECT_EQ(fast_final_steps(c.p, c.n, c.base), c.steps);
  }
}

TEST(FastSearch, ConvergedFinalStageStarts) {
  // n, the default's count (MCD 1 and LTS 3 beyond 5000 cases, 10 below), the converged count.
  const long cases[][3] = {{21, 10, 10},
                           {5000, 10, 10},
                           {5001, 1, 9},
                           {10000, 1, 5},
                           {10000, 3, 5},
                           {50000, 1, 1},
                           {100000, 3, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c[0]) + " base " + std::to_string(c[1]));
    EXPECT_EQ(fast_converge_starts(c[0], static_cast<int>(c[1])), c[2]);
  }
}

TEST(FastSearch, WorkerLanesFollowTheHostsCpusAndTheGroups) {
  struct Case {
    const char* name;
    int64_t cpus;
    long n, nrep, nsds, lsds;
    int threads;
  };
  const Case cases[] = {
      {"one CPU", 1, 3000, 0, 5, 300, 1},
      {"two CPUs, five groups", 2, 3000, 0, 5, 300, 2},
      {"eight CPUs, five groups", 8, 3000, 0, 5, 300, 5},
      {"eight CPUs, three groups", 8, 1000, 0, 5, 300, 3},
      {"eight CPUs, one group", 8, 3000, 0, 1, 300, 1},
      {"one set: no groups", 8, 599, 0, 5, 300, 1},
      {"requested trials: no groups", 8, 3000, 100, 5, 300, 1},
  };
  testing::Recording& rec = testing::install_recording_host();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.cpucount = c.cpus;
    EXPECT_EQ(fast_threads(c.n, c.nrep, c.nsds, c.lsds), c.threads);
  }
  rec.cpucount = 2;
  // All 500 starts in one round while a start's two C-steps are cheap; a tenth of a second of
  // C-steps (1e8 multiply-adds) per round when they are dear; never fewer than 4 per lane.
  EXPECT_EQ(fast_round_slots(300, 10, 2, 2), 500);
  EXPECT_EQ(fast_round_slots(10000, 10, 2, 2), 41);  // 1e8 / (2 * 10000 * 11^2) = 41.3
  EXPECT_EQ(fast_round_slots(100000, 10, 2, 2), 8);
  EXPECT_EQ(fast_round_slots(100000, 10, 5, 4), 16);
}

TEST(FastSearch, ListsKeepTheTenBestOnce) {
  std::vector<double> slots(2 * 10 * 3), crit(20), count(20), trial(20);
  FastLists lists;
  lists.nlist = 2;
  lists.lead = 1;
  lists.body = 2;
  lists.slots = slots.data();
  lists.crit = crit.data();
  lists.trial = trial.data();
  lists.count = count.data();
  fast_lists_clear(&lists);
  EXPECT_TRUE(fast_slot_empty(&lists, 1, 0));
  EXPECT_EQ(crit[0], kDblMax);
  const double lead = 7.0;
  for (int t = 0; t < 12; ++t) {  // criteria 12, 11, ..., 1: each goes first
    const double body[2] = {static_cast<double>(t), 0.5};
    fast_list_insert(&lists, 1, &lead, body, 12.0 - t, t, 100 + t);
  }
  EXPECT_EQ(fast_list_kept(&lists, 1, 10), 10);
  EXPECT_EQ(fast_list_kept(&lists, 0, 10), 0);
  for (int s = 0; s < 10; ++s) {
    EXPECT_EQ(crit[10 + s], 1.0 + s);  // ascending; 12 and 11 dropped out
    EXPECT_EQ(fast_slot(&lists, 1, s)[1], 11.0 - s);
    EXPECT_EQ(trial[10 + s], 11.0 - s);
    EXPECT_EQ(count[10 + s], 111.0 - s);
  }
  // The same solution again is not entered; an equal criterion with another body goes first.
  const double again[2] = {11.0, 0.5};
  fast_list_insert(&lists, 1, &lead, again, 1.0, 99, 0);
  EXPECT_EQ(fast_slot(&lists, 1, 1)[1], 10.0);
  const double other[2] = {11.0, 0.25};
  fast_list_insert(&lists, 1, &lead, other, 1.0, 98, 0);
  EXPECT_EQ(fast_slot(&lists, 1, 0)[2], 0.25);
  EXPECT_EQ(fast_slot(&lists, 1, 1)[2], 0.5);
  EXPECT_EQ(crit[19], 9.0);
  // Above the tenth criterion nothing changes.
  fast_list_insert(&lists, 1, &lead, other, 50.0, 97, 0);
  EXPECT_EQ(crit[19], 9.0);
}

// A scripted engine: every start inserts a solution whose criterion is its trial number in
// the group (or the slot it starts from), and the calls are recorded in order.
struct Script {
  FastSearch fs{};
  FastLists lists;
  std::vector<double> slots, crit, trial, count;
  std::vector<std::string> calls;
  std::vector<long> mini, subdat, comb;
  long useed = 19;
};

void begin(void* ctx, const FastStage& st) {
  static_cast<Script*>(ctx)->calls.push_back(
      "begin " + std::to_string(st.kind) + " " + std::to_string(st.group) + " m " + std::to_string(st.m) +
      " hs " + std::to_string(st.hs) + " limit " + std::to_string(st.limit) + " starts " +
      std::to_string(st.starts));
}

int elemental(void* ctx, const FastStage& st, long t) {
  Script* s = static_cast<Script*>(ctx);
  const double body = static_cast<double>(100 * st.group + t);
  fast_list_insert(&s->lists, st.list, nullptr, &body, static_cast<double>(t), t, 0);
  return 0;
}

int from_slot(void* ctx, const FastStage& st, int l, int slot, long t, bool* first_take) {
  Script* s = static_cast<Script*>(ctx);
  s->calls.push_back("slot " + std::to_string(l) + "." + std::to_string(slot) + " trial " +
                     std::to_string(t) + (*first_take ? " first" : ""));
  *first_take = false;
  if (st.kind == kFastMerged) {
    const double body = fast_slot(&s->lists, l, slot)[0];
    fast_list_insert(&s->lists, st.list, nullptr, &body, s->lists.crit[10 * l + slot] + l, t, 0);
  }
  return st.kind == kFastFinal && t == 2 ? 7 : 0;  // the second final start ends the search
}

TEST(FastSearch, StagesRunInTheirOrder) {
  testing::install_recording_host();  // every start asks the host for interrupts
  Script s;
  const long n = 1000, k = 3, nsds = 5, lsds = 300;
  s.mini.assign(nsds, 0);
  s.fs.scheme = fast_scheme(n, k, 0, nsds, lsds, 0.5, s.mini.data());
  ASSERT_TRUE(s.fs.scheme.subds);
  ASSERT_EQ(s.fs.scheme.ngrp, 3);
  s.subdat.assign(2 * s.fs.scheme.nmerged, -1);
  s.comb.assign(k, 0);
  const int nlist = s.fs.scheme.ngrp + 1;
  s.slots.assign(10 * nlist, 0.0);
  s.crit.assign(10 * nlist, 0.0);
  s.lists.nlist = nlist;
  s.lists.body = 1;
  s.lists.slots = s.slots.data();
  s.lists.crit = s.crit.data();
  fast_lists_clear(&s.lists);
  s.fs.n = n;
  s.fs.k = k;
  s.fs.h = 500;
  s.fs.alpha = 0.5;
  s.fs.merged_limit = 5;
  s.fs.final_limit = 13;
  s.fs.final_starts = 3;
  s.fs.mini = s.mini.data();
  s.fs.subdat = s.subdat.data();
  s.fs.comb = s.comb.data();
  s.fs.useed = &s.useed;
  s.fs.lists = &s.lists;
  s.fs.ctx = &s;
  s.fs.begin = begin;
  s.fs.elemental = elemental;
  s.fs.from_slot = from_slot;
  EXPECT_EQ(fast_stages(&s.fs), 7);
  // The groups partition all cases (ascending, with their group numbers beside).
  for (long i = 0; i < n; ++i) EXPECT_EQ(s.subdat[i], i);
  const std::vector<std::string> expected = {
      "begin 1 0 m 333 hs 166 limit 2 starts 166",
      "begin 1 1 m 334 hs 166 limit 2 starts 166",
      "begin 1 2 m 333 hs 166 limit 2 starts 166",
      "begin 2 -1 m 1000 hs 500 limit 5 starts 30",
      // Ten starts from each group's list, trials counted over the stage.
      "slot 0.0 trial 1",
      "slot 0.1 trial 2",
      "slot 0.2 trial 3",
      "slot 0.3 trial 4",
      "slot 0.4 trial 5",
      "slot 0.5 trial 6",
      "slot 0.6 trial 7",
      "slot 0.7 trial 8",
      "slot 0.8 trial 9",
      "slot 0.9 trial 10",
      "slot 1.0 trial 11",
      "slot 1.1 trial 12",
      "slot 1.2 trial 13",
      "slot 1.3 trial 14",
      "slot 1.4 trial 15",
      "slot 1.5 trial 16",
      "slot 1.6 trial 17",
      "slot 1.7 trial 18",
      "slot 1.8 trial 19",
      "slot 1.9 trial 20",
      "slot 2.0 trial 21",
      "slot 2.1 trial 22",
      "slot 2.2 trial 23",
      "slot 2.3 trial 24",
      "slot 2.4 trial 25",
      "slot 2.5 trial 26",
      "slot 2.6 trial 27",
      "slot 2.7 trial 28",
      "slot 2.8 trial 29",
      "slot 2.9 trial 30",
      // The final stage starts from the merged list, and a nonzero status ends the search.
      "begin 3 -2 m 1000 hs 500 limit 13 starts 3",
      "slot 3.0 trial 1",
      "slot 3.1 trial 2"};
  EXPECT_EQ(s.calls, expected);
  // The merged list holds the best criteria 1, 1, 2, 2, ... from groups 0 and 1.
  EXPECT_EQ(s.crit[30], 1.0);
  EXPECT_EQ(s.crit[31], 2.0);
}

}  // namespace
}  // namespace robmat

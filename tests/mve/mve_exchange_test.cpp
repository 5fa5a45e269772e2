// The pairwise exchange refinement of the MVE box: a no-op on an empty box, branches that
// meet, the trials each variant makes, the same result with the factor updated or
// recomputed, and never a worse subset than the box held.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "mve/mve_fixture.h"

namespace robmat {
namespace {

using testing::MveRun;
using testing::normal_data;
using testing::reference_objective;

// Puts the subsets (sorted) into the box with their objectives by getlog1 and ofmve.
void fill_box(MveRun& r, const std::vector<std::vector<long>>& subsets) {
  const long k = r.s.nvar + 1;
  r.s.nbox = static_cast<int>(subsets.size());
  for (size_t e = 0; e < subsets.size(); ++e) {
    std::vector<long> sub = subsets[e];
    std::sort(sub.begin(), sub.end());
    std::copy(sub.begin(), sub.end(), r.s.lwim + static_cast<long>(e) * k);
    std::copy(sub.begin(), sub.end(), r.s.jsub);
    double ldet, dist;
    ASSERT_EQ(getlog1(&r.s, &ldet), 0);
    r.s.dwim[e] = ofmve(&r.s, ldet, &dist);
  }
}

// A random search that keeps its ten best subsets for an exchange.
void search_with_box(MveRun& r, int variant, long nrep) {
  r.s.doim = variant;
  r.s.nrep = nrep;
  r.s.volm = DBL_MAX;
  int run = 0;
  ASSERT_EQ(domve(&r.s, 0, &run), 0);
  ASSERT_EQ(run, variant);
  ASSERT_EQ(r.s.nbox, 10);
}

void exchange(LMTSTR* s, int variant) {
  if (variant == 1) xchmve1(s);
  if (variant == 2) xchmve2(s);
  if (variant == 3) xchmve3(s);
}

TEST(MveExchange, EmptyBoxIsANoOp) {
  const std::vector<double> x = normal_data(30, 2, 1);
  for (int v = 1; v <= 3; ++v) {
    SCOPED_TRACE(v);
    MveRun r(x, 30, 2, 3);
    r.s.jqu = 16;
    r.s.nbox = 0;
    r.s.volm = 7.0;
    r.s.jlp = 5;
    for (long j = 0; j < 3; ++j) r.s.jbst[j] = 10 + j;
    exchange(&r.s, v);
    EXPECT_EQ(r.s.volm, 7.0);
    EXPECT_EQ(r.s.jlp, 5);
    EXPECT_EQ(r.best(), (std::vector<long>{10, 11, 12}));
    EXPECT_TRUE(r.rec->outputs.empty() && r.rec->lines.empty());
  }
}

// Seven observations near 0 and five far out, h = 7. For p = 1 a pair's objective is the
// distance from its midpoint to the 7th nearest observation, so both {-1, 60} and {1, 60}
// move to {-1, 1} (midpoint 0, objective 3), their best neighbour. The later branch becomes
// inactive; the earlier one stops there. (No observation lies at 0: a subset whose mean is
// an observation counts as singular.)
TEST(MveExchange, BranchesThatMeetLeaveOneActive) {
  const std::vector<double> x = {-3, -2, -1, 0.5, 1, 2, 3, 20, 30, 40, 50, 60};
  for (int v = 1; v <= 3; ++v) {
    SCOPED_TRACE(v);
    MveRun r(x, 12, 1);
    r.s.jqu = 7;
    r.s.trex = 0.05;
    fill_box(r, {{2, 11}, {4, 11}});
    exchange(&r.s, v);
    EXPECT_EQ(r.entry(0), (std::vector<long>{2, 4}));
    EXPECT_EQ(r.entry(1), (std::vector<long>{2, 4}));
    EXPECT_NEAR(r.s.dwim[0], 3.0, 1e-14);
    EXPECT_TRUE(wzmis(r.s.dwim[1]));
    EXPECT_EQ(r.best(), (std::vector<long>{2, 4}));
    EXPECT_NEAR(r.s.volm, 3.0, 1e-14);
  }
}

// From the same box the variants and the two ways of factoring reach subsets at least as good
// as the box held; variant 2 with trex >= 1 never stops a scan early and ends where variant 1
// does; updating the factor or recomputing it ends in the same subsets.
TEST(MveExchange, VariantsAndFactorings) {
  const long n = 60;
  const int p = 3;
  const std::vector<double> x = normal_data(n, p, 7, 12, 5.0);
  struct Result {
    std::vector<long> best;
    double volm;
    std::vector<std::vector<long>> entries;
  };
  auto run = [&](int variant, int noup, double trex) {
    MveRun r(x, n, p);
    r.s.jqu = (n + p + 1) / 2;
    r.s.noup = noup;
    r.s.trex = trex;
    search_with_box(r, variant, 40);
    const double before = r.s.volm;
    const long jlp = r.s.jlp;
    exchange(&r.s, variant);
    EXPECT_LE(r.s.volm, before);
    EXPECT_GT(r.s.jlp, jlp);  // every trial is counted
    EXPECT_NEAR(r.s.volm, reference_objective(x, n, p, r.s.jqu, r.best()), 1e-12 * r.s.volm);
    EXPECT_TRUE(r.intact());
    Result out{r.best(), r.s.volm, {}};
    for (int e = 0; e < 10; ++e) out.entries.push_back(wzmis(r.s.dwim[e]) ? std::vector<long>{} : r.entry(e));
    return out;
  };
  for (int v = 1; v <= 3; ++v) {
    SCOPED_TRACE(v);
    const Result updated = run(v, 0, 0.05);
    const Result scratch = run(v, 1, 0.05);
    EXPECT_EQ(updated.best, scratch.best);
    EXPECT_EQ(updated.entries, scratch.entries);
    // 1e-12: one objective by two factorizations.
    EXPECT_NEAR(updated.volm, scratch.volm, 1e-12 * scratch.volm);
  }
  const Result one = run(1, 0, 0.05);
  const Result two = run(2, 0, 1.0);
  EXPECT_EQ(one.best, two.best);
  EXPECT_EQ(one.entries, two.entries);
}

// Variant 3 from an entry that no exchange improves: one pass, trying the farthest members
// (all of 3; 3 of 12) against the outside observations nearest the centre (all of 9 or
// fewer; otherwise those within the nearest tried member's distance, at least 10, at most a
// quarter of them).
TEST(MveExchange, VariantThreeTriesTheFarthestMembers) {
  struct Case {
    const char* name;
    long n;
    int p;
    long tried_members;
  };
  const Case cases[] = {
      {"subsets of 3, nine outside", 12, 2, 3},
      {"subsets of 3, many outside", 40, 2, 3},
      {"subsets of 12", 40, 11, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> x = normal_data(c.n, c.p, 5 + static_cast<unsigned>(c.n));
    MveRun r(x, c.n, c.p);
    r.s.jqu = (c.n + c.p + 1) / 2;
    std::vector<long> start(static_cast<size_t>(c.p + 1));
    std::iota(start.begin(), start.end(), 0);
    fill_box(r, {start});
    xchmve3(&r.s);  // to a subset no exchange of variant 3 improves
    const std::vector<long> fixed = r.entry(0);
    std::vector<double> d2;
    reference_objective(x, c.n, c.p, r.s.jqu, fixed, &d2);
    std::vector<double> members, outside;
    for (long i = 0; i < c.n; ++i)
      (std::binary_search(fixed.begin(), fixed.end(), i) ? members : outside).push_back(d2[i]);
    std::sort(members.begin(), members.end());
    std::sort(outside.begin(), outside.end());
    const long big = static_cast<long>(outside.size());
    long m = big;
    if (big > 9) {
      const double tau = members[members.size() - static_cast<size_t>(c.tried_members)];
      const long within = std::upper_bound(outside.begin(), outside.end(), tau) - outside.begin();
      m = within < 10 ? 10 : std::min(within, big / 4);
    }
    r.s.jlp = 0;
    xchmve3(&r.s);
    EXPECT_EQ(r.entry(0), fixed);
    EXPECT_EQ(r.s.jlp, c.tried_members * m);
  }
}

// The front door of the refinement: zminvol runs the variant of doim after a random search,
// and after a given start subset; never after a complete enumeration.
TEST(MveExchange, RunsAfterRandomSearchesAndStartsOnly) {
  const std::vector<double> x = normal_data(40, 2, 3, 8, 6.0);
  for (int cofo = 0; cofo <= 1; ++cofo) {
    SCOPED_TRACE(cofo);
    MveRun plain(x, 40, 2), refined(x, 40, 2, 2);
    for (MveRun* r : {&plain, &refined}) {
      r->s.nrep = 30;
      r->s.cofo = cofo;
      for (long j = 0; j < 3; ++j) r->s.jbst[j] = 5 * j + 20;
    }
    refined.s.doim = 1;
    ASSERT_EQ(zminvol(&plain.s, 0), 0);
    ASSERT_EQ(zminvol(&refined.s, 0), 0);
    EXPECT_LT(refined.s.volm, plain.s.volm);
    EXPECT_NE(std::find(refined.rec->outputs.begin(), refined.rec->outputs.end(), "IterHist1"),
              refined.rec->outputs.end());
    const std::vector<std::string>& lines = refined.rec->lines;
    EXPECT_NE(std::find(lines.begin(),
                        lines.end(),
                        "Pairwise exchange, variant 1, refines the best subsets of the MVE search."),
              lines.end());
  }
  // n = 12, p = 1 enumerates all pairs: nothing is left to refine.
  const std::vector<double> small = normal_data(12, 1, 4);
  MveRun r(small, 12, 1);
  r.s.doim = 2;
  ASSERT_EQ(zminvol(&r.s, 0), 0);
  EXPECT_EQ(r.s.algo, 0);
  EXPECT_EQ(r.s.nbox, 0);
}

}  // namespace
}  // namespace robmat

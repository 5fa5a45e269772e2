// The MVE engine on a descriptor carved as the front end carves it: the hbk outliers, the
// complete enumeration against a brute force over all subsets, the updated factor against
// the one from scratch, the draws, the boundary cases of h, the cutoff and cnp, the
// failures, and the printed output at each print level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iterator>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mve/mve_fixture.h"
#include "robmat/output_protocol.h"
#include "support/datasets.h"

namespace robmat {
namespace {

using testing::MveRun;
using testing::normal_data;
using testing::reference_objective;

const std::vector<double> kHbk = testing::load_dataset("hbk").columns(0, 3);

// The numeric rows of the last table of that name.
std::vector<std::vector<double>> table_rows(const testing::Recording& rec, const std::string& name) {
  const void* table = nullptr;
  for (const testing::WobCall& c : rec.calls) {
    if (c.method != kSelCreate || c.object == nullptr) continue;
    for (const testing::WobRecord& r : c.recs)
      if (r.tag == kTagName && r.text == name) table = c.recs[2].p;
  }
  const auto it = rec.table_rows.find(table);
  return it == rec.table_rows.end() ? std::vector<std::vector<double>>{} : it->second;
}

TEST(Mve, HbkFlagsExactlyTheFourteenPlantedOutliers) {
  MveRun r(kHbk, 75, 3);
  ASSERT_EQ(zminvol(&r.s, 0), 0);
  EXPECT_TRUE(r.intact());
  const std::vector<double> w = r.weights();
  for (long i = 0; i < 75; ++i) EXPECT_EQ(w[i], i < 14 ? 0.0 : 1.0) << "observation " << i + 1;
  EXPECT_EQ(r.s.nzwe, 61);
  EXPECT_EQ(r.s.jqu, 39);
  EXPECT_EQ(r.s.algo, 1);
  EXPECT_EQ(r.s.jlp, 2000);  // the default number of random subsets of 4
  EXPECT_TRUE(r.rec->outputs.empty());
  EXPECT_TRUE(r.rec->lines.empty());
  // The reported objective is the best subset's, computed independently; 1e-12: the
  // engine's distances and determinant carry a few units of rounding.
  EXPECT_NEAR(r.s.volm, reference_objective(kHbk, 75, 3, 39, r.best()), 1e-12 * r.s.volm);
}

// n = 5, p = 1: the 10 pairs in lexicographic order, each row of the history (print level
// 5 writes every subset) holding that pair's objective.
TEST(Mve, EnumerationVisitsThePairsInOrder) {
  const std::vector<double> x = {0.3, -1.2, 2.5, 0.9, -0.4};
  MveRun r(x, 5, 1, 5);
  r.s.jqu = 3;
  r.s.volm = DBL_MAX;
  int variant = -1;
  ASSERT_EQ(domve(&r.s, 0, &variant), 0);
  EXPECT_EQ(variant, 0);
  EXPECT_EQ(r.s.algo, 0);
  EXPECT_EQ(r.s.jlp, 10);
  const auto rows = table_rows(*r.rec, "IterHist0");
  ASSERT_EQ(rows.size(), 10u);
  long k = 0;
  double best = INFINITY;
  for (long i = 0; i < 5; ++i)
    for (long j = i + 1; j < 5; ++j, ++k) {
      SCOPED_TRACE(k);
      const double obj = reference_objective(x, 5, 1, 3, {i, j});
      best = std::min(best, obj);
      EXPECT_EQ(rows[k][0], k + 1);
      EXPECT_NEAR(rows[k][2], obj, 1e-13 * obj);    // CurrCrit
      EXPECT_NEAR(rows[k][3], best, 1e-13 * best);  // BestCrit
    }
}

// Every (p+1)-subset of a small problem by brute force; the enumeration must find the
// minimum with the factor updated and recomputed.
TEST(Mve, EnumerationFindsTheBruteForceMinimum) {
  struct Case {
    const char* name;
    long n;
    int p;
    int noup;
    long outliers;
  };
  const Case cases[] = {
      {"p = 1", 14, 1, 0, 3},
      {"p = 2 updated", 12, 2, 0, 3},
      {"p = 2 from scratch", 12, 2, 1, 3},
      {"p = 3 updated", 11, 3, 0, 2},
      {"p = 4", 10, 4, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> x = normal_data(c.n, c.p, 3 + static_cast<unsigned>(c.n), c.outliers, 6.0);
    MveRun r(x, c.n, c.p);
    r.s.jqu = (c.n + c.p + 1) / 2;
    r.s.noup = c.noup;
    r.s.volm = DBL_MAX;
    int variant;
    ASSERT_EQ(domve(&r.s, 0, &variant), 0);
    ASSERT_EQ(r.s.algo, 0);
    std::vector<long> comb(static_cast<size_t>(c.p + 1));
    std::iota(comb.begin(), comb.end(), 0);
    double best = INFINITY;
    long count = 0;
    do {
      best = std::min(best, reference_objective(x, c.n, c.p, r.s.jqu, comb));
      ++count;
      long i = c.p;
      while (i >= 0 && comb[i] == c.n - (c.p + 1) + i) --i;
      if (i < 0) break;
      ++comb[i];
      for (long j = i + 1; j <= c.p; ++j) comb[j] = comb[j - 1] + 1;
    } while (true);
    EXPECT_EQ(r.s.jlp, count);
    EXPECT_EQ(r.s.jerd, 0);
    // 1e-10: the updated factor of the enumeration drifts by a few hundred rounding units.
    EXPECT_NEAR(r.s.volm, best, 1e-10 * best);
    EXPECT_NEAR(reference_objective(x, c.n, c.p, r.s.jqu, r.best()), best, 1e-10 * best);
    EXPECT_TRUE(r.intact());
  }
}

// getlog2 moves its factor along random sequences of exchanges (and an occasional rebuild);
// after every step it must agree with getlog1 on the same subset from scratch.
TEST(Mve, UpdatedFactorAgreesWithTheOneFromScratch) {
  for (int p : {2, 3, 5}) {
    SCOPED_TRACE(p);
    const long n = 40;
    const std::vector<double> x = normal_data(n, p, 77 + static_cast<unsigned>(p), 5, 3.0);
    MveRun r(x, n, p);
    r.s.jqu = (n + p + 1) / 2;
    std::mt19937 gen(p);
    std::vector<long> sub(static_cast<size_t>(p + 1));
    std::iota(sub.begin(), sub.end(), 0);
    int doup = 0;
    int checked = 0;
    for (int step = 0; step < 400; ++step) {
      const long pos = std::uniform_int_distribution<long>(0, p)(gen);
      long in;
      do {
        in = std::uniform_int_distribution<long>(0, n - 1)(gen);
      } while (std::find(sub.begin(), sub.end(), in) != sub.end());
      const long out = sub[pos];
      sub[pos] = in;
      if (step % 97 == 0) doup = 0;
      std::copy(sub.begin(), sub.end(), r.s.jsub);
      double l2;
      const int rc2 = getlog2(&r.s, &doup, in, out, &l2);
      const std::vector<double> d2 = r.robust2();
      double l1;
      const int rc1 = getlog1(&r.s, &l1);
      if (rc1 != 0 || rc2 != 0) {
        // The two verdicts use different tolerances on different factors; they may differ
        // only for a subset at the edge of singularity.
        if (rc1 != rc2) {
          EXPECT_GT(testing::subset_condition(x, p, sub), 1e9) << "step " << step;
        }
        continue;
      }
      ++checked;
      // 1e-10 relative; a nearly singular subset passes its condition on to the rounding of
      // either factor (worst seen 2e-13 times the condition over these sequences).
      const double tol = std::max(1e-10, 1e-12 * testing::subset_condition(x, p, sub));
      EXPECT_NEAR(l2, l1, tol * std::fabs(l1)) << "step " << step;
      for (long i = 0; i < n; ++i) EXPECT_NEAR(d2[i], r.s.dmve[i], tol * r.s.dmve[i]) << "step " << step;
    }
    EXPECT_GE(checked, 390);
  }
}

TEST(Mve, RandomSubsetsFromBothGenerators) {
  const long n = 75;
  // The 16-bit generator from seed 0: the first index is floor(999/65536 n).
  MveRun r(kHbk, n, 3);
  r.s.jqu = 39;
  r.s.nrep = 1;
  r.s.volm = DBL_MAX;
  int variant;
  ASSERT_EQ(domve(&r.s, 0, &variant), 0);
  EXPECT_EQ(r.s.algo, 1);
  EXPECT_EQ(r.s.jbst[0], static_cast<long>(999.0 / 65536.0 * n));
  // With job set the first two subsets are the first and the last p + 1 observations.
  for (long nrep : {1L, 2L}) {
    MveRun f(kHbk, n, 3, 5);
    f.s.jqu = 39;
    f.s.nrep = nrep;
    f.s.volm = DBL_MAX;
    ASSERT_EQ(domve(&f.s, 1, &variant), 0);
    const double first = reference_objective(kHbk, n, 3, 39, {0, 1, 2, 3});
    const double last = reference_objective(kHbk, n, 3, 39, {74, 73, 72, 71});
    const auto rows = table_rows(*f.rec, "IterHist0");
    ASSERT_EQ(rows.size(), static_cast<size_t>(nrep));
    // 1e-11: the first four observations are outliers in a thin subset (condition 9e3),
    // whose distances carry that condition times the rounding (1.4e-12 seen).
    EXPECT_NEAR(rows[0][2], first, 1e-11 * first);
    if (nrep == 2) {
      EXPECT_NEAR(rows[1][2], last, 1e-12 * last);
    }
  }
  // Same seed, same subsets; the uniform stream replaces one member at a time.
  for (int copr = 0; copr <= 1; ++copr) {
    double volm[2];
    for (double& v : volm) {
      MveRun g(kHbk, n, 3);
      g.s.copr = copr;
      g.s.seed = 4711;
      g.s.jqu = 39;
      g.s.nrep = 300;
      g.s.volm = DBL_MAX;
      ASSERT_EQ(domve(&g.s, 0, &variant), 0);
      EXPECT_EQ(g.s.jlp, 300);
      EXPECT_EQ(g.s.seed, 4711);
      v = g.s.volm;
    }
    EXPECT_EQ(volm[0], volm[1]) << copr;
  }
}

// Repeated observations make subsets singular: they are counted, drawn again after the
// first two, and never become the best; when too few subsets are regular the search stops
// after 3 nrep draws, and when none is, the run ends (430, xexit 9999).
TEST(Mve, SingularSubsetsAreCountedAndDrawnAgain) {
  struct Case {
    const char* name;
    long distinct;   // observations 0..distinct-1 are random; the others repeat grid points
    bool one_point;  // the others all repeat (0, 0) instead of the corners of a square
    bool on_a_line;  // every observation on one line: every subset singular
  };
  const Case cases[] = {
      {"corners of a square", 1, false, false},
      {"one point repeated", 6, true, false},
      {"all on a line", 0, false, true},
  };
  const std::vector<double> z = normal_data(60, 2, 17);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> x;
    for (long i = 0; i < 60; ++i) {
      if (c.on_a_line) {
        x.push_back(z[2 * i]);
        x.push_back(1.0 - 2.0 * z[2 * i]);
      } else if (i < c.distinct) {
        x.push_back(z[2 * i]);
        x.push_back(z[2 * i + 1]);
      } else {
        x.push_back(c.one_point ? 0.0 : static_cast<double>(i % 2));
        x.push_back(c.one_point ? 0.0 : static_cast<double>((i / 2) % 2));
      }
    }
    MveRun r(x, 60, 2);
    r.s.jqu = 31;
    r.s.nrep = 100;
    r.s.volm = DBL_MAX;
    int variant;
    if (c.on_a_line) {
      EXPECT_THROW(domve(&r.s, 0, &variant), testing::FakeExit);
      EXPECT_TRUE(r.rec->logged("549/430"));
      continue;
    }
    ASSERT_EQ(domve(&r.s, 0, &variant), 0);
    EXPECT_GT(r.s.jerd, 0);
    const long regular = r.s.jlp - r.s.jerd;
    if (c.one_point) {
      EXPECT_EQ(r.s.jlp, 300);
      EXPECT_GT(regular, 0);
      EXPECT_LT(regular, 100);
    } else {
      // Every iteration but a singular first or second subset evaluated a regular one.
      EXPECT_GE(regular, 98);
      EXPECT_LE(regular, 100);
    }
    double ldet;
    std::copy(r.s.jbst, r.s.jbst + 3, r.s.jsub);
    EXPECT_EQ(getlog1(&r.s, &ldet), 0);
  }
}

TEST(Mve, CoverageCutoffAndCorrectionFactor) {
  const std::vector<double> x10 = normal_data(10, 2, 5);
  // n = 2, p = 1: the bounds n/2 + 1 = 2 and 3n/4 + (p+1)/4 = 1 + 0 leave no value between
  // them; only h = 2 covers a majority, so every given h becomes 2 (and the default is
  // (2 + 1 + 1)/2 = 2 too).
  const std::vector<double> x2 = {5.0, 1.0};
  struct HCase {
    bool pair;  // the n = 2, p = 1 data, else x10
    long given, used;
    const char* message;
  };
  const HCase hs[] = {
      {false, 0, 6, nullptr},
      {false, 3, 6, "549/954: The value of h must lie between 6 and 7; 6 is used."},
      {false, 9, 7, "549/954: The value of h must lie between 6 and 7; 7 is used."},
      {false, 7, 7, nullptr},
      {true, 1, 2, "549/954: The value of h must lie between 2 and 2; 2 is used."},
      {true, 2, 2, nullptr},
      {true, 5, 2, "549/954: The value of h must lie between 2 and 2; 2 is used."},
  };
  for (const HCase& c : hs) {
    SCOPED_TRACE(std::string(c.pair ? "n = 2" : "n = 10") + ", h = " + std::to_string(c.given));
    MveRun r(c.pair ? x2 : x10, c.pair ? 2 : 10, c.pair ? 1 : 2);
    r.s.jqu = c.given;
    ASSERT_EQ(zminvol(&r.s, 0), 0);
    EXPECT_EQ(r.s.jqu, c.used);
    EXPECT_EQ(r.rec->logged("549/954"), c.message != nullptr);
    if (c.message) {
      EXPECT_TRUE(r.rec->logged(c.message));
    }
  }
  // The default cutoff: the 0.975 quantile of chi-square with 2 degrees of freedom,
  // -2 ln 0.025, whose root is reported; a given cutoff is compared with the squared
  // distances as it stands.
  const std::vector<double> x = normal_data(60, 2, 9, 6, 4.0);
  for (double cut : {0.0, 9.0, 1.0}) {
    SCOPED_TRACE(cut);
    MveRun r(x, 60, 2, 1);
    r.s.cutof = cut;
    ASSERT_EQ(zminvol(&r.s, 0), 0);
    const double q = cut > 0.0 ? cut : -2.0 * std::log(0.025);
    EXPECT_NEAR(r.s.cutof, cut > 0.0 ? cut : std::sqrt(q), 1e-12);
    long zeros = 0;
    for (long i = 0; i < 60; ++i) {
      EXPECT_EQ(r.s.wgts[i], r.s.dmve[i] <= q ? 1.0 : 0.0);
      zeros += r.s.wgts[i] == 0.0 ? 1 : 0;
    }
    EXPECT_EQ(r.s.nzwe, 60 - zeros);
    const std::vector<std::string>& lines = r.rec->lines;
    const std::string note = cut > 0.0 ? "It was given in the option vector." : "It is the square root";
    EXPECT_TRUE(
        std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(note, 0) == 0; }));
    if (cut == 0.0) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), "The cutoff of the robust distances is 2.7162."),
                lines.end());
    }
  }
  // cnp defaults to 1 + 15/(n - p): 2 for n = 20, p = 5; a given one is kept.
  const std::vector<double> x20 = normal_data(20, 5, 21);
  for (double cnp : {0.0, -1.0, 1.5}) {
    MveRun r(x20, 20, 5);
    r.s.cnp = cnp;
    ASSERT_EQ(zminvol(&r.s, 0), 0);
    EXPECT_EQ(r.s.cnp, cnp > 0.0 ? cnp : 2.0);
  }
}

// A cutoff equal to an observation's squared robust distance keeps its weight at 1: the
// second run compares with the very double the first run computed, and reweights the same
// observations, so its distances are the same.
TEST(Mve, ObservationOnTheCutoffKeepsWeightOne) {
  const std::vector<double> x = normal_data(80, 2, 31, 10, 8.0);
  MveRun first(x, 80, 2);
  ASSERT_EQ(zminvol(&first.s, 0), 0);
  long at = -1;
  for (long i = 0; i < 80; ++i)
    if (first.s.wgts[i] == 1.0 && (at < 0 || first.s.dmve[i] > first.s.dmve[at])) at = i;
  MveRun second(x, 80, 2);
  second.s.cutof = first.s.dmve[at];
  ASSERT_EQ(zminvol(&second.s, 0), 0);
  ASSERT_EQ(second.s.xmve[0], first.s.xmve[0]);
  ASSERT_EQ(second.s.dmve[at], first.s.dmve[at]);
  EXPECT_EQ(second.s.wgts[at], 1.0);
  EXPECT_EQ(second.s.nzwe, first.s.nzwe);
}

TEST(Mve, FailuresReturnTheirStatusWithTheirMessage) {
  struct Case {
    const char* name;
    std::vector<double> x;
    long n;
    int p;
    double cutof;
    std::vector<long> start;
    int rc;
    const char* message;
  };
  std::vector<double> plane = normal_data(30, 3, 8);
  for (long i = 0; i < 30; ++i) plane[i * 3 + 2] = plane[i * 3] + 2 * plane[i * 3 + 1];
  std::vector<double> dup = normal_data(30, 2, 8);
  dup[2] = dup[0];
  dup[3] = dup[1];
  dup[4] = dup[0];
  dup[5] = dup[1];
  const Case cases[] = {
      {"n = p", normal_data(3, 3, 1), 3, 3, 0.0, {}, -1, "549/953"},
      {"no variables", {}, 5, 0, 0.0, {}, -2, "549/965: The number of variables is 0"},
      {"classical covariance singular", plane, 30, 3, 0.0, {}, -2, "549/955"},
      {"start subset singular", dup, 30, 2, 0.0, {0, 1, 2}, -2, "549/956"},
      {"nothing within the cutoff", normal_data(30, 2, 8), 30, 2, 1e-300, {}, -4, "549/959"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MveRun r(c.x, c.n, c.p);
    r.s.cutof = c.cutof;
    if (!c.start.empty()) {
      r.s.cofo = 1;
      std::copy(c.start.begin(), c.start.end(), r.s.jbst);
    }
    EXPECT_EQ(zminvol(&r.s, 0), c.rc);
    EXPECT_TRUE(r.rec->logged(c.message));
    if (!c.start.empty()) {
      EXPECT_TRUE(wzmis(r.s.volm));
      EXPECT_EQ(r.s.jerd, 1);
    }
    EXPECT_TRUE(r.intact());
  }
}

// Observations near one line at a large scale: the best subsets are nearly collinear, which
// the unscaled factorization of the search accepts and the unit-diagonal one of the MVE
// scatter does not. The run ends (xexit 9999) with message 957.
TEST(Mve, SingularMveScatterEndsTheRun) {
  std::mt19937 gen(2);
  std::normal_distribution<double> z;
  std::vector<double> x;
  for (long i = 0; i < 30; ++i) {
    const double t = 1e6 * z(gen);
    x.push_back(t);
    x.push_back(i < 24 ? t + 1e-3 * z(gen) : 1e6 * z(gen));
  }
  MveRun r(x, 30, 2);
  EXPECT_THROW(zminvol(&r.s, 0), testing::FakeExit);
  EXPECT_TRUE(r.rec->logged("549/957"));
}

// ---- printed output ----------------------------------------------------------------------

// Levels 1 to 3 as the robmat program prints them are golden listings (module_mve_hbk); here
// the combinations they do not show.
TEST(Mve, EachPrintLevelWritesItsOutputsInOrder) {
  struct Case {
    const char* name;
    int ipri, pcov, pcor, doim;
    const char* outputs;  // in order, separated by spaces
  };
  const char* every =
      "ClassicalMean ClassicalCov ClassicalCorr IterHist0 IterHist1 BestSubset MVELoc MVEScatter "
      "RobustMVELoc RobustMVEScatter EigenRobust RobustCorr Distances DistrRes";
  const Case cases[] = {
      {"level 3, scatter, correlations, exchange", 3, 1, 3, 1, every},
      {"level 1, correlations only", 1, 0, 2, 0, "ClassicalMean MVELoc RobustMVELoc EigenRobust DistrRes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MveRun r(kHbk, 75, 3, c.ipri);
    r.s.pcov = c.pcov;
    r.s.pcor = c.pcor;
    r.s.doim = c.doim;
    r.s.nrep = 200;
    ASSERT_EQ(zminvol(&r.s, 0), 0);
    std::istringstream names(c.outputs);
    EXPECT_EQ(r.rec->outputs, std::vector<std::string>(std::istream_iterator<std::string>(names), {}));
    EXPECT_TRUE(r.rec->unknown.empty());
  }
}

// The progress notes of the search (the listing shows the other notes); the eigenvalues
// descend and sum to the trace of the returned scatter.
TEST(Mve, ProgressNotesAndEigenvalues) {
  MveRun r(kHbk, 75, 3, 1);
  ASSERT_EQ(zminvol(&r.s, 0), 0);
  const std::vector<std::string>& lines = r.rec->lines;
  for (const char* t : {"25 percent of the subsets are done.", "75 percent of the subsets are done."})
    EXPECT_NE(std::find(lines.begin(), lines.end(), t), lines.end()) << t;
  EXPECT_GE(r.s.eval[0], r.s.eval[1]);
  EXPECT_GE(r.s.eval[1], r.s.eval[2]);
  EXPECT_NEAR(r.s.eval[0] + r.s.eval[1] + r.s.eval[2], r.s.c[0] + r.s.c[2] + r.s.c[5], 1e-12);
}

}  // namespace
}  // namespace robmat

// Option readers driven by option vectors that touch every row of the three tables: the
// descriptor fields that result, with the defaults of each reader, and the catalogued messages
// logged on the way. (How a message's format renders its arguments shows in the golden
// listings, through the real host.)
#include "frontends/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <string>
#include <vector>

#include "robmat/services.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

std::vector<std::string> g_log;

// Records the message number; 906 with the element it names.
void f_xpmlog(int32_t, int32_t number, ...) {
  std::string line = std::to_string(number);
  if (number == 906) {
    va_list ap;
    va_start(ap, number);
    line += ": element " + std::to_string(va_arg(ap, long));
    va_end(ap);
  }
  g_log.push_back(line);
}

const double NA = missing_value();
const double k2p53 = 9007199254740992.0;

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::install_fake_host();
    auto* l = const_cast<RzLogVector*>(static_cast<const RzLogVector*>(v_global_gcb_anchor->vec[kVecLog]));
    l->xpmlog = f_xpmlog;
    g_log.clear();
  }
};

// The option fields a reader may set; compared one by one so a failure names the field.
#define FIELD(f)                                                 \
  {                                                              \
#f, [](const LMTSTR& d) { return static_cast<double>(d.f); } \
  }
const struct {
  const char* name;
  double (*get)(const LMTSTR&);
} kFields[] = {FIELD(ilts), FIELD(noint), FIELD(ipri), FIELD(ilsq),  FIELD(icov), FIELD(pcov), FIELD(pcor),
               FIELD(ocor), FIELD(jdia),  FIELD(plog), FIELD(cofo),  FIELD(noup), FIELD(nsds), FIELD(lsds),
               FIELD(flts), FIELD(copr),  FIELD(seed), FIELD(jqu),   FIELD(nrep), FIELD(sing), FIELD(trex),
               FIELD(ztst), FIELD(prec),  FIELD(cnp),  FIELD(cutof), FIELD(doim), FIELD(imve)};
#undef FIELD

enum Reader { kLms, kLts, kMve, kMcd };

LMTSTR defaults(Reader r) {
  LMTSTR d{};
  d.sing = 1e-10;
  d.plog = 100;
  if (r == kLms || r == kLts) {
    d.ilts = d.flts = r == kLts;
    d.seed = r == kLts ? 19 : 0;
    d.ztst = 2.5;
    d.prec = 2.2250738585072017e-300;
    d.jdia = 1;
  }
  if (r != kMve) d.nsds = 5, d.lsds = 300;
  if (r != kMcd) d.trex = 0.05;
  return d;
}

// An option vector with the given (1-based) elements set and missing elsewhere.
std::vector<double> opts(std::initializer_list<std::pair<int, double>> set) {
  size_t len = 21;
  for (auto [k, x] : set) len = std::max(len, static_cast<size_t>(k));
  std::vector<double> v(len, NA);
  for (auto [k, x] : set) v[static_cast<size_t>(k - 1)] = x;
  return v;
}

TEST_F(OptionsTest, Tables) {
  struct Case {
    Reader reader;
    const char* name;
    std::vector<double> opt;
    void (*change)(LMTSTR&);  // from the reader's defaults
    std::vector<std::string> log;
    bool has_start = false;
    bool has_x = true;
  };
  using D = LMTSTR&;
  const Case cases[] = {
      {kLms, "empty", {}, nullptr, {}},
      {kLts, "empty: FAST-LTS with seed 19", {}, nullptr, {}},
      {kLms, "all missing", opts({}), nullptr, {}},
      {kLms, "short vector: the rest default", {0, 2}, [](D d) { d.ipri = d.jdia = 2; }, {}},
      {kLts, "opt 9 = 1: subset search, seed 0", opts({{9, 1}}), [](D d) { d.flts = 0, d.seed = 0; }, {}},
      {kLts, "opt 9 = 0 keeps FAST-LTS", opts({{9, 0}}), nullptr, {}},
      {kLts, "start subset: no FAST-LTS", {}, [](D d) { d.flts = 0, d.seed = 0, d.cofo = 1; }, {}, true},
      {kLts, "seed given", opts({{20, 7}}), [](D d) { d.seed = 7; }, {}},
      {kLts, "FAST-LTS ignores nrep", opts({{5, 100}}), [](D d) { d.nrep = 100; }, {"907"}},
      {kLms, "nrep without FAST-LTS", opts({{5, 100}}), [](D d) { d.nrep = 100; }, {}},
      {kLms, "opt 1 nonzero: no intercept", opts({{1, 1}}), [](D d) { d.noint = 1; }, {}},
      {kLms, "opt 1 truncated to 0", opts({{1, 0.7}}), nullptr, {}},
      {kLms, "opt 1 without x", opts({{1, 1}}), nullptr, {}, false, false},
      {kLms, "print level 3", opts({{2, 3}}), [](D d) { d.ipri = 3, d.jdia = 2; }, {}},
      {kLms, "print level 5.9 truncates", opts({{2, 5.9}}), [](D d) { d.ipri = 5, d.jdia = 2; }, {}},
      {kLms, "print level 6", opts({{2, 6}}), nullptr, {"901"}},
      {kLms, "print level -1", opts({{2, -1}}), nullptr, {"901"}},
      {kLms, "print level 1e300", opts({{2, 1e300}}), nullptr, {"901"}},
      {kLms, "ilsq 3", opts({{3, 3}}), [](D d) { d.ilsq = 3; }, {}},
      {kLms, "ilsq 4", opts({{3, 4}}), nullptr, {"902"}},
      {kLms, "several messages in table order", opts({{2, 9}, {3, 9}}), nullptr, {"901", "902"}},
      {kLms, "jqu truncated", opts({{4, 12.7}}), [](D d) { d.jqu = 12; }, {}},
      {kLms, "nrep -1: all", opts({{5, -1}}), [](D d) { d.nrep = k2p53; }, {}},
      {kLms, "nrep -0.5 truncates to 0", opts({{5, -0.5}}), nullptr, {}},
      {kLms, "nrep 1e300", opts({{5, 1e300}}), [](D d) { d.nrep = k2p53; }, {}},
      {kLms, "start, opt 7 missing: subset", {}, [](D d) { d.cofo = 1; }, {}, true},
      {kLms, "start, opt 7 = 0: subset", opts({{7, 0}}), [](D d) { d.cofo = 1; }, {}, true},
      {kLms, "start, opt 7 = 0.5: coefficients", opts({{7, 0.5}}), [](D d) { d.cofo = 2; }, {}, true},
      {kLms, "start, opt 7 = 1: coefficients", opts({{7, 1}}), [](D d) { d.cofo = 2; }, {}, true},
      {kLms, "start, opt 7 = 1.5", opts({{7, 1.5}}), [](D d) { d.cofo = 1; }, {"903"}, true},
      {kLms, "start, opt 7 = -0.1", opts({{7, -0.1}}), [](D d) { d.cofo = 1; }, {"903"}, true},
      {kLms, "no start, opt 7 = 5", opts({{7, 5}}), nullptr, {}},
      {kLms, "icov with ilsq", opts({{3, 1}, {8, 2}}), [](D d) { d.ilsq = 1, d.icov = 2; }, {}},
      {kLms, "icov 7 with ilsq", opts({{3, 1}, {8, 7}}), [](D d) { d.ilsq = 1; }, {"904"}},
      {kLms, "icov irrelevant without ilsq", opts({{8, 7}}), nullptr, {}},
      {kLms, "ztst 0", opts({{11, 0}}), nullptr, {}},
      {kLms, "ztst 3", opts({{11, 3}}), [](D d) { d.ztst = 3; }, {}},
      {kLms, "sing 0", opts({{12, 0}}), nullptr, {}},
      {kLms, "sing 1e-6", opts({{12, 1e-6}}), [](D d) { d.sing = 1e-6; }, {}},
      {kLms, "prec 0", opts({{13, 0}}), nullptr, {}},
      {kLms, "prec 1e-20", opts({{13, 1e-20}}), [](D d) { d.prec = 1e-20; }, {}},
      {kLms, "pcor 3", opts({{14, 3}}), [](D d) { d.pcor = 3; }, {}},
      {kLms, "subdatasets", opts({{16, 10}, {17, 500}}), [](D d) { d.nsds = 10, d.lsds = 500; }, {}},
      {kLms, "trex 1", opts({{18, 1}}), nullptr, {}},
      {kLms, "trex -0.1", opts({{18, -0.1}}), nullptr, {}},
      {kLms, "trex 0", opts({{18, 0}}), [](D d) { d.trex = 0; }, {}},
      {kLms, "copr 2", opts({{19, 2}}), [](D d) { d.copr = 1; }, {}},
      {kLms, "copr -1", opts({{19, -1}}), nullptr, {}},
      {kLms, "noup 3", opts({{21, 3}}), [](D d) { d.noup = 1; }, {}},
      {kLts, "converged final stage", opts({{23, 1}}), [](D d) { d.imve = 1; }, {}},
      {kLts, "opt 23 = 2", opts({{23, 2}}), nullptr, {"909"}},
      {kLts, "opt 23 without FAST-LTS", opts({{9, 1}, {23, 1}}), [](D d) { d.flts = 0, d.seed = 0; }, {}},
      {kLms, "opt 23 is not an LMS option", opts({{23, 5}}), nullptr, {}},
      {kMve, "empty", {}, nullptr, {}},
      {kMve, "print level 6", opts({{1, 6}}), nullptr, {"900"}},
      {kMve, "print level 2", opts({{1, 2}}), [](D d) { d.ipri = 2; }, {}},
      {kMve, "pcov 2", opts({{2, 2}}), nullptr, {"901"}},
      {kMve, "pcov 1", opts({{2, 1}}), [](D d) { d.pcov = 1; }, {}},
      {kMve, "pcor 4", opts({{3, 4}}), nullptr, {"902"}},
      {kMve, "pcor 1 prints only", opts({{3, 1}}), [](D d) { d.pcor = 1; }, {}},
      {kMve, "pcor 2 prints and returns", opts({{3, 2}}), [](D d) { d.pcor = 2, d.ocor = 1; }, {}},
      {kMve, "pcor 3", opts({{3, 3}}), [](D d) { d.pcor = 3, d.ocor = 1; }, {}},
      {kMve, "jqu", opts({{4, 6}}), [](D d) { d.jqu = 6; }, {}},
      {kMve, "nrep -1", opts({{5, -1}}), [](D d) { d.nrep = k2p53; }, {}},
      {kMve, "cutoff given", opts({{11, 9}}), [](D d) { d.cutof = 9; }, {}},
      {kMve, "sing 0", opts({{12, 0}}), nullptr, {}},
      {kMve, "cnp given", opts({{13, 2}}), [](D d) { d.cnp = 2; }, {}},
      {kMve, "trex 1.5", opts({{18, 1.5}}), nullptr, {}},
      {kMve,
       "copr, seed, noup",
       opts({{19, 1}, {20, 123}, {21, 1}}),
       [](D d) { d.copr = 1, d.seed = 123, d.noup = 1; },
       {}},
      {kMve, "unused options change nothing", opts({{6, 9}, {7, 9}, {14, 9}, {16, 9}, {17, 9}}), nullptr, {}},
      {kMve, "start subset", {}, [](D d) { d.cofo = 1; }, {}, true},
      {kMve, "exchange variant 3", opts({{22, 3}}), [](D d) { d.doim = 3; }, {}},
      {kMve, "exchange variant 1.9 truncated", opts({{22, 1.9}}), [](D d) { d.doim = 1; }, {}},
      {kMve, "exchange variant 4", opts({{22, 4}}), nullptr, {"908"}},
      {kMve, "exchange variant -1", opts({{22, -1}}), nullptr, {"908"}},
      {kMve, "exchange variant 1e300", opts({{22, 1e300}}), nullptr, {"908"}},
      {kMcd, "no exchange for MCD", opts({{22, 1}}), nullptr, {}},
      {kMcd, "empty", {}, nullptr, {}},
      {kMcd, "print level -1", opts({{1, -1}}), nullptr, {"900"}},
      {kMcd, "pcov 2", opts({{2, 2}}), nullptr, {"901"}},
      {kMcd, "pcor 4", opts({{3, 4}}), nullptr, {"902"}},
      {kMcd, "pcor 1", opts({{3, 1}}), [](D d) { d.pcor = 1; }, {}},
      {kMcd, "pcor 2 returns without printing", opts({{3, 2}}), [](D d) { d.ocor = 1; }, {}},
      {kMcd, "pcor 3 returns and prints", opts({{3, 3}}), [](D d) { d.pcor = 3, d.ocor = 1; }, {}},
      {kMcd, "nrep -1", opts({{5, -1}}), [](D d) { d.nrep = k2p53; }, {}},
      {kMcd, "cutoff and cnp", opts({{11, 9}, {13, 1.5}}), [](D d) { d.cutof = 9, d.cnp = 1.5; }, {}},
      {kMcd, "subdatasets", opts({{16, 3}, {17, 100}}), [](D d) { d.nsds = 3, d.lsds = 100; }, {}},
      {kMcd, "copr and seed", opts({{19, 1}, {20, 5}}), [](D d) { d.copr = 1, d.seed = 5; }, {}},
      {kMcd, "trex and noup are not MCD options", opts({{18, 0.2}, {21, 1}}), nullptr, {}},
      {kMcd, "start subset", {}, [](D d) { d.cofo = 1; }, {}, true},
      {kMcd, "converged final stage", opts({{23, 1.5}}), [](D d) { d.imve = 1; }, {}},
      {kMcd, "opt 23 = -1", opts({{23, -1}}), nullptr, {"909"}},
      {kMve, "opt 23 is not an MVE option", opts({{23, 1}}), nullptr, {}},
      {kMcd, "deterministic starts", opts({{24, 1}}), [](D d) { d.imve = 2; }, {}},
      {kMcd, "deterministic starts 1.5 truncated", opts({{24, 1.5}}), [](D d) { d.imve = 2; }, {}},
      {kMcd, "deterministic starts 2", opts({{24, 2}}), nullptr, {"910"}},
      {kMcd, "deterministic starts -1", opts({{24, -1}}), nullptr, {"910"}},
      {kMve, "no deterministic starts for MVE", opts({{24, 1}}), nullptr, {}},
      {kMcd, "both of robmat's own switches", opts({{23, 1}, {24, 1}}), [](D d) { d.imve = 3; }, {}},
      {kMcd,
       "deterministic starts with a seed",
       opts({{24, 1}, {20, 5}}),
       [](D d) { d.imve = 2, d.seed = 5; },
       {"911"}},
      {kMcd,
       "a random search's 0 is no request",
       opts({{24, 1}, {5, 0}, {19, 0}, {20, 0}}),
       [](D d) { d.imve = 2; },
       {}},
  };
  const char* const kReader[] = {"LMS", "LTS", "MVE", "MCD"};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(kReader[k.reader]) + ": " + k.name);
    g_log.clear();
    LMTSTR want = defaults(k.reader), got{};
    if (k.change) k.change(want);
    const long n = static_cast<long>(k.opt.size());
    if (k.reader == kMve) {
      read_mve_options(&got, k.opt.data(), n, k.has_start);
    } else if (k.reader == kMcd) {
      read_mcd_options(&got, k.opt.data(), n, k.has_start);
    } else {
      read_lmts_options(&got, k.opt.data(), n, k.reader == kLts, k.has_x, k.has_start);
    }
    for (const auto& f : kFields) EXPECT_EQ(f.get(want), f.get(got)) << f.name;
    EXPECT_EQ(g_log, k.log);
  }
}

TEST_F(OptionsTest, StartSubset) {
  struct Case {
    std::vector<double> start;
    std::vector<long> jbst;  // empty: refused with status 6 and message 906
    std::string log;
  };
  const Case cases[] = {
      {{1, 5, 3}, {0, 4, 2}, ""},
      {{2.9, 5.99}, {1, 4}, ""},  // truncated
      {{1, 0}, {}, "906: element 2"},
      {{6}, {}, "906: element 1"},  // n + 1
      {{3, 1e300}, {}, "906: element 2"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.log + " " + std::to_string(k.start.back()));
    g_log.clear();
    std::vector<long> jbst(k.start.size(), -7);
    const int rc = read_start_subset(jbst.data(), k.start.data(), static_cast<long>(k.start.size()), 5);
    EXPECT_EQ(rc, k.jbst.empty() ? 6 : 0);
    if (rc == 0) {
      EXPECT_EQ(jbst, k.jbst);
    }
    EXPECT_EQ(g_log, k.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{k.log});
  }
}

}  // namespace
}  // namespace robmat

// Option readers driven by option vectors that touch every row of the three tables: the
// descriptor fields that result, and the catalogued messages logged on the way (rendered
// through the host catalogue's formats, so a format that does not fit its arguments shows).
#include "frontends/options.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "robmat/services.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

struct CatalogueLine {
  int set;
  int number;
  const char* format;
};
const CatalogueLine kCatalogue[] = {
#include "../../host/catalogue/messages_options_reports.inc"
};

std::vector<std::string> g_log;

// Records "N" for a message without arguments and "N: text" for one with arguments.
void f_xpmlog(int32_t set, int32_t number, ...) {
  std::string line = std::to_string(number);
  for (const CatalogueLine& e : kCatalogue) {
    if (e.set != set || e.number != number) continue;
    const std::string f = e.format;
    if (f.find("%l") != std::string::npos) {
      va_list ap;
      va_start(ap, number);
      char buf[512];
      std::vsnprintf(buf, sizeof buf, e.format + 3, ap);
      va_end(ap);
      line += std::string(": ") + buf;
    }
  }
  g_log.push_back(line);
}

const double NA = missing_value();

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::install_fake_host();
    auto* l = const_cast<RzLogVector*>(static_cast<const RzLogVector*>(v_global_gcb_anchor->vec[kVecLog]));
    l->xpmlog = f_xpmlog;
    g_log.clear();
  }
};

// The option fields every reader may set; compared one by one so a failure names the field.
struct Field {
  const char* name;
  int LMTSTR::*i;
  long LMTSTR::*l;
  double LMTSTR::*d;
};
const Field kFields[] = {
    {"ilts", &LMTSTR::ilts, nullptr, nullptr},   {"noint", &LMTSTR::noint, nullptr, nullptr},
    {"ipri", &LMTSTR::ipri, nullptr, nullptr},   {"ilsq", &LMTSTR::ilsq, nullptr, nullptr},
    {"icov", &LMTSTR::icov, nullptr, nullptr},   {"pcov", &LMTSTR::pcov, nullptr, nullptr},
    {"pcor", &LMTSTR::pcor, nullptr, nullptr},   {"ocor", &LMTSTR::ocor, nullptr, nullptr},
    {"jdia", &LMTSTR::jdia, nullptr, nullptr},   {"plog", &LMTSTR::plog, nullptr, nullptr},
    {"cofo", &LMTSTR::cofo, nullptr, nullptr},   {"noup", &LMTSTR::noup, nullptr, nullptr},
    {"nsds", &LMTSTR::nsds, nullptr, nullptr},   {"lsds", &LMTSTR::lsds, nullptr, nullptr},
    {"flts", &LMTSTR::flts, nullptr, nullptr},   {"copr", &LMTSTR::copr, nullptr, nullptr},
    {"seed", nullptr, &LMTSTR::seed, nullptr},   {"jqu", nullptr, &LMTSTR::jqu, nullptr},
    {"nrep", nullptr, &LMTSTR::nrep, nullptr},   {"sing", nullptr, nullptr, &LMTSTR::sing},
    {"trex", nullptr, nullptr, &LMTSTR::trex},   {"ztst", nullptr, nullptr, &LMTSTR::ztst},
    {"prec", nullptr, nullptr, &LMTSTR::prec},   {"cnp", nullptr, nullptr, &LMTSTR::cnp},
    {"cutof", nullptr, nullptr, &LMTSTR::cutof},
};

using Overrides = std::vector<std::pair<std::string, double>>;

void apply(LMTSTR& d, const Overrides& changes) {
  for (const auto& [name, v] : changes) {
    bool found = false;
    for (const Field& f : kFields) {
      if (name != f.name) continue;
      found = true;
      if (f.i) d.*f.i = static_cast<int>(v);
      if (f.l) d.*f.l = static_cast<long>(v);
      if (f.d) d.*f.d = v;
    }
    ASSERT_TRUE(found) << name;
  }
}

void expect_options(const LMTSTR& want, const LMTSTR& got) {
  for (const Field& f : kFields) {
    if (f.i) {
      EXPECT_EQ(want.*f.i, got.*f.i) << f.name;
    }
    if (f.l) {
      EXPECT_EQ(want.*f.l, got.*f.l) << f.name;
    }
    if (f.d) {
      EXPECT_EQ(want.*f.d, got.*f.d) << f.name;
    }
  }
}

// An option vector with the given (1-based) elements set and missing elsewhere.
std::vector<double> opts(std::initializer_list<std::pair<int, double>> set) {
  std::vector<double> v(21, NA);
  for (auto [k, x] : set) v[static_cast<size_t>(k - 1)] = x;
  return v;
}

struct Case {
  const char* name;
  std::vector<double> opt;
  Overrides want;  // changes from the defaults
  std::vector<std::string> log;
  int job = 0;  // LMS/LTS only
  bool has_x = true;
  bool has_start = false;
};

LMTSTR lmts_defaults(int job) {
  LMTSTR d{};
  d.ilts = job;
  d.flts = job;
  d.seed = job == 1 ? 19 : 0;
  d.ztst = 2.5;
  d.sing = 1e-10;
  d.prec = 2.2250738585072017e-300;
  d.nsds = 5;
  d.lsds = 300;
  d.trex = 0.05;
  d.jdia = 1;
  d.plog = 100;
  return d;
}

TEST_F(OptionsTest, LmsAndLtsTable) {
  const Case cases[] = {
      {"empty LMS", {}, {}, {}},
      {"empty LTS runs FAST-LTS with seed 19", {}, {}, {}, 1},
      {"all missing", opts({}), {}, {}},
      {"LTS opt 9 = 1: subset search, seed 0", opts({{9, 1}}), {{"flts", 0}, {"seed", 0}}, {}, 1},
      {"LTS opt 9 = 0 keeps FAST-LTS", opts({{9, 0}}), {}, {}, 1},
      {"LTS with a start subset: no FAST-LTS",
       {},
       {{"flts", 0}, {"seed", 0}, {"cofo", 1}},
       {},
       1,
       true,
       true},
      {"LTS seed given", opts({{20, 7}}), {{"seed", 7}}, {}, 1},
      {"FAST-LTS ignores nrep", opts({{5, 100}}), {{"nrep", 100}}, {"907"}, 1},
      {"LMS nrep without FAST-LTS", opts({{5, 100}}), {{"nrep", 100}}, {}},
      {"opt 1 nonzero: no intercept", opts({{1, 1}}), {{"noint", 1}}, {}},
      {"opt 1 truncated to 0", opts({{1, 0.7}}), {}, {}},
      {"opt 1 without x", opts({{1, 1}}), {}, {}, 0, false},
      {"print level 3", opts({{2, 3}}), {{"ipri", 3}, {"jdia", 2}}, {}},
      {"print level 5.9 truncates", opts({{2, 5.9}}), {{"ipri", 5}, {"jdia", 2}}, {}},
      {"print level 6", opts({{2, 6}}), {}, {"901"}},
      {"print level -1", opts({{2, -1}}), {}, {"901"}},
      {"print level 1e300", opts({{2, 1e300}}), {}, {"901"}},
      {"ilsq 3", opts({{3, 3}}), {{"ilsq", 3}}, {}},
      {"ilsq 4", opts({{3, 4}}), {}, {"902"}},
      {"jqu truncated", opts({{4, 12.7}}), {{"jqu", 12}}, {}},
      {"nrep -1", opts({{5, -1}}), {{"nrep", 9007199254740992.0}}, {}},
      {"nrep -0.5 truncates to 0", opts({{5, -0.5}}), {}, {}},
      {"nrep 2^53", opts({{5, 9007199254740992.0}}), {{"nrep", 9007199254740992.0}}, {}},
      {"nrep 1e300", opts({{5, 1e300}}), {{"nrep", 9007199254740992.0}}, {}},
      {"start, opt 7 missing: subset", {}, {{"cofo", 1}}, {}, 0, true, true},
      {"start, opt 7 = 0: subset", opts({{7, 0}}), {{"cofo", 1}}, {}, 0, true, true},
      {"start, opt 7 = 0.5: coefficients", opts({{7, 0.5}}), {{"cofo", 2}}, {}, 0, true, true},
      {"start, opt 7 = 1: coefficients", opts({{7, 1}}), {{"cofo", 2}}, {}, 0, true, true},
      {"start, opt 7 = 1.5", opts({{7, 1.5}}), {{"cofo", 1}}, {"903"}, 0, true, true},
      {"start, opt 7 = -0.1", opts({{7, -0.1}}), {{"cofo", 1}}, {"903"}, 0, true, true},
      {"no start, opt 7 = 5", opts({{7, 5}}), {}, {}},
      {"icov with ilsq", opts({{3, 1}, {8, 2}}), {{"ilsq", 1}, {"icov", 2}}, {}},
      {"icov 7 with ilsq", opts({{3, 1}, {8, 7}}), {{"ilsq", 1}}, {"904"}},
      {"icov irrelevant without ilsq", opts({{8, 7}}), {}, {}},
      {"ztst 0", opts({{11, 0}}), {}, {}},
      {"ztst -1", opts({{11, -1}}), {}, {}},
      {"ztst 3", opts({{11, 3}}), {{"ztst", 3}}, {}},
      {"sing 0", opts({{12, 0}}), {}, {}},
      {"sing 1e-6", opts({{12, 1e-6}}), {{"sing", 1e-6}}, {}},
      {"prec 0", opts({{13, 0}}), {}, {}},
      {"prec 1e-20", opts({{13, 1e-20}}), {{"prec", 1e-20}}, {}},
      {"pcor 3", opts({{14, 3}}), {{"pcor", 3}}, {}},
      {"subdatasets", opts({{16, 10}, {17, 500}}), {{"nsds", 10}, {"lsds", 500}}, {}},
      {"trex 1", opts({{18, 1}}), {}, {}},
      {"trex -0.1", opts({{18, -0.1}}), {}, {}},
      {"trex 0", opts({{18, 0}}), {{"trex", 0}}, {}},
      {"trex 0.2", opts({{18, 0.2}}), {{"trex", 0.2}}, {}},
      {"copr 2", opts({{19, 2}}), {{"copr", 1}}, {}},
      {"copr -1", opts({{19, -1}}), {}, {}},
      {"noup 3", opts({{21, 3}}), {{"noup", 1}}, {}},
      {"short vector: the rest default", {0, 2}, {{"ipri", 2}, {"jdia", 2}}, {}},
      {"several messages in table order", opts({{2, 9}, {3, 9}}), {}, {"901", "902"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_log.clear();
    LMTSTR want = lmts_defaults(k.job);
    apply(want, k.want);
    LMTSTR got{};
    read_lmts_options(&got, k.opt.data(), static_cast<long>(k.opt.size()), k.job, k.has_x, k.has_start);
    expect_options(want, got);
    EXPECT_EQ(g_log, k.log);
  }
}

LMTSTR multivariate_defaults(bool mcd) {
  LMTSTR d{};
  d.sing = 1e-10;
  d.plog = 100;
  if (mcd) {
    d.nsds = 5;
    d.lsds = 300;
  } else {
    d.trex = 0.05;
  }
  return d;
}

TEST_F(OptionsTest, MveTable) {
  const Case cases[] = {
      {"empty", {}, {}, {}},
      {"print level 6", opts({{1, 6}}), {}, {"900"}},
      {"print level 2", opts({{1, 2}}), {{"ipri", 2}}, {}},
      {"pcov 2", opts({{2, 2}}), {}, {"901"}},
      {"pcov 1", opts({{2, 1}}), {{"pcov", 1}}, {}},
      {"pcor 4", opts({{3, 4}}), {}, {"902"}},
      {"pcor 1 prints only", opts({{3, 1}}), {{"pcor", 1}}, {}},
      {"pcor 2 prints and returns", opts({{3, 2}}), {{"pcor", 2}, {"ocor", 1}}, {}},
      {"pcor 3", opts({{3, 3}}), {{"pcor", 3}, {"ocor", 1}}, {}},
      {"jqu", opts({{4, 6}}), {{"jqu", 6}}, {}},
      {"nrep -1", opts({{5, -1}}), {{"nrep", 9007199254740992.0}}, {}},
      {"cutoff given", opts({{11, 9}}), {{"cutof", 9}}, {}},
      {"sing 0", opts({{12, 0}}), {}, {}},
      {"cnp given", opts({{13, 2}}), {{"cnp", 2}}, {}},
      {"trex 1.5", opts({{18, 1.5}}), {}, {}},
      {"copr, seed, noup",
       opts({{19, 1}, {20, 123}, {21, 1}}),
       {{"copr", 1}, {"seed", 123}, {"noup", 1}},
       {}},
      {"unused options change nothing", opts({{6, 9}, {7, 9}, {14, 9}, {16, 9}, {17, 9}}), {}, {}},
      {"start subset", {}, {{"cofo", 1}}, {}, 0, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_log.clear();
    LMTSTR want = multivariate_defaults(false);
    apply(want, k.want);
    LMTSTR got{};
    read_mve_options(&got, k.opt.data(), static_cast<long>(k.opt.size()), k.has_start);
    expect_options(want, got);
    EXPECT_EQ(g_log, k.log);
  }
}

TEST_F(OptionsTest, McdTable) {
  const Case cases[] = {
      {"empty", {}, {}, {}},
      {"print level -1", opts({{1, -1}}), {}, {"900"}},
      {"pcov 2", opts({{2, 2}}), {}, {"901"}},
      {"pcor 4", opts({{3, 4}}), {}, {"902"}},
      {"pcor 1", opts({{3, 1}}), {{"pcor", 1}}, {}},
      {"pcor 2 returns without printing", opts({{3, 2}}), {{"ocor", 1}}, {}},
      {"pcor 3 returns and prints", opts({{3, 3}}), {{"pcor", 3}, {"ocor", 1}}, {}},
      {"nrep -1", opts({{5, -1}}), {{"nrep", 9007199254740992.0}}, {}},
      {"cutoff and cnp", opts({{11, 9}, {13, 1.5}}), {{"cutof", 9}, {"cnp", 1.5}}, {}},
      {"subdatasets", opts({{16, 3}, {17, 100}}), {{"nsds", 3}, {"lsds", 100}}, {}},
      {"copr and seed", opts({{19, 1}, {20, 5}}), {{"copr", 1}, {"seed", 5}}, {}},
      {"trex and noup are not MCD options", opts({{18, 0.2}, {21, 1}}), {}, {}},
      {"start subset", {}, {{"cofo", 1}}, {}, 0, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    g_log.clear();
    LMTSTR want = multivariate_defaults(true);
    apply(want, k.want);
    LMTSTR got{};
    read_mcd_options(&got, k.opt.data(), static_cast<long>(k.opt.size()), k.has_start);
    expect_options(want, got);
    EXPECT_EQ(g_log, k.log);
  }
}

TEST_F(OptionsTest, StartSubset) {
  struct Subset {
    const char* name;
    std::vector<double> start;
    int rc;
    std::vector<long> jbst;
    std::vector<std::string> log;
  };
  const Subset cases[] = {
      {"valid", {1, 5, 3}, 0, {0, 4, 2}, {}},
      {"truncated", {2.9, 5.99}, 0, {1, 4}, {}},
      {"zero",
       {1, 0},
       6,
       {},
       {"906: Element 2 of the start subset is not an observation number from 1 to the "
        "number of observations; the call is rejected."}},
      {"n + 1",
       {6},
       6,
       {},
       {"906: Element 1 of the start subset is not an observation number from 1 to the "
        "number of observations; the call is rejected."}},
      {"huge",
       {3, 1e300},
       6,
       {},
       {"906: Element 2 of the start subset is not an observation number from 1 to the "
        "number of observations; the call is rejected."}},
  };
  for (const Subset& k : cases) {
    SCOPED_TRACE(k.name);
    g_log.clear();
    std::vector<long> jbst(k.start.size(), -7);
    const int rc = read_start_subset(jbst.data(), k.start.data(), static_cast<long>(k.start.size()), 5);
    EXPECT_EQ(rc, k.rc);
    if (rc == 0) {
      EXPECT_EQ(jbst, k.jbst);
    }
    EXPECT_EQ(g_log, k.log);
  }
}

}  // namespace
}  // namespace robmat

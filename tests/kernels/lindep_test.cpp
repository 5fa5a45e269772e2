// Linear dependency analysis: the named examples (x3 = x1 + 2 x2, a diagonal matrix with a
// zero, the zero matrix), equations that reproduce rank-deficient data exactly, and the
// LinDep table as a recording output service receives it: selectors, tags, types, order.
#include "kernels/lindep.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "robmat/services.h"
#include "services/sweep_step.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

// ---- recording output service --------------------------------------------------------------
struct Text {
  std::string s;
};
struct Column {
  int type;
  std::string name;
  void* var;
  int clen;
};
struct Call {
  int method;
  std::vector<std::pair<int, int>> tags;  // (tag, type)
  std::vector<std::string> texts;         // the text handles passed, in order
};
struct Recorder {
  std::vector<Call> calls;
  std::vector<Column> columns;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::unique_ptr<Text>> texts;
  int fail_method = 0;  // this selector returns -5
  int table = 0, output = 0, rpx = 0;
};
Recorder g_rec;

void* keep(std::string s) {
  g_rec.texts.push_back(std::make_unique<Text>(Text{std::move(s)}));
  return g_rec.texts.back().get();
}
void* t_rpxmsg(int32_t set, int32_t number) {
  return keep("msg " + std::to_string(set) + "/" + std::to_string(number));
}
void* t_rpxmsgs(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  const char* arg = va_arg(ap, const char*);  // the notes of this analysis pass one name
  va_end(ap);
  return keep("msg " + std::to_string(set) + "/" + std::to_string(number) + " " + arg);
}
void* t_rpxtxt(const char* text, int32_t length) {
  return keep(std::string(text, static_cast<size_t>(length)));
}
void* t_rpxtxts(const char* format, int32_t length, ...) {
  std::string f(format, static_cast<size_t>(length));
  char buf[256];
  va_list ap;
  va_start(ap, length);
  std::vsnprintf(buf, sizeof buf, f.c_str(), ap);
  va_end(ap);
  return keep(buf);
}

std::string render(const Column& c) {
  if (c.type == 5) {
    double v = *static_cast<double*>(c.var);
    if (wzmis(v)) return ".";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
  }
  std::string s(static_cast<char*>(c.var), static_cast<size_t>(c.clen));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

int32_t t_wobmth(void* object, void*, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  Call call{method, {}, {}};
  for (int32_t i = 0; i < n; ++i) {
    call.tags.emplace_back(p[i].tag, p[i].type);
    if (p[i].type == 66) call.texts.push_back(p[i].value.p ? static_cast<Text*>(p[i].value.p)->s : "(null)");
    if (p[i].type == 1) call.texts.push_back(std::string(1, p[i].value.c));
  }
  g_rec.calls.push_back(call);
  if (method == g_rec.fail_method) return -5;
  switch (method) {
    case 147:
      EXPECT_EQ(object, &g_rec.rpx);
      p[2].value.p = &g_rec.table;
      break;
    case 338: {
      Column c{0, "", nullptr, 0};
      for (int32_t i = 0; i < n; ++i) {
        if (p[i].tag == 103) c.type = p[i].value.i;
        if (p[i].tag == 138) c.name = static_cast<Text*>(p[i].value.p)->s;
        if (p[i].tag == 285) c.var = p[i].value.p;
        if (p[i].tag == 289) c.clen = p[i].value.i;
      }
      g_rec.columns.push_back(c);
      break;
    }
    case 422:
      p[1].value.p = &g_rec.output;
      break;
    case 329: {
      std::vector<std::string> row;
      for (const Column& c : g_rec.columns) row.push_back(render(c));
      g_rec.rows.push_back(row);
      break;
    }
  }
  return 0;
}

void t_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  ASSERT_TRUE(host::host_zsweep(x, k, n, df, work, tol));
}
int g_live_pools = 0;
void* t_xmpoolc(int64_t) {
  ++g_live_pools;
  return new std::vector<std::unique_ptr<char[]>>;
}
void* t_xmpalloc(void* pool, int64_t bytes) {
  auto* blocks = static_cast<std::vector<std::unique_ptr<char[]>>*>(pool);
  blocks->push_back(std::make_unique<char[]>(static_cast<size_t>(bytes)));
  return blocks->back().get();
}
void t_xmpoold(void* pool) {
  --g_live_pools;
  delete static_cast<std::vector<std::unique_ptr<char[]>>*>(pool);
}

testing::FakeHost& install() {
  testing::FakeHost& fake = testing::install_fake_host();
  auto* sys = const_cast<RzSysVector*>(static_cast<const RzSysVector*>(v_global_gcb_anchor->vec[kVecSys]));
  sys->zsweep = t_zsweep;
  sys->xmpoolc = t_xmpoolc;
  sys->xmpalloc = t_xmpalloc;
  sys->xmpoold = t_xmpoold;
  auto* obj = const_cast<RzObjVector*>(static_cast<const RzObjVector*>(v_global_gcb_anchor->vec[kVecObj]));
  obj->wobmth = t_wobmth;
  obj->rpxmsg = t_rpxmsg;
  obj->rpxmsgs = t_rpxmsgs;
  obj->rpxtxt = t_rpxtxt;
  obj->rpxtxts = t_rpxtxts;
  g_rec = Recorder{};
  g_live_pools = 0;
  return fake;
}

std::vector<U_SNAME> names(int n) {
  std::vector<U_SNAME> v(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) {
    std::memset(&v[static_cast<size_t>(j)], 0, sizeof(U_SNAME));
    int len = std::snprintf(v[static_cast<size_t>(j)].name, 32, "X%d", j + 1);
    v[static_cast<size_t>(j)].len = static_cast<int16_t>(len);
  }
  return v;
}

// Runs the packed analysis with the tolerances of the multivariate engines.
struct Analysis {
  long ndep;
  std::string lind;
  std::vector<double> cov;
  void* table = nullptr;
  void* out = nullptr;
};
Analysis analyse(std::vector<double> cov, long n, int ipri, int cfrm, std::vector<double> x) {
  std::vector<U_SNAME> nm = names(static_cast<int>(n));
  std::vector<double> rhs(static_cast<size_t>(n)), cdia(static_cast<size_t>(n)), work(static_cast<size_t>(n));
  Analysis r{0, std::string(static_cast<size_t>(n), '?'), {}};
  r.ndep = zcovlid(ipri,
                   cfrm,
                   n,
                   1e-12,
                   1e-8,
                   1e-8,
                   nm.data(),
                   x.empty() ? nullptr : x.data(),
                   cov.data(),
                   rhs.data(),
                   cdia.data(),
                   work.data(),
                   r.lind.data(),
                   &g_rec.rpx,
                   &r.table,
                   &r.out);
  r.cov = cov;
  return r;
}

std::vector<int> methods() {
  std::vector<int> m;
  for (const Call& c : g_rec.calls) m.push_back(c.method);
  return m;
}

// ---- tests ----------------------------------------------------------------------------------
TEST(LinDep, SumOfTwoUncorrelatedVariables) {
  // x1, x2 uncorrelated with unit variances, x3 = x1 + 2 x2: x3 is swept first (variance 5),
  // then x1 (residual 0.8 against 0.2), so x2 = -0.5 x1 + 0.5 x3 is the dependency.
  install();
  const Analysis r = analyse({1, 0, 1, 1, 2, 5}, 3, 1, 0, {1, 2, 3});
  EXPECT_EQ(r.ndep, 1);
  EXPECT_EQ(r.lind, "101");
  EXPECT_NEAR(r.cov[1], -0.5, 4 * DBL_EPSILON);  // (x2, x1): coefficient of x1
  EXPECT_NEAR(r.cov[4], -0.5, 4 * DBL_EPSILON);  // (x3, x2): negated coefficient of x3
  ASSERT_EQ(g_rec.rows.size(), 1u);
  const std::vector<std::string> want{"X2", "=", "1", "-", "0.5", "*", "X1", "+", "0.5", "*", "X3"};
  ASSERT_EQ(g_rec.rows[0].size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i] == "0.5" || want[i] == "1") {
      EXPECT_NEAR(std::stod(g_rec.rows[0][i]), std::stod(want[i]), 8 * DBL_EPSILON) << "column " << i;
    } else {
      EXPECT_EQ(g_rec.rows[0][i], want[i]) << "column " << i;
    }
  }
  EXPECT_EQ(r.table, &g_rec.table);
  EXPECT_EQ(r.out, &g_rec.output);
  EXPECT_EQ(g_live_pools, 0);
}

TEST(LinDep, TableProtocol) {
  install();
  analyse({1, 0, 1, 1, 2, 5}, 3, 1, 0, {1, 2, 3});
  std::vector<int> want{358, 358, 147};
  for (int k = 0; k < 11; ++k) want.push_back(338);
  for (int m : {298, 422, 329, 299, 428}) want.push_back(m);
  ASSERT_EQ(methods(), want);

  using Tags = std::vector<std::pair<int, int>>;
  const std::vector<Call>& c = g_rec.calls;
  EXPECT_EQ(c[0].tags, (Tags{{577, 66}, {280, 3}, {371, 3}, {273, 1}}));
  EXPECT_EQ(c[0].texts, (std::vector<std::string>{"msg 549/340", "l"}));
  EXPECT_EQ(c[1].texts, (std::vector<std::string>{"msg 549/206", "l"}));
  EXPECT_EQ(c[2].tags, (Tags{{143, 20}, {146, 20}, {144, 12}, {148, 3}, {138, 66}, {296, 66}}));
  EXPECT_EQ(c[2].texts, (std::vector<std::string>{"LinDep", "msg 549/701"}));
  const std::vector<std::string> names{"Variable",
                                       "Equal",
                                       "Constant",
                                       "Sign",
                                       "Coefficient",
                                       "Asterisk",
                                       "Parameter",
                                       "Sign",
                                       "Coefficient",
                                       "Asterisk",
                                       "Parameter"};
  const std::vector<int> types{20, 20, 5, 20, 5, 20, 20, 20, 5, 20, 20};
  const std::vector<int> clens{8, 3, 0, 3, 0, 3, 8, 3, 0, 3, 8};
  for (size_t k = 0; k < 11; ++k) {
    SCOPED_TRACE("column " + std::to_string(k));
    EXPECT_EQ(g_rec.columns[k].name, names[k]);
    EXPECT_EQ(g_rec.columns[k].type, types[k]);
    EXPECT_EQ(g_rec.columns[k].clen, clens[k]);
    const Call& d = c[3 + k];
    EXPECT_EQ(d.tags[0], (std::pair<int, int>{103, 3}));
    EXPECT_EQ(d.tags[1], (std::pair<int, int>{138, 66}));
    EXPECT_EQ(d.tags[2], (std::pair<int, int>{285, 17}));
    if (k >= 3) {
      EXPECT_EQ(d.tags.back(), (std::pair<int, int>{339, 66}));
      EXPECT_EQ(d.texts.back(), names[k]);  // template column of a repeated group
    }
  }
  EXPECT_TRUE(c[14].tags.empty());
  EXPECT_EQ(c[15].tags, (Tags{{0, 12}, {0, 12}, {339, 66}}));
  EXPECT_EQ(c[15].texts, (std::vector<std::string>{"Base.NLP.LinDep"}));
  EXPECT_TRUE(c[17].tags.empty());
  EXPECT_EQ(c[18].tags, (Tags{{0, 12}}));
}

TEST(LinDep, DiagonalMatrix) {
  install();
  const Analysis r = analyse({4, 0, 9}, 3, 1, 2, {});
  EXPECT_EQ(r.ndep, 1);
  EXPECT_EQ(r.lind, "101");
  EXPECT_EQ(r.cov, (std::vector<double>{0.25, 0, 1.0 / 9}));
  EXPECT_EQ(methods(), (std::vector<int>{358, 358}));
  EXPECT_EQ(g_rec.calls[0].texts[0], "msg 549/340");
  EXPECT_EQ(g_rec.calls[1].texts[0], "msg 549/204 X2");
}

TEST(LinDep, ZeroMatrix) {
  struct Case {
    std::string name;
    int ipri;
    std::vector<int> calls;
  };
  for (const Case& c : {Case{"quiet", 0, {}}, Case{"printing", 1, {358}}}) {
    SCOPED_TRACE(c.name);
    testing::FakeHost& fake = install();
    const Analysis r = analyse(std::vector<double>(6, 0.0), 3, c.ipri, 0, {0, 0, 0});
    EXPECT_EQ(r.ndep, 0);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"549/205"}));
    EXPECT_EQ(methods(), c.calls);
  }
}

TEST(LinDep, ConstantVariableIsNamedNotTabulated) {
  // Variance 1e-307 next to 1: the matrix stays unscaled and the second variable, constant at
  // 0, has an equation without terms.
  install();
  const Analysis r = analyse({1, 0, 1e-307}, 2, 1, 0, {3, 0});
  EXPECT_EQ(r.ndep, 1);
  EXPECT_EQ(r.lind, "10");
  EXPECT_EQ(methods(), (std::vector<int>{358, 358}));
  EXPECT_EQ(g_rec.calls[1].texts[0], "msg 549/204 X2");
}

TEST(LinDep, EquationsReproduceTheData) {
  // Rank-deficient data by construction; each printed equation must hold on every row.
  struct Case {
    std::string name;
    int p;
    double scale;
  };
  const std::vector<Case> cases{{"unit scale", 4, 1}, {"large scale", 5, 1e6}, {"small scale", 4, 1e-6}};
  std::mt19937_64 rng(11);
  std::normal_distribution<double> g;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install();
    const long rows = 30, p = c.p;
    std::vector<double> d(static_cast<size_t>(rows * p));
    for (long i = 0; i < rows; ++i) {
      for (long j = 0; j + 1 < p; ++j) d[i * p + j] = c.scale * g(rng) * static_cast<double>(j + 1);
      d[i * p + p - 1] = 2 * d[i * p] - d[i * p + 1] + 0.5 * c.scale;
    }
    std::vector<double> mean(static_cast<size_t>(p)), cov(static_cast<size_t>(p * (p + 1) / 2));
    for (long j = 0; j < p; ++j) {
      for (long i = 0; i < rows; ++i) mean[j] += d[i * p + j];
      mean[j] /= rows;
    }
    for (long i = 0; i < p; ++i)
      for (long j = 0; j <= i; ++j) {
        double s = 0;
        for (long r = 0; r < rows; ++r) s += (d[r * p + i] - mean[i]) * (d[r * p + j] - mean[j]);
        cov[i * (i + 1) / 2 + j] = s / (rows - 1);
      }
    const Analysis r = analyse(cov, p, 1, 0, mean);
    ASSERT_EQ(r.ndep, 1);
    ASSERT_EQ(g_rec.rows.size(), 1u);
    const long j = static_cast<long>(r.lind.find('0'));
    double worst = 0;
    for (long i = 0; i < rows; ++i) {
      double fit = std::stod(g_rec.rows[0][2]);
      for (long k = 0; k < p; ++k) {
        if (k == j) continue;
        const double b = k < j ? r.cov[j * (j + 1) / 2 + k] : -r.cov[k * (k + 1) / 2 + j];
        fit += b * d[i * p + k];
      }
      worst = std::max(worst, std::fabs(fit - d[i * p + j]));
    }
    EXPECT_LT(worst / (c.scale * 1e3 * DBL_EPSILON), 30);
  }
}

TEST(LinDep, FailingOutputCallEndsThePrinting) {
  struct Case {
    int fail;
    size_t calls;  // calls made up to and including the failing one
  };
  for (const Case& c : {Case{147, 3}, Case{338, 4}, Case{422, 16}, Case{329, 17}, Case{428, 19}}) {
    SCOPED_TRACE(c.fail);
    testing::FakeHost& fake = install();
    g_rec.fail_method = c.fail;
    const Analysis r = analyse({1, 0, 1, 1, 2, 5}, 3, 1, 0, {1, 2, 3});
    EXPECT_EQ(r.ndep, 1);
    EXPECT_EQ(g_rec.calls.size(), c.calls);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"status -5"}));
    EXPECT_EQ(g_live_pools, 0);
  }
}

TEST(LinDep, NothingPrintedWithoutPrintLevel) {
  install();
  const Analysis r = analyse({1, 0, 1, 1, 2, 5}, 3, 0, 0, {});
  EXPECT_EQ(r.ndep, 1);
  EXPECT_TRUE(g_rec.calls.empty());
}

}  // namespace
}  // namespace robmat

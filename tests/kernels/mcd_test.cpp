// The MCD engine driven directly through a run descriptor carved like the MCD front end does:
// published results (hbk outliers, stack loss optimum), brute force over all h-subsets for
// small problems, invariants of the returned subset, affine equivariance, exact fits, the
// schemes and their boundaries, reproducibility, work-space checks and the printed output.
#include "mcd/mcd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "robmat/services.h"
#include "support/fake_host.h"

namespace robmat {
namespace {

// ---- data ----------------------------------------------------------------------------------
// X1-X3 of the Hawkins-Bradu-Kass data (hbk.csv): cases 1-14 are planted outliers.
const double kHbk[75 * 3] = {
    10.1, 19.6, 28.3, 9.5, 20.5, 28.9, 10.7, 20.2, 31,  9.9, 21.5, 31.7, 10.3, 21.1, 31.1, 10.8, 20.4, 29.2,
    10.5, 20.9, 29.1, 9.9, 19.6, 28.8, 9.7,  20.7, 31,  9.3, 19.7, 30.3, 11,   24,   35,   12,   23,   37,
    12,   26,   34,   11,  34,   34,   3.4,  2.9,  2.1, 3.1, 2.2,  0.3,  0,    1.6,  0.2,  2.3,  1.6,  2,
    0.8,  2.9,  1.6,  3.1, 3.4,  2.2,  2.6,  2.2,  1.9, 0.4, 3.2,  1.9,  2,    2.3,  0.8,  1.3,  2.3,  0.5,
    1,    0,    0.4,  0.9, 3.3,  2.5,  3.3,  2.5,  2.9, 1.8, 0.8,  2,    1.2,  0.9,  0.8,  1.2,  0.7,  3.4,
    3.1,  1.4,  1,    0.5, 2.4,  0.3,  1.5,  3.1,  1.5, 0.4, 0,    0.7,  3.1,  2.4,  3,    1.1,  2.2,  2.7,
    0.1,  3,    2.6,  1.5, 1.2,  0.2,  2.1,  0,    1.2, 0.5, 2,    1.2,  3.4,  1.6,  2.9,  0.3,  1,    2.7,
    0.1,  3.3,  0.9,  1.8, 0.5,  3.2,  1.9,  0.1,  0.6, 1.8, 0.5,  3,    3,    0.1,  0.8,  3.1,  1.6,  3,
    3.1,  2.5,  1.9,  2.1, 2.8,  2.9,  2.3,  1.5,  0.4, 3.3, 0.6,  1.2,  0.3,  0.4,  3.3,  1.1,  3,    0.3,
    0.5,  2.4,  0.9,  1.8, 3.2,  0.9,  1.8,  0.7,  0.7, 2.4, 3.4,  1.5,  1.6,  2.1,  3,    0.3,  1.5,  3.3,
    0.4,  3.4,  3,    0.9, 0.1,  0.3,  1.1,  2.7,  0.2, 2.8, 3,    2.9,  2,    0.7,  2.7,  0.2,  1.8,  0.8,
    1.6,  2,    1.2,  0.1, 0,    1.1,  2,    0.6,  0.3, 1,   2.2,  2.9,  2.2,  2.5,  2.3,  0.6,  2,    1.5,
    0.3,  1.7,  2.2,  0,   2.2,  1.6,  0.3,  0.4,  2.6};

// The three regressors of Brownlee's stack loss data (stackloss.csv).
const double kStack[21 * 3] = {80, 27, 89, 80, 27, 88, 75, 25, 90, 62, 24, 87, 62, 22, 87, 62,
                               23, 87, 62, 24, 93, 62, 24, 93, 58, 23, 87, 58, 18, 80, 58, 18,
                               89, 58, 17, 88, 58, 18, 82, 58, 19, 93, 50, 18, 89, 50, 18, 86,
                               50, 19, 72, 50, 19, 79, 50, 20, 80, 56, 20, 82, 70, 20, 91};

// ---- recording host ------------------------------------------------------------------------
struct CatalogueLine {
  int set;
  int number;
  const char* format;
};
const CatalogueLine kCatalogue[] = {
#include "../../host/catalogue/messages_mcd.inc"
#include "../../host/catalogue/messages_options_reports.inc"
};

const char* catalogue_format(int set, int number) {
  for (const CatalogueLine& e : kCatalogue)
    if (e.set == set && e.number == number) {
      const char* f = e.format;
      if (f[0] == '%' && f[2] == 'z') f += 3;
      return f;
    }
  return nullptr;
}

struct Recorded {
  std::vector<std::string> log;      // log lines, catalogued ones as "549/N: text"
  std::vector<std::string> lines;    // text lines of the output
  std::vector<std::string> outputs;  // names of matrices and row tables, in order
  std::vector<int> unknown;          // catalogue numbers without an entry
  std::vector<double> on_plane;      // the values of every ObsLieSubData
};
Recorded g_rec;
std::deque<std::string> g_texts;
std::deque<int> g_objects;

void* keep(std::string s) {
  g_texts.push_back(std::move(s));
  return &g_texts.back();
}

std::string format_catalogued(int set, int number, va_list ap) {
  const char* f = catalogue_format(set, number);
  if (f == nullptr) {
    g_rec.unknown.push_back(set * 10000 + number);
    return "message " + std::to_string(set) + "/" + std::to_string(number);
  }
  char buf[1024];
  std::vsnprintf(buf, sizeof buf, f, ap);
  return buf;
}

void r_xpmlog(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  g_rec.log.push_back(std::to_string(set) + "/" + std::to_string(number) + ": " +
                      format_catalogued(set, number, ap));
  va_end(ap);
}
void r_xpslog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char buf[1024];
  std::vsnprintf(buf, sizeof buf, fmt + 3, ap);
  va_end(ap);
  g_rec.log.push_back(buf);
}
void* r_rpxmsg(int32_t set, int32_t number) {
  const char* f = catalogue_format(set, number);
  if (f == nullptr) g_rec.unknown.push_back(set * 10000 + number);
  return keep(f ? f : "?");
}
void* r_rpxmsgs(int32_t set, int32_t number, ...) {
  va_list ap;
  va_start(ap, number);
  std::string s = format_catalogued(set, number, ap);
  va_end(ap);
  return keep(s);
}
void* r_rpxtxt(const char* t, int32_t len) { return keep(std::string(t, static_cast<size_t>(len))); }
void* r_rpxtxts(const char* fmt, int32_t len, ...) {
  std::string f(fmt, static_cast<size_t>(len));
  va_list ap;
  va_start(ap, len);
  char buf[512];
  std::vsnprintf(buf, sizeof buf, f.c_str(), ap);
  va_end(ap);
  return keep(buf);
}
std::string text_of(const WOB_PARM_BLK_STR* p, int n, int tag) {
  for (int k = 0; k < n; ++k)
    if (p[k].tag == tag && p[k].type == 66 && p[k].value.p) return *static_cast<std::string*>(p[k].value.p);
  return "";
}
int32_t r_wobmth(void*, void*, int32_t method, int32_t n, WOB_PARM_BLK_STR* p) {
  if (method == 147) {
    g_objects.push_back(0);
    p[2].value.p = &g_objects.back();
    g_rec.outputs.push_back(text_of(p, n, 138));
  }
  if (method == 422) {
    g_objects.push_back(0);
    p[1].value.p = &g_objects.back();
  }
  if (method == 388) {
    g_rec.outputs.push_back(text_of(p, n, 138));
    if (g_rec.outputs.back() == "ObsLieSubData") {
      int cols = 0;
      const double* v = nullptr;
      for (int k = 0; k < n; ++k) {
        if (p[k].tag == 391) cols = p[k].value.i;
        if (p[k].tag == 389) v = static_cast<const double*>(p[k].value.p);
      }
      g_rec.on_plane.insert(g_rec.on_plane.end(), v, v + cols);
    }
  }
  if (method == 358) g_rec.lines.push_back(text_of(p, n, 577));
  return 0;
}

// The dependency analysis of a singular matrix sweeps through the host; a plain sweep does.
void r_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  auto at = [x](int i, int j) -> double& { return i >= j ? x[i * (i + 1) / 2 + j] : x[j * (j + 1) / 2 + i]; };
  const double d = at(k, k);
  if (tol >= 0 ? d <= tol : std::fabs(d) <= std::fabs(tol)) return;
  for (int i = 0; i < n; ++i) work[i] = at(i, k);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j)
      if (i != k && j != k) at(i, j) -= work[i] * work[j] / d;
  for (int i = 0; i < n; ++i)
    if (i != k) at(i, k) = work[i] / d;
  at(k, k) = -1.0 / d;
  df[k] = df[k] == '1' ? '0' : '1';
}

void install_recording_host() {
  testing::install_fake_host();
  auto* lg = const_cast<RzLogVector*>(static_cast<const RzLogVector*>(v_global_gcb_anchor->vec[kVecLog]));
  lg->xpmlog = r_xpmlog;
  lg->xpslog = r_xpslog;
  auto* sys = const_cast<RzSysVector*>(static_cast<const RzSysVector*>(v_global_gcb_anchor->vec[kVecSys]));
  sys->zsweep = r_zsweep;
  auto* o = const_cast<RzObjVector*>(static_cast<const RzObjVector*>(v_global_gcb_anchor->vec[kVecObj]));
  o->wobmth = r_wobmth;
  o->rpxmsg = r_rpxmsg;
  o->rpxmsgs = r_rpxmsgs;
  o->rpxtxt = r_rpxtxt;
  o->rpxtxts = r_rpxtxts;
  g_rec = Recorded{};
  g_texts.clear();
  g_objects.clear();
}

bool logged(const std::string& prefix) {
  return std::any_of(g_rec.log.begin(), g_rec.log.end(), [&](const std::string& s) {
    return s.compare(0, prefix.size(), prefix) == 0;
  });
}

// ---- a run carved like the front end -------------------------------------------------------
struct Options {
  long h = 0;
  long nrep = 0;
  long seed = 0;
  int copr = 0;
  int nsds = 5;
  int lsds = 300;
  int ipri = 0;
  int pcov = 0;
  int pcor = 0;
  int ocor = 0;
  double cutof = 0.0;
  long lneed = 0;  // > 0: this many integers instead of the front end's count
};

constexpr double kCanary = -1.2345e-301;
constexpr size_t kPad = 8;

struct Block {
  std::vector<double> v;
  explicit Block(size_t n) : v(n + kPad, kCanary) {}
  double* data() { return v.data(); }
  bool intact(size_t n) const {
    for (size_t i = n; i < n + kPad; ++i)
      if (std::memcmp(&v[i], &kCanary, sizeof(double)) != 0) return false;
    return true;
  }
};

struct McdRun {
  long n;
  int p;
  LMTSTR str{};
  int rc = 0;
  std::vector<double> loc, scatter, eigen, cor, maha, robust, weights;
  std::vector<long> best;  // 1-based, ascending
  bool blocks_intact = true;
};

McdRun run_mcd(const double* x, long n, int p, const Options& o) {
  McdRun r;
  r.n = n;
  r.p = p;
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  const long k = o.nsds;
  const size_t na = static_cast<size_t>(n * p);
  const size_t nc = static_cast<size_t>(10 * p + 10 * k * p + (10 * k + 12) * nn);
  const long dneed = static_cast<long>(p) * p + 10 * p + 20 * k + 2 * n;
  const long lneed = o.lneed > 0 ? o.lneed : 11 * k + 5 * n + 2L * o.lsds * (k + 1);
  const size_t nx = static_cast<size_t>((o.ocor ? 2 * p + 2 : p + 2) * p);
  Block a(na), b(na), c(nc), work(static_cast<size_t>(dneed)), xmve(nx), maha(static_cast<size_t>(3 * n));
  std::vector<long> ints(static_cast<size_t>(lneed + 8), -777);
  std::vector<U_SNAME> names(static_cast<size_t>(p + 1));
  for (int j = 0; j <= p; ++j) {
    char buf[40];
    std::snprintf(buf, sizeof buf, j < p ? "VAR%d" : "Addition", j + 1);
    names[static_cast<size_t>(j)].len = static_cast<int16_t>(std::strlen(buf));
    std::memcpy(names[static_cast<size_t>(j)].name, buf, std::strlen(buf));
  }
  std::memcpy(a.data(), x, na * sizeof(double));
  const double miss = missing_value();
  for (size_t i = 0; i < static_cast<size_t>(2 * p); ++i) xmve.v[i] = miss;
  for (size_t i = 0; i < static_cast<size_t>(3 * n); ++i) maha.v[i] = miss;
  int rpx = 0;
  LMTSTR& s = r.str;
  s.nvar = p;
  s.ncas = n;
  s.nnva = nn;
  s.inca = p;
  s.ipri = o.ipri;
  s.pcov = o.pcov;
  s.pcor = o.pcor;
  s.ocor = o.ocor;
  s.jqu = o.h;
  s.nrep = o.nrep;
  s.nsds = o.nsds;
  s.lsds = o.lsds;
  s.seed = o.seed;
  s.copr = o.copr;
  s.cutof = o.cutof;
  s.sing = 1e-10;
  s.lneed = lneed;
  s.dneed = dneed;
  s.pnam = names.data();
  s.rpx = &rpx;
  s.a = a.data();
  s.b = b.data();
  s.c = c.data();
  s.work = work.data();
  s.xmve = xmve.data();
  s.maha = maha.data();
  s.jbst = ints.data() + n;
  s.iw = ints.data() + 2 * n;
  r.rc = zmcd(&s);
  r.blocks_intact = a.intact(na) && b.intact(na) && c.intact(nc) && work.intact(static_cast<size_t>(dneed)) &&
                    xmve.intact(nx) && maha.intact(static_cast<size_t>(3 * n));
  for (long i = lneed; i < lneed + 8; ++i)
    if (ints[static_cast<size_t>(i)] != -777) r.blocks_intact = false;
  r.loc.assign(xmve.v.begin(), xmve.v.begin() + p);
  r.eigen.assign(xmve.v.begin() + p, xmve.v.begin() + 2 * p);
  if (o.ocor) r.cor.assign(xmve.v.begin() + 2 * p + nn, xmve.v.begin() + 2 * p + 2 * nn);
  r.scatter.assign(c.v.begin(), c.v.begin() + nn);
  r.maha.assign(maha.v.begin(), maha.v.begin() + n);
  r.robust.assign(maha.v.begin() + n, maha.v.begin() + 2 * n);
  r.weights.assign(maha.v.begin() + 2 * n, maha.v.begin() + 3 * n);
  r.best.assign(ints.begin() + n, ints.begin() + n + s.jqu);
  r.str.a = r.str.b = r.str.c = r.str.work = r.str.xmve = r.str.maha = nullptr;
  r.str.jbst = r.str.iw = nullptr;
  r.str.pnam = nullptr;
  r.str.rpx = nullptr;
  return r;
}

// ---- reference computations ----------------------------------------------------------------
// Mean and covariance (divisor k - 1) of the rows in idx (0-based), packed lower by rows.
void moments(
    const double* x, int p, const std::vector<long>& idx, std::vector<double>* mu, std::vector<double>* cov) {
  const double k = static_cast<double>(idx.size());
  mu->assign(static_cast<size_t>(p), 0.0);
  cov->assign(static_cast<size_t>(p * (p + 1) / 2), 0.0);
  for (long i : idx)
    for (int j = 0; j < p; ++j) (*mu)[static_cast<size_t>(j)] += x[i * p + j] / k;
  for (long i : idx)
    for (int a = 0, e = 0; a < p; ++a)
      for (int b = 0; b <= a; ++b, ++e)
        (*cov)[static_cast<size_t>(e)] += (x[i * p + a] - (*mu)[a]) * (x[i * p + b] - (*mu)[b]) / (k - 1);
}

// log det of a packed symmetric positive definite matrix by Cholesky (-inf when not).
double logdet(const std::vector<double>& packed, int p) {
  std::vector<double> l(static_cast<size_t>(p * p), 0.0);
  double ld = 0.0;
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = packed[static_cast<size_t>(i * (i + 1) / 2 + j)];
      for (int k = 0; k < j; ++k) s -= l[i * p + k] * l[j * p + k];
      if (i == j) {
        if (s <= 0.0) return -INFINITY;
        l[i * p + i] = std::sqrt(s);
        ld += 2.0 * std::log(l[i * p + i]);
      } else {
        l[i * p + j] = s / l[j * p + j];
      }
    }
  return ld;
}

double subset_logdet(const double* x, int p, const std::vector<long>& best1) {
  std::vector<long> idx;
  for (long b : best1) idx.push_back(b - 1);
  std::vector<double> mu, cov;
  moments(x, p, idx, &mu, &cov);
  return logdet(cov, p);
}

// Minimum log det over all h-subsets of n cases.
double brute_force(const double* x, long n, int p, long h, std::vector<long>* arg) {
  std::vector<long> comb(static_cast<size_t>(h));
  std::iota(comb.begin(), comb.end(), 0);
  double best = INFINITY;
  for (;;) {
    std::vector<double> mu, cov;
    moments(x, p, comb, &mu, &cov);
    const double ld = logdet(cov, p);
    if (ld < best) {
      best = ld;
      *arg = comb;
    }
    long i = h - 1;
    while (i >= 0 && comb[static_cast<size_t>(i)] == n - h + i) --i;
    if (i < 0) break;
    ++comb[static_cast<size_t>(i)];
    for (long j = i + 1; j < h; ++j) comb[static_cast<size_t>(j)] = comb[static_cast<size_t>(j - 1)] + 1;
  }
  return best;
}

std::vector<double> random_data(long n, int p, unsigned seed, double outlier_shift = 0.0, long outliers = 0) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> z(0.0, 1.0);
  std::vector<double> x(static_cast<size_t>(n * p));
  for (long i = 0; i < n; ++i)
    for (int j = 0; j < p; ++j)
      x[static_cast<size_t>(i * p + j)] = z(gen) + (i < outliers ? outlier_shift : 0.0);
  return x;
}

class McdTest : public ::testing::Test {
 protected:
  void SetUp() override { install_recording_host(); }
};

// ---- draws and helpers ---------------------------------------------------------------------
TEST_F(McdTest, UniranFollowsTheCongruence) {
  long seed = 0;
  long expect = 0;
  for (int i = 0; i < 100000; ++i) {
    expect = (5761 * expect + 999) % 65536;
    ASSERT_EQ(uniran(&seed), static_cast<double>(expect) / 65536.0);
    ASSERT_EQ(seed, expect);
  }
  long neg = -1;
  uniran(&neg);
  EXPECT_EQ(neg, ((5761L * 65535 + 999) % 65536));  // -1 is 65535 mod 65536
}

TEST_F(McdTest, NcombGenpnRanproRdrawPrdraw) {
  EXPECT_EQ(ncomb(3, 22), 1540);
  EXPECT_EQ(ncomb(2, 5), 10);
  EXPECT_EQ(ncomb(4, 21), 5985);
  EXPECT_EQ(ncomb(0, 7), 1);
  EXPECT_EQ(ncomb(30, 1000), 9007199254740992L);
  // genpn walks all C(6, 3) combinations in lexicographic order.
  long c[3] = {0, 1, 2};
  long count = 1, enter = 0, leave = 0;
  std::vector<long> prev(c, c + 3);
  while (genpn(3, 6, c, &enter, &leave) == 0) {
    std::vector<long> cur(c, c + 3);
    EXPECT_TRUE(std::lexicographical_compare(prev.begin(), prev.end(), cur.begin(), cur.end()));
    prev = cur;
    ++count;
  }
  EXPECT_EQ(count, 20);
  EXPECT_EQ(prev, (std::vector<long>{3, 4, 5}));
  // ranpro: distinct indices in range.
  long seed = 7;
  for (int t = 0; t < 200; ++t) {
    long js[5];
    ranpro(5, 9, &seed, js);
    std::vector<long> v(js, js + 5);
    std::sort(v.begin(), v.end());
    EXPECT_EQ(std::unique(v.begin(), v.end()), v.end());
    EXPECT_GE(v.front(), 0);
    EXPECT_LT(v.back(), 9);
  }
  // rdraw: disjoint groups of the given sizes, ascending, group numbers beside.
  const long mini[3] = {4, 5, 3};
  std::vector<long> a(24);
  seed = 11;
  rdraw(20, 3, mini, &seed, a.data(), 12);
  EXPECT_TRUE(std::is_sorted(a.begin(), a.begin() + 12));
  EXPECT_EQ(std::adjacent_find(a.begin(), a.begin() + 12), a.begin() + 12);
  long per[3] = {0, 0, 0};
  for (int i = 0; i < 12; ++i) ++per[a[static_cast<size_t>(12 + i)]];
  EXPECT_EQ(per[0], 4);
  EXPECT_EQ(per[1], 5);
  EXPECT_EQ(per[2], 3);
  // Drawing all of m gives a partition of 0..m-1.
  const long all[2] = {3, 3};
  std::vector<long> b(12);
  rdraw(6, 2, all, &seed, b.data(), 6);
  for (long i = 0; i < 6; ++i) EXPECT_EQ(b[static_cast<size_t>(i)], i);
  // prdraw keeps the list ascending and adds a new index.
  std::vector<long> list = {2, 5, 7, 0, 0, 0, 0};
  for (long kk = 3; kk < 7; ++kk) {
    prdraw(8, kk, &seed, list.data());
    EXPECT_TRUE(std::is_sorted(list.begin(), list.begin() + kk + 1));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.begin() + kk + 1), list.begin() + kk + 1);
  }
}

TEST_F(McdTest, FindqAgreesWithNthElementAndPermutesIndices) {
  std::mt19937 gen(3);
  std::uniform_int_distribution<int> v(0, 20);
  for (int t = 0; t < 300; ++t) {
    const long m = 1 + t % 40;
    std::vector<double> x(static_cast<size_t>(m));
    for (double& e : x) e = v(gen);
    const long k = t % m;
    std::vector<double> sorted = x, work = x;
    std::sort(sorted.begin(), sorted.end());
    std::vector<long> idx(static_cast<size_t>(m));
    ASSERT_EQ(findq(k, m, work.data(), idx.data()), sorted[static_cast<size_t>(k)]);
    for (long i = 0; i < m; ++i) ASSERT_EQ(work[static_cast<size_t>(i)], x[static_cast<size_t>(idx[i])]);
    for (long i = 0; i <= k; ++i) ASSERT_LE(work[static_cast<size_t>(i)], sorted[static_cast<size_t>(k)]);
  }
  double bper = 0;
  EXPECT_EQ(nbreak2(39, 75, 3, &bper), 36);
  EXPECT_DOUBLE_EQ(bper, 48.0);
  EXPECT_EQ(nbreak2(50, 75, 3, &bper), 26);
}

TEST_F(McdTest, UnivariateMcdIsTheBestWindow) {
  std::mt19937 gen(5);
  std::normal_distribution<double> z(0, 1);
  for (int t = 0; t < 50; ++t) {
    const long n = 5 + t;
    std::vector<double> x(static_cast<size_t>(n));
    for (double& e : x) e = z(gen);
    std::sort(x.begin(), x.end());
    LMTSTR s{};
    s.ncas = n;
    s.jqu = n / 2 + 1 + t % 3;
    const long h = s.jqu;
    std::vector<double> ties(static_cast<size_t>(2 * (n - h + 1)));
    double loc = 0, scale = 0;
    long ws = -1;
    mcduni(1.0, &s, x.data(), &loc, &scale, ties.data(), &ws);
    double best = INFINITY;
    long bw = -1;
    for (long j = 0; j + h <= n; ++j) {
      double m = 0, q = 0;
      for (long i = j; i < j + h; ++i) m += x[static_cast<size_t>(i)] / static_cast<double>(h);
      for (long i = j; i < j + h; ++i) q += (x[static_cast<size_t>(i)] - m) * (x[static_cast<size_t>(i)] - m);
      if (q < best) {
        best = q;
        bw = j;
      }
    }
    EXPECT_EQ(ws, bw);
    EXPECT_NEAR(scale, std::sqrt(best / static_cast<double>(h)), 1e-12);
  }
  // Tied windows: the middle one. Values 0,0,1,1,2,2 with h = 2 tie three windows of spread 0.
  LMTSTR s{};
  s.ncas = 6;
  s.jqu = 2;
  const double x[6] = {0, 0, 1, 1, 2, 2};
  std::vector<double> ties(10);
  double loc = 0, scale = 0;
  long ws = 0;
  mcduni(1.0, &s, x, &loc, &scale, ties.data(), &ws);
  EXPECT_EQ(loc, 1.0);
  EXPECT_EQ(scale, 0.0);
}

// ---- published results ---------------------------------------------------------------------
TEST_F(McdTest, HbkFlagsExactlyTheFourteenPlantedOutliers) {
  const McdRun r = run_mcd(kHbk, 75, 3, Options{});
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_EQ(r.str.jqu, 39);
  for (long i = 0; i < 75; ++i)
    EXPECT_EQ(r.weights[static_cast<size_t>(i)], i < 14 ? 0.0 : 1.0) << "case " << i + 1;
  EXPECT_EQ(r.str.nzwe, 61);
  const double ld = subset_logdet(kHbk, 3, r.best);
  // Best known value -1.047858489 (divisor h - 1); this run reaches it.
  std::printf("hbk: raw log det of the best half %.9f, volm %.9g\n", ld, r.str.volm);
  EXPECT_NEAR(ld, -1.047858489, 1e-8);
  EXPECT_NEAR(std::log(r.str.volm), ld, 1e-10);
  EXPECT_NEAR(r.str.cutof, std::sqrt(9.348403604), 1e-6);  // chi-square(3) 0.975 quantile
  for (long b : r.best) EXPECT_GT(b, 14);
}

TEST_F(McdTest, StackLossReachesTheGlobalOptimumForHalvesOfTwelve) {
  Options o;
  o.h = 12;
  const McdRun r = run_mcd(kStack, 21, 3, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_EQ(r.str.jqu, 12);
  const double ld = subset_logdet(kStack, 3, r.best);
  std::printf("stack loss: raw log det of the best half %.9f\n", ld);
  EXPECT_NEAR(ld, 5.472581043, 1e-8);
  EXPECT_EQ(r.best, (std::vector<long>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20}));
}

// ---- brute force on small problems ---------------------------------------------------------
TEST_F(McdTest, EnumerationMatchesBruteForceOnSmallProblems) {
  int reached = 0, total = 0;
  for (int p = 1; p <= 2; ++p)
    for (long n = p + 4; n <= 14; ++n)
      for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE("p " + std::to_string(p) + " n " + std::to_string(n) + " data " + std::to_string(seed));
        const std::vector<double> x = random_data(n, p, seed * 100 + static_cast<unsigned>(n), 4.0, n / 4);
        const McdRun r = run_mcd(x.data(), n, p, Options{});
        ASSERT_EQ(r.rc, 0);
        EXPECT_TRUE(r.blocks_intact);
        if (p == 2) {
          EXPECT_EQ(r.str.algo, 0);  // n <= 22: all elemental subsets
        }
        std::vector<long> arg;
        const double bf = brute_force(x.data(), n, p, r.str.jqu, &arg);
        const double got = subset_logdet(x.data(), p, r.best);
        EXPECT_GE(got, bf - 1e-12);
        ++total;
        if (got <= bf + 1e-10) ++reached;
      }
  std::printf("small problems: global optimum reached in %d of %d\n", reached, total);
  EXPECT_EQ(reached, total);
}

// ---- invariants ----------------------------------------------------------------------------
TEST_F(McdTest, BestHalfIsAFixedPointAndDeterminantMatchesIt) {
  struct Case {
    const char* name;
    long n;
    int p;
    unsigned seed;
  };
  const Case cases[] = {{"n 40 p 2", 40, 2, 1},
                        {"n 75 p 3", 75, 3, 2},
                        {"n 200 p 4", 200, 4, 3},
                        {"n 700 p 3 (subdatasets)", 700, 3, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> x = random_data(c.n, c.p, c.seed, 6.0, c.n / 5);
    const McdRun r = run_mcd(x.data(), c.n, c.p, Options{});
    ASSERT_EQ(r.rc, 0);
    EXPECT_TRUE(r.blocks_intact);
    ASSERT_TRUE(std::is_sorted(r.best.begin(), r.best.end()));
    // The reported determinant is that of the covariance of the returned subset.
    const double ld = subset_logdet(x.data(), c.p, r.best);
    EXPECT_NEAR(std::log(r.str.volm), ld, 1e-9);
    // One more C-step from the subset's mean and covariance returns the same subset.
    std::vector<long> idx;
    for (long b : r.best) idx.push_back(b - 1);
    std::vector<double> mu, cov;
    moments(x.data(), c.p, idx, &mu, &cov);
    std::vector<double> d(static_cast<size_t>(c.n));
    // Squared distances by solving with the Cholesky factor.
    const int p = c.p;
    std::vector<double> l(static_cast<size_t>(p * p), 0.0);
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j) {
        double s = cov[static_cast<size_t>(i * (i + 1) / 2 + j)];
        for (int k = 0; k < j; ++k) s -= l[i * p + k] * l[j * p + k];
        l[i * p + j] = i == j ? std::sqrt(s) : s / l[j * p + j];
      }
    for (long i = 0; i < c.n; ++i) {
      std::vector<double> y(static_cast<size_t>(p));
      double q = 0;
      for (int a = 0; a < p; ++a) {
        double s = x[static_cast<size_t>(i * p + a)] - mu[static_cast<size_t>(a)];
        for (int k = 0; k < a; ++k) s -= l[a * p + k] * y[static_cast<size_t>(k)];
        y[static_cast<size_t>(a)] = s / l[a * p + a];
        q += y[static_cast<size_t>(a)] * y[static_cast<size_t>(a)];
      }
      d[static_cast<size_t>(i)] = q;
    }
    std::vector<long> order(static_cast<size_t>(c.n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](long a, long b) { return d[a] < d[b]; });
    std::vector<long> next(order.begin(), order.begin() + r.str.jqu);
    std::sort(next.begin(), next.end());
    EXPECT_EQ(next, idx);
  }
}

TEST_F(McdTest, AffineEquivarianceWithTheSameDraws) {
  const long n = 60;
  const int p = 3;
  const std::vector<double> x = random_data(n, p, 9, 5.0, 12);
  const double A[9] = {2.0, 0.5, -1.0, 0.0, 3.0, 0.25, 1.0, -0.5, 0.75};
  const double shift[3] = {10.0, -4.0, 100.0};
  std::vector<double> y(x.size());
  for (long i = 0; i < n; ++i)
    for (int j = 0; j < p; ++j) {
      double s = shift[j];
      for (int k = 0; k < p; ++k) s += x[static_cast<size_t>(i * p + k)] * A[k * p + j];
      y[static_cast<size_t>(i * p + j)] = s;
    }
  Options o;
  o.seed = 12345;
  const McdRun rx = run_mcd(x.data(), n, p, o);
  const McdRun ry = run_mcd(y.data(), n, p, o);
  ASSERT_EQ(rx.rc, 0);
  ASSERT_EQ(ry.rc, 0);
  EXPECT_EQ(rx.best, ry.best);
  EXPECT_EQ(rx.weights, ry.weights);
  for (int j = 0; j < p; ++j) {
    double s = shift[j];
    for (int k = 0; k < p; ++k) s += rx.loc[static_cast<size_t>(k)] * A[k * p + j];
    EXPECT_NEAR(ry.loc[static_cast<size_t>(j)], s, 1e-9 * (1 + std::fabs(s)));
  }
  auto at = [](const std::vector<double>& v, int i, int j) {
    return i >= j ? v[i * (i + 1) / 2 + j] : v[j * (j + 1) / 2 + i];
  };
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) {
      double s = 0;
      for (int a = 0; a < p; ++a)
        for (int b = 0; b < p; ++b) s += A[a * p + i] * at(rx.scatter, a, b) * A[b * p + j];
      EXPECT_NEAR(at(ry.scatter, i, j), s, 1e-9 * (1 + std::fabs(s)));
    }
  for (long i = 0; i < n; ++i)
    EXPECT_NEAR(
        rx.robust[static_cast<size_t>(i)], ry.robust[static_cast<size_t>(i)], 1e-8 * (1 + rx.robust[i]));
}

// ---- exact fits ----------------------------------------------------------------------------
TEST_F(McdTest, MoreThanHCasesOnALineEndWithTheLineOfExactFit) {
  const long n = 30;
  std::vector<double> x;
  std::mt19937 gen(4);
  std::normal_distribution<double> z(0, 1);
  for (long i = 0; i < n; ++i) {
    if (i < 20) {
      const double t = z(gen);
      x.push_back(t);
      x.push_back(2.0 * t + 1.0);
    } else {
      x.push_back(z(gen) * 3);
      x.push_back(z(gen) * 3 + 5);
    }
  }
  Options o;
  o.ipri = 1;
  o.pcov = 1;
  const McdRun r = run_mcd(x.data(), n, 2, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  ASSERT_FALSE(g_rec.lines.empty());
  EXPECT_EQ(g_rec.lines.back(), "The MCD ellipse becomes the line of exact fit.");
  EXPECT_TRUE(std::find(g_rec.lines.begin(), g_rec.lines.end(), "20 of the 30 observations lie on a line.") !=
              g_rec.lines.end());
  EXPECT_TRUE(g_rec.unknown.empty());
  EXPECT_EQ(r.str.volm, 0.0);
  // The exact-fit location and scatter are those of the 20 cases on the line.
  std::vector<long> line(20);
  std::iota(line.begin(), line.end(), 0);
  std::vector<double> mu, cov;
  moments(x.data(), 2, line, &mu, &cov);
  EXPECT_NEAR(r.loc[0], mu[0], 1e-12);
  EXPECT_NEAR(r.loc[1], mu[1], 1e-12);
  for (int e = 0; e < 3; ++e)
    EXPECT_NEAR(r.scatter[static_cast<size_t>(e)], cov[static_cast<size_t>(e)], 1e-12);
  for (long i = 0; i < n; ++i) EXPECT_TRUE(wzmis(r.robust[static_cast<size_t>(i)]));
  for (long i = 0; i < 20; ++i) EXPECT_EQ(r.weights[static_cast<size_t>(i)], 1.0);
}

TEST_F(McdTest, ConstantVariableGivesMessage972AndTheHyperplaneReport) {
  const long n = 25;
  std::vector<double> x = random_data(n, 3, 8);
  for (long i = 0; i < n; ++i) x[static_cast<size_t>(i * 3 + 1)] = 7.5;
  Options o;
  o.ipri = 1;
  const McdRun r = run_mcd(x.data(), n, 3, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_TRUE(logged("549/972"));
  EXPECT_EQ(g_rec.lines.back(), "The MCD ellipsoid becomes the plane of exact fit.");
  EXPECT_TRUE(std::find(g_rec.lines.begin(),
                        g_rec.lines.end(),
                        "25 of the 25 observations lie on a plane.") != g_rec.lines.end());
  for (double wgt : r.weights) EXPECT_EQ(wgt, 1.0);
  EXPECT_EQ(r.str.nzwe, n);
  EXPECT_EQ(r.loc[1], 7.5);
  for (double d : r.maha) EXPECT_TRUE(wzmis(d));
}

TEST_F(McdTest, ZeroMadIsAnExactFitOnTheMedianPlane) {
  const long n = 40;
  std::vector<double> x = random_data(n, 2, 21);
  for (long i = 0; i < 25; ++i) x[static_cast<size_t>(i * 2)] = 3.0;  // 25 of 40 share x1 = 3
  Options o;
  o.ipri = 1;
  const McdRun r = run_mcd(x.data(), n, 2, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_TRUE(logged("549/974"));
  EXPECT_EQ(g_rec.lines.back(), "The MCD ellipse becomes the line of exact fit.");
  EXPECT_EQ(r.loc[0], 3.0);
  for (long i = 0; i < 25; ++i) EXPECT_EQ(r.weights[static_cast<size_t>(i)], 1.0);
  // The data are restored.
  EXPECT_TRUE(r.blocks_intact);
}

TEST_F(McdTest, UnivariateRunMatchesMcduni) {
  const long n = 31;
  std::vector<double> x = random_data(n, 1, 17, 8.0, 6);
  const McdRun r = run_mcd(x.data(), n, 1, Options{});
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  const long h = r.str.jqu;
  EXPECT_EQ(h, 16);
  std::vector<double> s = x;
  std::sort(s.begin(), s.end());
  std::vector<double> ties(static_cast<size_t>(2 * (n - h + 1)));
  double loc = 0, scale = 0;
  long ws = 0;
  LMTSTR t{};
  t.ncas = n;
  t.jqu = h;
  mcduni(r.str.fact, &t, s.data(), &loc, &scale, ties.data(), &ws);
  // The raw estimate is not returned; the reweighted one uses the window's estimate: the cases
  // within sqrt(chi2_1(0.975)) scales of the window mean.
  long kept = 0;
  double mean = 0;
  for (double v : x)
    if ((v - loc) * (v - loc) / (scale * scale) <= 5.023886187) {
      ++kept;
      mean += v;
    }
  mean /= static_cast<double>(kept);
  EXPECT_EQ(r.str.nzwe, kept);
  EXPECT_NEAR(r.loc[0], mean, 1e-12);
  for (long i = 0; i < 6; ++i) EXPECT_EQ(r.weights[static_cast<size_t>(i)], 0.0);
  // The best half is the best window.
  std::vector<long> window;
  for (long i = 0; i < n; ++i)
    if (x[static_cast<size_t>(i)] >= s[static_cast<size_t>(ws)] &&
        x[static_cast<size_t>(i)] <= s[static_cast<size_t>(ws + h - 1)])
      window.push_back(i + 1);
  EXPECT_EQ(r.best, window);
}

TEST_F(McdTest, DiscreteDataGrowSingularStartsAndKeepDegenerateSolutions) {
  // Values on a coarse grid make many elemental subsets and some halves singular without an
  // exact fit: starts grow by prdraw, degenerate halves are listed with their counts.
  struct Case {
    const char* name;
    long n;
    int p;
    int levels;
  };
  const Case cases[] = {
      {"single set", 200, 3, 3}, {"subdatasets", 900, 3, 3}, {"four levels, p 4", 400, 4, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install_recording_host();
    std::mt19937 gen(91);
    std::uniform_int_distribution<int> lv(0, c.levels - 1);
    std::vector<double> x(static_cast<size_t>(c.n * c.p));
    for (double& v : x) v = lv(gen);
    Options o;
    o.ipri = 5;
    const McdRun r = run_mcd(x.data(), c.n, c.p, o);
    ASSERT_EQ(r.rc, 0);
    EXPECT_TRUE(r.blocks_intact);
    EXPECT_GT(r.str.jerd, 0);
    EXPECT_TRUE(g_rec.unknown.empty());
    long ones = 0;
    for (double wgt : r.weights) ones += wgt == 1.0;
    EXPECT_EQ(ones, r.str.nzwe);
  }
}

TEST_F(McdTest, DegenerateHalvesOfASubdatasetAreListedWithTheirCounts) {
  // 1490 of 3000 cases on a line: fewer than h = 1501, so no exact fit, but a random
  // subdataset of 300 often holds more than its h1 = 150 of them, and its halves collapse
  // onto the line: such a solution is listed with the number of its stage's cases on it.
  const long n = 3000;
  std::vector<double> x = random_data(n, 2, 101);
  for (long i = 0; i < 1490; ++i)
    x[static_cast<size_t>(2 * i + 1)] = 0.5 * x[static_cast<size_t>(2 * i)] - 1.0;
  Options o;
  o.ipri = 5;
  const McdRun r = run_mcd(x.data(), n, 2, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_EQ(r.str.jqu, 1501);
  const double most =
      g_rec.on_plane.empty() ? 0.0 : *std::max_element(g_rec.on_plane.begin(), g_rec.on_plane.end());
  EXPECT_GE(most, 150.0);
  EXPECT_LE(most, 300.0);
  EXPECT_GT(r.str.volm, 0.0);  // the raw MCD itself is regular
}

TEST_F(McdTest, PrintLevelZeroPrintsNothing) {
  Options o;
  o.pcov = 1;
  o.pcor = 1;
  const McdRun r = run_mcd(kHbk, 75, 3, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(g_rec.outputs.empty());
  EXPECT_TRUE(g_rec.lines.empty());
  EXPECT_EQ(r.str.pcov, 0);
  EXPECT_EQ(r.str.pcor, 0);
}

// ---- schemes -------------------------------------------------------------------------------
TEST_F(McdTest, SchemeBoundaries) {
  struct Case {
    const char* name;
    long n;
    int lsds;
    long nrep;
    const char* note;  // start of the scheme note
  };
  const Case cases[] = {
      {"n = 2 lsds - 1: single set",
       59,
       30,
       0,
       "The program has drawn 500 random trial subsamples of 3 cases out of 59"},
      {"n = 2 lsds: two subdatasets",
       60,
       30,
       0,
       "The program has started by randomly dividing the 60 cases into 2"},
      {"n > nsds lsds: merged sample",
       170,
       30,
       0,
       "The program has started by drawing 5 random and nonoverlapping"},
      {"p = 2, n = 22 enumerates", 22, 300, 0, "All 1540 trial subsamples of 3 out of 22"},
      {"p = 2, n = 23 draws",
       23,
       300,
       0,
       "The program has drawn 500 random trial subsamples of 3 cases out of 23"},
      {"nrep above C(n, 3) enumerates", 12, 300, 1000, "All 220 trial subsamples of 3 out of 12"},
      {"nrep below C(n, 3) draws", 12, 300, 100, "The program has drawn 100 random trial subsamples"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install_recording_host();
    const std::vector<double> x = random_data(c.n, 2, 31, 5.0, c.n / 6);
    Options o;
    o.lsds = c.lsds;
    o.nrep = c.nrep;
    o.ipri = 5;
    const McdRun r = run_mcd(x.data(), c.n, 2, o);
    ASSERT_EQ(r.rc, 0);
    EXPECT_TRUE(r.blocks_intact);
    EXPECT_TRUE(logged(c.note)) << (g_rec.log.size() > 1 ? g_rec.log[1] : "");
    EXPECT_TRUE(g_rec.unknown.empty());
  }
}

TEST_F(McdTest, FinalStageStartsOnceBeyondFiveThousandCases) {
  for (long n : {5000L, 5001L}) {
    SCOPED_TRACE(n);
    install_recording_host();
    const std::vector<double> x = random_data(n, 2, 41, 6.0, n / 10);
    Options o;
    o.ipri = 5;
    const McdRun r = run_mcd(x.data(), n, 2, o);
    ASSERT_EQ(r.rc, 0);
    EXPECT_TRUE(r.blocks_intact);
    const std::string want = "549/492: The final stage searches all " + std::to_string(n) +
                             " observations from " + (n > 5000 ? "1" : "10") + " kept solutions";
    EXPECT_TRUE(logged(want)) << want;
    for (long i = 0; i < n / 10; ++i) ASSERT_EQ(r.weights[static_cast<size_t>(i)], 0.0);
  }
}

TEST_F(McdTest, SameSeedSameResultForBothGenerators) {
  const std::vector<double> x = random_data(900, 3, 51, 4.0, 150);
  for (int copr = 0; copr <= 1; ++copr) {
    SCOPED_TRACE(copr);
    Options o;
    o.copr = copr;
    o.seed = 777;
    const McdRun a = run_mcd(x.data(), 900, 3, o);
    const McdRun b = run_mcd(x.data(), 900, 3, o);
    ASSERT_EQ(a.rc, 0);
    EXPECT_EQ(a.best, b.best);
    EXPECT_EQ(a.loc, b.loc);
    EXPECT_EQ(a.scatter, b.scatter);
    EXPECT_EQ(a.str.jlp, b.str.jlp);
    EXPECT_EQ(a.str.volm, b.str.volm);
    for (long i = 0; i < 150; ++i) EXPECT_EQ(a.weights[static_cast<size_t>(i)], 0.0);
  }
}

TEST_F(McdTest, HIsClampedIntoItsBounds) {
  const long n = 8;
  const std::vector<double> x = random_data(n, 2, 61);
  Options o;
  o.h = 7;  // upper bound 3n/4 + (p+1)/4 = 6: clamped, with message 951
  McdRun r = run_mcd(x.data(), n, 2, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.str.jqu, 6);
  EXPECT_TRUE(logged("549/951: The value of h must lie between 5 and 6"));
  o.h = 2;
  r = run_mcd(x.data(), n, 2, o);
  EXPECT_EQ(r.str.jqu, 5);
}

TEST_F(McdTest, HEqualToNIsTheClassicalEstimate) {
  // n = p + 1: the default h is n, and the only h-subset is the whole data set.
  const double x[6] = {1, 2, 4, 3, 0, 7};
  Options o;
  o.ipri = 1;
  const McdRun r = run_mcd(x, 3, 2, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_EQ(r.str.jqu, 3);
  EXPECT_TRUE(logged("549/971"));
  EXPECT_EQ(r.best, (std::vector<long>{1, 2, 3}));
  std::vector<double> mu, cov;
  moments(x, 2, {0, 1, 2}, &mu, &cov);
  EXPECT_NEAR(std::log(r.str.volm), logdet(cov, 2), 1e-12);
  EXPECT_EQ(r.str.fact, 1.0);
}

TEST_F(McdTest, ArgumentErrorsAndShortWorkSpace) {
  const double x[4] = {1, 2, 3, 4};
  EXPECT_EQ(run_mcd(x, 2, 2, Options{}).rc, -1);
  EXPECT_TRUE(logged("549/953"));
  Options o;
  o.lneed = 2 * 75 + 40;  // jbst and 40 integers: not even the selection permutation fits
  bool exited = false;
  try {
    run_mcd(kHbk, 75, 3, o);
  } catch (const testing::FakeExit& e) {
    exited = e.code == 9999;
  }
  EXPECT_TRUE(exited);
}

// ---- printed output ------------------------------------------------------------------------
TEST_F(McdTest, PrintLevelFiveWritesEveryTableWithCataloguedTexts) {
  const std::vector<double> x = random_data(700, 3, 71, 5.0, 100);
  Options o;
  o.ipri = 5;
  o.pcor = 1;
  o.ocor = 1;
  const McdRun r = run_mcd(x.data(), 700, 3, o);
  ASSERT_EQ(r.rc, 0);
  EXPECT_TRUE(r.blocks_intact);
  EXPECT_TRUE(g_rec.unknown.empty());
  for (const char* name : {"FastMCD",
                           "ClassicalMean",
                           "ClassicalCov",
                           "MedianMAD",
                           "ClassicalCorr",
                           "SizeSubData",
                           "MeanSubData",
                           "CovSubData",
                           "ObsLieSubData",
                           "BestHalf",
                           "MCDLocEst",
                           "MCDScatterEst",
                           "MCDCorr",
                           "ConsScatter",
                           "RewgtLocEst",
                           "RewgtScatter",
                           "MCDEigen",
                           "RewgtCorr",
                           "Distances"})
    EXPECT_TRUE(std::find(g_rec.outputs.begin(), g_rec.outputs.end(), name) != g_rec.outputs.end()) << name;
  EXPECT_TRUE(logged("549/970"));
  EXPECT_TRUE(logged("Considered 'halves' containing 50.2857 percent of the cases."));
  // The returned correlation matrix is that of the returned scatter.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) {
      const double c = r.scatter[static_cast<size_t>(i * (i + 1) / 2 + j)] /
                       std::sqrt(r.scatter[static_cast<size_t>(i * (i + 3) / 2)] *
                                 r.scatter[static_cast<size_t>(j * (j + 3) / 2)]);
      EXPECT_NEAR(r.cor[static_cast<size_t>(i * (i + 1) / 2 + j)], c, 1e-14);
    }
  // Eigenvalues of the returned scatter, descending, summing to its trace.
  EXPECT_GE(r.eigen[0], r.eigen[1]);
  EXPECT_GE(r.eigen[1], r.eigen[2]);
  EXPECT_NEAR(r.eigen[0] + r.eigen[1] + r.eigen[2], r.scatter[0] + r.scatter[2] + r.scatter[5], 1e-10);
}

}  // namespace
}  // namespace robmat

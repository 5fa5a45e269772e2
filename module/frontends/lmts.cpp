// LMS and LTS: robust regression by least median of squares and least trimmed squares. The
// front end checks the arguments, builds the design (intercept last) and its names, carves
// the engine's work space and the three results, runs zlmts and turns the descriptor into
// the summary, the estimates with their significance rows and the observation rows.
#include <climits>
#include <cmath>
#include <cstring>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "frontends/options.h"
#include "kernels/distrib.h"
#include "kernels/fast_search.h"
#include "regression/exchange.h"
#include "regression/fast_lts.h"
#include "regression/regression.h"
#include "robmat/arena.h"
#include "robmat/services.h"

namespace robmat {

namespace {

// opt, y, and optionally x (n rows) and a start vector.
constexpr ArgRule kLmtsArgs[] = {
    {0, kArgNumeric, 0, kStatusNotNumeric},
    {0, kArgVector, 0, kStatusShape},
    {1, kArgNumeric, 0, kStatusNotNumeric},
    {1, kArgNoMissing, 0, kStatusMissing},
    {1, kArgColumn, 0, kStatusShape},
    {2, kArgOptional, 0, 0},
    {2, kArgNumeric, 0, kStatusNotNumeric},
    {2, kArgNoMissing, 0, kStatusMissing},
    {2, kArgRowsOf, 1, kStatusShape},
    {3, kArgOptional, 0, 0},
    {3, kArgNoMissing, 0, kStatusMissing},
    {3, kArgNumeric, 0, kStatusNotNumeric},
    {3, kArgVector, 0, kStatusShape},
};

constexpr long kNoSubset = 1000000;  // jbst entries not yet filled

// Summary rows (1-based) of the robust fit and of the last least squares fit.
void store_summary(const LMTSTR& str, bool least_squares, double* sc) {
  sc[0] = static_cast<double>(str.jqu);
  sc[1] = static_cast<double>(str.jlp);
  sc[2] = static_cast<double>(str.jerd);
  sc[3] = static_cast<double>(str.nzwe);
  sc[4] = str.fckw;
  sc[5] = str.psca;
  sc[6] = str.fctw;
  sc[7] = str.rsqu;
  sc[8] = str.fact;
  if (!least_squares) return;
  sc[10] = str.fsce;
  sc[11] = str.fssq;
  sc[12] = str.rsql;
  sc[13] = str.fval;
}

// t and p values and 95% Wald limits of the least squares estimates e with standard errors
// s, one column per parameter, into rows t, t+1, t+2, t+3 of est.
void store_significance(const LMTSTR& str, const double* e, const double* s, double* est, int row) {
  const int p = str.nvar;
  const long m = str.ilsq == 2 ? str.ncas : str.nzwe;
  const long df = m - p + str.cnul;
  const double z = zprobit(0.975);
  double* tv = est + static_cast<long>(row) * p;
  double* pv = tv + p;
  double* lo = pv + p;
  double* hi = lo + p;
  const double miss = missing_value();
  for (int j = 0; j < p; ++j) {
    tv[j] = pv[j] = lo[j] = hi[j] = miss;
    if (wzmis(s[j]) || !(std::fabs(s[j]) > str.prec)) continue;
    tv[j] = e[j] / s[j];
    if (df > 0) pv[j] = zpgt2(tv[j] * tv[j], df);
    lo[j] = e[j] - s[j] * z;
    hi[j] = e[j] + s[j] * z;
  }
}

int32_t lmts(int job, DULSYM** arg, int32_t* to_n) {
  LMTSTR str;
  std::memset(&str, 0, sizeof str);
  CallFrame frame(&str);

  Arg args[4];
  fetch_arguments(arg, *to_n, args, 4);
  if (int32_t rc = check_arguments(kLmtsArgs, arg, args); rc != 0) return rc;
  const Arg& opt = args[0];
  const Arg& y = args[1];
  const Arg& x = args[2];
  const Arg& start = args[3];
  const long n = y.rows;
  const long nx = x.given ? x.cols : 0;
  const long opt1 = option_integer(option_value(opt.x(), opt.length(), 1, 0.0), INT_MIN, INT_MAX);
  const bool intercept = nx == 0 || opt1 == 0;
  const long p = intercept ? nx + 1 : nx;
  if (start.given && start.length() != p) {
    xpslog("%1zBad dimension %i of specified subset (n=%i).",
           static_cast<int>(start.length()),
           static_cast<int>(p));
    return kStatusShape;
  }
  if (int32_t rc = frame.open_manager(); rc != 0) return rc;

  read_lmts_options(&str, opt.x(), opt.length(), job, nx > 0, start.given);
  // Only FAST-LTS reads the subdataset options, and its work space is sized from them.
  if (str.flts != 0)
    if (int32_t rc = check_subdataset_options(str); rc != 0) return rc;
  const double opt8 = option_value(opt.x(), opt.length(), 8, 0.0);
  str.nvar = static_cast<int>(p);
  str.ncas = n;
  str.nnva = p * (p + 1) / 2;
  str.inca = p;
  str.incb = 1;
  const LmtsSizes sz = lmts_sizes(n, str.nvar, str.ilsq, str.flts, str.nsds, str.lsds, opt8 != 0.0 ? 1 : 0);

  Arena<double> dbl{frame.block<double>(sz.doubles), sz.doubles};
  Arena<long> lng{frame.block<long>(sz.longs), sz.longs};
  Arena<double> dbl3{str.flts != 0 ? frame.block<double>(sz.doubles3) : nullptr, sz.doubles3};
  // Robmat's option 22 asks for the exchange refinement, which keeps a box of best subsets
  // and copies of the factors; FAST-LTS never runs it.
  const bool exchange = str.flts == 0 && str.doim != 0;
  const LmtsExchangeSizes xsz = exchange ? lmts_exchange_sizes(n, str.nvar) : LmtsExchangeSizes{0, 0};
  double* xdbl = exchange ? frame.block<double>(xsz.doubles) : nullptr;
  long* xlng = exchange ? frame.block<long>(xsz.longs) : nullptr;
  str.pnam = frame.block<U_SNAME>(sz.names);
  // FAST-LTS runs the subdatasets' starts on the host's worker threads when it has more than one
  // CPU: their work space is asked for only then, so a serial call makes the requests it
  // always made.
  FastLaneSpace lanes{};
  if (str.flts != 0) lanes.threads = fast_threads(n, 0, str.nsds, str.lsds);
  if (lanes.threads > 1) {
    lanes.doubles = flts_lane_doubles(n, str.nvar, str.nsds, str.lsds, lanes.threads);
    lanes.block = frame.block<double>(lanes.doubles);
    str.secstr = &lanes;
  }
  const ResultShape shapes[3] = {
      {20, 1}, {sz.est_rows, static_cast<int32_t>(p)}, {sz.obs_rows, static_cast<int32_t>(n)}};
  double* res[3];
  if (!create_results(&frame, shapes, 3, res)) return kStatusNoSpace;
  double* sc = res[0];
  double* est = res[1];
  double* obs = res[2];

  const bool carved =
      str.flts != 0 ? lmts_carve_fast(&str, dbl, lng, dbl3) : lmts_carve_search(&str, dbl, lng);
  if (!carved || (exchange && (xdbl == nullptr || xlng == nullptr))) abort_run();
  if (exchange) lmts_carve_exchange(&str, xdbl, xlng);
  if (str.flts == 0 && str.ilsq != 0) {
    str.x = est + 2 * p;
    str.ster = est + 3 * p;
    str.qres = obs + 3 * n;
  }
  str.coef = est;
  str.wgts = obs;
  str.sres = obs + n;
  str.uhyb = obs + 2 * n;
  for (long j = 0; j < p; ++j) str.jbst[j] = kNoSubset;

  // An empty response has no data to copy (and no address); the driver refuses it.
  if (n > 0) std::memcpy(str.b, y.x(), sizeof(double) * static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    double* row = str.a + i * p;
    if (nx > 0) std::memcpy(row, x.x() + i * nx, sizeof(double) * static_cast<size_t>(nx));
    if (intercept) row[p - 1] = 1.0;
  }
  make_names(str.pnam, p, "Response");
  if (intercept) {
    static const char kIntercept[] = "Intercep";
    std::memset(str.pnam[p - 1].name, ' ', sizeof str.pnam[p - 1].name);
    std::memcpy(str.pnam[p - 1].name, kIntercept, sizeof kIntercept - 1);
    str.pnam[p - 1].len = static_cast<int16_t>(sizeof kIntercept - 1);
  }

  if (str.cofo == 2) {
    std::memcpy(str.coef, start.x(), sizeof(double) * static_cast<size_t>(p));
    for (long j = 0; j < p; ++j) str.jbst[j] = 0;
  } else if (str.cofo == 1) {
    if (int32_t rc = read_start_subset(str.jbst, start.x(), p, n); rc != 0) return rc;
  }

  const int rc = zlmts(&str);
  if (rc < 0) {
    fill_missing(sc, 20);
    fill_missing(est, sz.est_rows * p);
    fill_missing(obs, sz.obs_rows * n);
    return 0;
  }
  bool least_squares = str.ilsq != 0;
  if (rc == 1 && least_squares) {
    xpslog("%3zExact fit with LMS or LTS: %s", "WLS estimates are not computed.");
    least_squares = false;
  }
  store_summary(str, least_squares, sc);
  // Row 2: the best subset (subset search) or the least squares estimates (FAST-LTS).
  double* row2 = est + p;
  if (str.flts == 0) {
    if (str.cofo != 2)
      for (long j = 0; j < p; ++j) row2[j] = static_cast<double>(str.jbst[j] + 1);
  } else if (least_squares) {
    const double* ls = str.ilsq == 2 ? str.lsqx : str.x;
    std::memcpy(row2, ls, sizeof(double) * static_cast<size_t>(p));
    std::memcpy(est + 2 * p, str.ster, sizeof(double) * static_cast<size_t>(p));
    std::memcpy(obs + 3 * n, str.qres, sizeof(double) * static_cast<size_t>(n));
  }
  if (least_squares && sz.est_rows == 8) {
    if (str.flts == 0)
      store_significance(str, str.x, str.ster, est, 4);
    else
      store_significance(str, row2, str.ster, est, 3);
  }
  // The univariate walk through the origin draws no subsets.
  if (str.ilts == 0 && str.noint != 0 && p == 1) {
    sc[1] = sc[2] = missing_value();
    row2[0] = missing_value();
  }
  if (str.jhyb == 0) fill_missing(obs + 2 * n, n);
  return 0;
}

}  // namespace

int32_t duxlms(DULSYM** arg, int32_t* to_n) { return lmts(0, arg, to_n); }
int32_t duxlts(DULSYM** arg, int32_t* to_n) { return lmts(1, arg, to_n); }

}  // namespace robmat

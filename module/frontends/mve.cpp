// MVE: robust location and scatter by the minimum volume ellipsoid. The front end checks
// the arguments, carves the engine's work space and the three results, runs zminvol and
// turns the descriptor into the summary, the estimates and the distances.
#include "mve/mve.h"

#include <cstring>

#include "frontends/common.h"
#include "frontends/frontends.h"
#include "frontends/options.h"
#include "robmat/services.h"

namespace robmat {

namespace {

// The three results from the descriptor after a successful run.
void store_results(const LMTSTR& str, double* summary, double* est, double* dist) {
  const long n = str.ncas;
  const long p = str.nvar;
  const double m[7] = {static_cast<double>(str.jqu),
                       static_cast<double>(str.jlp),
                       static_cast<double>(str.jerd),
                       static_cast<double>(str.nzwe),
                       str.volm,
                       str.dism,
                       str.cutof};
  std::memcpy(summary, m, sizeof m);
  for (long i = 0; i < 2 * n; ++i) dist[i] = root_or_zero(dist[i]);
  expand_packed(p, str.c, est + 2 * p);
  if (str.ocor) expand_packed(p, str.h, est + (p + 2) * p);
}

}  // namespace

int32_t duxmve(DULSYM** arg, int32_t* to_n) {
  LMTSTR str;
  std::memset(&str, 0, sizeof str);
  CallFrame frame(&str);
  if (int32_t rc = frame.open_manager(); rc != 0) return rc;

  Arg args[3];
  fetch_arguments(arg, *to_n, args, 3);
  if (int32_t rc = check_arguments(kScatterArgs, arg, args); rc != 0) return rc;
  const Arg& opt = args[0];
  const Arg& x = args[1];
  const Arg& start = args[2];
  const long n = x.rows, p = x.cols;
  // The shape first: wide or empty data would ask for work space beyond any machine (or copy
  // from no data) before the engine could say that it needs more observations than variables.
  if (mve_check_problem(n, p) != 0) return kStatusShape;
  read_mve_options(&str, opt.x(), opt.length(), start.given);
  str.nvar = static_cast<int>(p);
  str.ncas = n;
  str.nnva = p * (p + 1) / 2;
  const MveSizes sz = mve_sizes(n, p, str.ocor);

  double* dbl = frame.block<double>(sz.doubles);
  long* lng = frame.block<long>(sz.longs);
  str.pnam = frame.block<U_SNAME>(sz.names);
  const ResultShape shapes[3] = {{7, 1}, {sz.est_rows, x.cols}, {3, x.rows}};
  double* res[3];
  if (!create_results(&frame, shapes, 3, res)) return kStatusNoSpace;
  double* summary = res[0];
  double* est = res[1];
  double* dist = res[2];

  mve_carve(&str, dbl, lng);
  std::memcpy(str.a, x.x(), sizeof(double) * static_cast<size_t>(n * p));
  str.xmve = est;
  str.eval = est + p;
  str.maha = dist;
  str.dmve = dist + n;
  str.wgts = dist + 2 * n;
  make_names(str.pnam, p, "Addition");

  if (start.given) {
    if (int32_t rc = read_start_subset(str.jbst, start.x(), start.length(), n); rc != 0) return rc;
  }
  const int rc = zminvol(&str, 0);
  if (rc < 0) {
    fill_missing(summary, 7);
    fill_missing(est, sz.est_rows * p);
    fill_missing(dist, 3 * n);
  } else {
    store_results(str, summary, est, dist);
  }
  return 0;
}

}  // namespace robmat

// Subset moments and distances on packed matrices. Every loop runs in index order, so a
// subset gives the same doubles whichever engine or stage asks for them.
#include "kernels/moments.h"

#include <cmath>

namespace robmat {

void subset_moments(int p, const double* x, const long* idx, long k, double* mu, double* cov, double* dv) {
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  for (int j = 0; j < p; ++j) mu[j] = 0.0;
  for (long r = 0; r < k; ++r) {
    const double* xr = x + idx[r] * p;
    for (int j = 0; j < p; ++j) mu[j] += xr[j];
  }
  for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(k);
  for (long e = 0; e < nn; ++e) cov[e] = 0.0;
  for (long r = 0; r < k; ++r) {
    const double* xr = x + idx[r] * p;
    for (int j = 0; j < p; ++j) dv[j] = xr[j] - mu[j];
    double* e = cov;
    for (int i = 0; i < p; ++i) {
      const double di = dv[i];
      for (int j = 0; j <= i; ++j) e[j] += di * dv[j];
      e += i + 1;
    }
  }
  const double f = k > 1 ? 1.0 / static_cast<double>(k - 1) : 0.0;
  for (long e = 0; e < nn; ++e) cov[e] *= f;
}

double mahad(int p, const double* x, const double* mu, const double* cinv, double* dv) {
  double q = 0.0;
  const double* row = cinv;
  for (int i = 0; i < p; ++i) {
    const double di = x[i] - mu[i];
    dv[i] = di;
    double t = 0.0;
    for (int j = 0; j < i; ++j) t += row[j] * dv[j];
    q += di * (2.0 * t + row[i] * di);
    row += i + 1;
  }
  return q;
}

void dist2p(long m, int p, const double* dat, const double* z, const double* mu, double* ndst) {
  const double* v = z + static_cast<long>(p - 1) * p;
  for (long i = 0; i < m; ++i) {
    const double* x = dat + i * p;
    double s = 0.0;
    for (int j = 0; j < p; ++j) s += (x[j] - mu[j]) * v[j];
    ndst[i] = std::fabs(s);
  }
}

void cov2cor(int p, const double* cov, double* cor, double* sd) {
  for (int j = 0; j < p; ++j) sd[j] = std::sqrt(std::fmax(cov[j * (j + 3) / 2], 0.0));
  long k = 0;
  for (int i = 0; i < p; ++i) {
    const double fi = sd[i] > 0.0 ? 1.0 / sd[i] : 1.0;
    for (int j = 0; j <= i; ++j, ++k) {
      const double fj = sd[j] > 0.0 ? 1.0 / sd[j] : 1.0;
      cor[k] = cov[k] * fi * fj;
    }
  }
}

void mcduni(
    double fact, long m, long h, const double* x, double* slutn, double* bstd, double* ties, long* wstart) {
  const long nw = m - h + 1;
  double* starts = ties + nw;
  double sum = 0.0;
  double sq = 0.0;
  for (long i = 0; i < h; ++i) {
    sum += x[i];
    sq += x[i] * x[i];
  }
  const double dh = static_cast<double>(h);
  double qmin = sq - sum * sum / dh;
  long t = 1;
  ties[0] = sum;
  starts[0] = 0.0;
  for (long j = 1; j < nw; ++j) {
    const double out = x[j - 1];
    const double in = x[j + h - 1];
    sum = sum - out + in;
    sq = sq - out * out + in * in;
    const double q = sq - sum * sum / dh;
    if (q < qmin) {
      qmin = q;
      t = 0;
    }
    if (q == qmin) {
      ties[t] = sum;
      starts[t] = static_cast<double>(j);
      ++t;
    }
  }
  const long mid = t / 2;
  slutn[0] = ties[mid] / dh;
  *wstart = static_cast<long>(starts[mid]);
  *bstd = qmin < 0.0 ? 0.0 : fact * std::sqrt(qmin / dh);
}

}  // namespace robmat

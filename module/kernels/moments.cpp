// Subset moments and distances on packed matrices. Every loop runs in index order, so a
// subset gives the same doubles whichever engine or stage asks for them.
#include "kernels/moments.h"

#include <cmath>

#include "kernels/vector.h"

namespace robmat {

void subset_moments(int p, const double* x, const long* idx, long k, double* mu, double* cov, double* dv) {
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  for (int j = 0; j < p; ++j) mu[j] = 0.0;
  for (long r = 0; r < k; ++r) {
    const double* xr = x + (idx != nullptr ? idx[r] : r) * p;
    for (int j = 0; j < p; ++j) mu[j] += xr[j];
  }
  for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(k);
  for (long e = 0; e < nn; ++e) cov[e] = 0.0;
  for (long r = 0; r < k; ++r) {
    const double* xr = x + (idx != nullptr ? idx[r] : r) * p;
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

long whitened_distances(int p,
                        long m,
                        const double* x,
                        const double* mu,
                        const double* w,
                        double limit,
                        double* d2,
                        double* dev,
                        long* act) {
  for (long t = 0; t < m; ++t) {
    act[t] = t;
    d2[t] = 0.0;
    for (int j = 0; j < p; ++j) dev[t * p + j] = x[t * p + j] - mu[j];
  }
  long live = m;
  const double* row = w;
  for (int k = 0; k < p && live > 0; ++k) {
    long kept = 0;
    for (long t = 0; t < live; ++t) {
      const long i = act[t];
      const double z = zvdot11(row, dev + i * p, k + 1);
      const double q = d2[i] + z * z;
      d2[i] = q;
      act[kept] = i;
      kept += q > limit ? 0 : 1;
    }
    live = kept;
    row += k + 1;
  }
  return live;
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

int whitening_factor(int p, const double* cov, double* w) {
  for (int i = 0; i < p; ++i) {
    double* li = w + i * (i + 1) / 2;
    for (int j = 0; j <= i; ++j) {
      const double* lj = w + j * (j + 1) / 2;
      double s = cov[i * (i + 1) / 2 + j];
      for (int k = 0; k < j; ++k) s -= li[k] * lj[k];
      if (j < i) {
        li[j] = s / lj[j];
      } else {
        if (!(s > 0.0)) return -1;
        li[i] = std::sqrt(s);
      }
    }
  }
  invert_lower(p, w);
  return 0;
}

void invert_lower(int p, double* l) {
  // Row by row from the top: row i of L^-1 needs L's row i and the rows of L^-1 above it,
  // (L^-1)_ij = -(sum over j <= k < i of L_ik (L^-1)_kj) / L_ii. Computing j upwards reads
  // only L_ik with k > j, so row i can be overwritten as it goes.
  for (int i = 0; i < p; ++i) {
    double* li = l + i * (i + 1) / 2;
    const double d = 1.0 / li[i];
    for (int j = 0; j < i; ++j) {
      double s = 0.0;
      for (int k = j; k < i; ++k) s += li[k] * l[k * (k + 1) / 2 + j];
      li[j] = s;
    }
    for (int j = 0; j < i; ++j) li[j] *= -d;
    li[i] = d;
  }
}

double whitened_distance(
    int p, const double* x, const double* mu, const double* w, double limit, double* dv) {
  double q = 0.0;
  const double* row = w;
  for (int k = 0; k < p; ++k) {
    dv[k] = x[k] - mu[k];
    const double z = zvdot11(row, dv, k + 1);
    q += z * z;
    if (q > limit) return q;
    row += k + 1;
  }
  return q;
}

}  // namespace robmat

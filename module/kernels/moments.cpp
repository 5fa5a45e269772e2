// Subset moments and distances on packed matrices. Every loop runs in index order, so a
// subset gives the same doubles whichever engine or stage asks for them.
#include "kernels/moments.h"

#include <cmath>
#include <utility>

#include "kernels/eigen.h"
#include "kernels/vector.h"

namespace robmat {

namespace {

// Rows go four at a time through the sums below, each sum still adding its terms row by row
// in index order (a + t0 + t1 + t2 + t3 from the left is the same double as four separate
// additions): one load and store of an accumulator per four rows instead of per row, and four
// independent chains for the distances. The deviations of a block live on the stack up to
// kBlockVars variables; wider data go row by row.
constexpr int kBlockRows = 4;
constexpr int kBlockVars = 32;

const double* row_of(const double* x, const long* idx, long r, int p) {
  return x + (idx != nullptr ? idx[r] : r) * p;
}

// The cross products of rows r..k-1 one row at a time.
void add_products(
    int p, const double* x, const long* idx, long r, long k, const double* mu, double* cov, double* dv) {
  for (; r < k; ++r) {
    const double* xr = row_of(x, idx, r, p);
    for (int j = 0; j < p; ++j) dv[j] = xr[j] - mu[j];
    double* e = cov;
    for (int i = 0; i < p; ++i) {
      const double di = dv[i];
      for (int j = 0; j <= i; ++j) e[j] += di * dv[j];
      e += i + 1;
    }
  }
}

}  // namespace

void subset_moments(int p, const double* x, const long* idx, long k, double* mu, double* cov, double* dv) {
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  for (int j = 0; j < p; ++j) mu[j] = 0.0;
  long r = 0;
  for (; r + kBlockRows <= k; r += kBlockRows) {
    const double* x0 = row_of(x, idx, r, p);
    const double* x1 = row_of(x, idx, r + 1, p);
    const double* x2 = row_of(x, idx, r + 2, p);
    const double* x3 = row_of(x, idx, r + 3, p);
    for (int j = 0; j < p; ++j) mu[j] = mu[j] + x0[j] + x1[j] + x2[j] + x3[j];
  }
  for (; r < k; ++r) {
    const double* xr = row_of(x, idx, r, p);
    for (int j = 0; j < p; ++j) mu[j] += xr[j];
  }
  for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(k);
  for (long e = 0; e < nn; ++e) cov[e] = 0.0;
  r = 0;
  if (p <= kBlockVars) {
    double d[kBlockRows][kBlockVars];
    for (; r + kBlockRows <= k; r += kBlockRows) {
      for (int b = 0; b < kBlockRows; ++b) {
        const double* xr = row_of(x, idx, r + b, p);
        for (int j = 0; j < p; ++j) d[b][j] = xr[j] - mu[j];
      }
      double* e = cov;
      for (int i = 0; i < p; ++i) {
        const double d0 = d[0][i], d1 = d[1][i], d2 = d[2][i], d3 = d[3][i];
        for (int j = 0; j <= i; ++j) e[j] = e[j] + d0 * d[0][j] + d1 * d[1][j] + d2 * d[2][j] + d3 * d[3][j];
        e += i + 1;
      }
    }
  }
  add_products(p, x, idx, r, k, mu, cov, dv);
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

void mahad_rows(int p, long m, const double* x, const double* mu, const double* cinv, double* d, double* dv) {
  long r = 0;
  if (p <= kBlockVars) {
    double v[kBlockRows][kBlockVars];
    for (; r + kBlockRows <= m; r += kBlockRows) {
      const double* xr = x + r * p;
      double q0 = 0.0, q1 = 0.0, q2 = 0.0, q3 = 0.0;
      const double* row = cinv;
      for (int i = 0; i < p; ++i) {
        const double a0 = xr[i] - mu[i];
        const double a1 = xr[p + i] - mu[i];
        const double a2 = xr[2 * p + i] - mu[i];
        const double a3 = xr[3 * p + i] - mu[i];
        v[0][i] = a0;
        v[1][i] = a1;
        v[2][i] = a2;
        v[3][i] = a3;
        double t0 = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0;
        for (int j = 0; j < i; ++j) {
          const double c = row[j];
          t0 += c * v[0][j];
          t1 += c * v[1][j];
          t2 += c * v[2][j];
          t3 += c * v[3][j];
        }
        const double ci = row[i];
        q0 += a0 * (2.0 * t0 + ci * a0);
        q1 += a1 * (2.0 * t1 + ci * a1);
        q2 += a2 * (2.0 * t2 + ci * a2);
        q3 += a3 * (2.0 * t3 + ci * a3);
        row += i + 1;
      }
      d[r] = q0;
      d[r + 1] = q1;
      d[r + 2] = q2;
      d[r + 3] = q3;
    }
  }
  for (; r < m; ++r) d[r] = mahad(p, x + r * p, mu, cinv, dv);
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

int whitening_factor(int p, const double* cov, double* w, double* work) {
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) w[i * p + j] = w[j * p + i] = cov[i * (i + 1) / 2 + j];
  double* d = work;
  double* e = work + p;
  ztred2(p, w, d, e);
  if (ztql2(p, w, d, e, 1) != 0 || !(d[p - 1] > 0.0)) return -1;
  // Eigenvalues descend: reverse the rows into ascending order, scaling each.
  for (int k = 0; k < p / 2; ++k)
    for (int j = 0; j < p; ++j) std::swap(w[k * p + j], w[(p - 1 - k) * p + j]);
  for (int k = 0; k < p; ++k) {
    const double f = 1.0 / std::sqrt(d[p - 1 - k]);
    for (int j = 0; j < p; ++j) w[k * p + j] *= f;
  }
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

double whitened_components(
    int p, const double* dev, const double* w, int from, int to, double q, double limit) {
  const double* row = w + static_cast<long>(from) * p;
  for (int k = from; k < to; ++k, row += p) {
    const double z = zvdot11(row, dev, p);
    q += z * z;
    if (q > limit) return q;
  }
  return q;
}

void whitened_screen(
    int p, long m, const double* x, const double* mu, const double* w, int ncomp, double* q, double* devt) {
  constexpr long B = kScreenRows;
  for (int j = 0; j < p; ++j)
    for (long t = 0; t < m; ++t) devt[j * B + t] = x[t * p + j] - mu[j];
  double acc[B];
  double z[B];
  for (long t = 0; t < B; ++t) acc[t] = 0.0;
  for (int k = 0; k < ncomp; ++k) {
    const double* row = w + static_cast<long>(k) * p;
    for (long t = 0; t < B; ++t) z[t] = 0.0;
    // By variable, then by row: each row still sums its products in variable order.
    for (int j = 0; j < p; ++j) {
      const double wkj = row[j];
      const double* dj = devt + j * B;
      for (long t = 0; t < B; ++t) z[t] += wkj * dj[t];
    }
    for (long t = 0; t < B; ++t) acc[t] += z[t] * z[t];
  }
  for (long t = 0; t < m; ++t) q[t] = acc[t];
}

}  // namespace robmat

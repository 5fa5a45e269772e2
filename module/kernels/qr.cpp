// Updated QR factorisation. Appending uses Gram-Schmidt against the current Q because Q is
// kept explicitly (the subset solve needs Q*z); moving a vector out shifts the packed
// columns into Hessenberg form and chases the subdiagonal away with Givens rotations.
#include "kernels/qr.h"

#include <cmath>

#include "kernels/machine.h"
#include "kernels/triangular.h"
#include "kernels/vector.h"

namespace robmat {

namespace {

inline long col(long j) { return j * (j + 1) / 2; }

}  // namespace

int zortvec(long m,
            long n,
            long incq,
            long incv,
            long incr,
            double* q,
            double* v,
            double* r,
            double* rho,
            double* w) {
  *rho = 0.0;
  if (m < n) return -1;
  const double norm0 = zvenorm(m, incv, v);
  if (norm0 <= kDblMin) return -2;
  for (long j = 0; j < n; ++j) r[j * incr] = 0.0;
  double prev = norm0;
  double cur = norm0;
  bool replaced = false;
  bool lost = false;
  bool accepted = false;
  for (int pass = 0; pass < 10 && !accepted; ++pass) {
    for (long j = 0; j < n; ++j) w[j] = 0.0;
    for (long i = 0; i < m; ++i) {
      const double vi = v[i * incv];
      const double* qi = q + i * incq;
      for (long j = 0; j < n; ++j) w[j] += qi[j] * vi;
    }
    for (long i = 0; i < m; ++i) v[i * incv] -= zvdot11(q + i * incq, w, n);
    for (long j = 0; j < n; ++j) r[j * incr] += w[j];
    cur = zvenorm(m, incv, v);
    if (!replaced && cur <= 1.110223024625157e-17 * norm0) {
      // v lies in the span of q to working accuracy: what is left is rounding noise with
      // no direction. The coordinate axis least represented in q is the safest new one.
      replaced = true;
      long jmin = 0;
      double smin = 0.0;
      for (long i = 0; i < m; ++i) {
        const double ss = zvdot11(q + i * incq, q + i * incq, n);
        if (i == 0 || ss < smin) {
          smin = ss;
          jmin = i;
        }
      }
      lost = !(cur > kDblMin);
      const double scale = lost ? 1.0 : cur;
      for (long i = 0; i < m; ++i) v[i * incv] = 0.0;
      v[jmin * incv] = scale;
      prev = scale;
      continue;
    }
    // 1.4142135623730951 = sqrt(2): a pass that keeps at least 1/sqrt(2) of the norm left
    // v orthogonal to working accuracy ("twice is enough").
    accepted = prev < cur * 1.4142135623730951;
    prev = cur;
  }
  if (!accepted) return -3;
  if (cur > kDblMin) {
    for (long i = 0; i < m; ++i) v[i * incv] /= cur;
    *rho = lost ? 0.0 : cur;
  }
  return 0;
}

int qrupd(long n, long nc, double* rv, double* qm, double* rm, double* w) {
  if (nc == 0) {
    for (long i = 0; i < n * (n + 1) / 2; ++i) rm[i] = 0.0;
    for (long i = 0; i < n * n; ++i) qm[i] = 0.0;
    for (long i = 0; i < n; ++i) qm[i * n + i] = 1.0;
  }
  double* rc = rm + col(nc);
  double rho = 0.0;
  const int st = zortvec(n, nc, n, 1, 1, qm, rv, rc, &rho, w);
  // 1e-12 is absolute: the callers hand in standardised data, on which a smaller remainder
  // means a numerically singular subset.
  if (st != 0 || rho < 1e-12) return 1;
  rc[nc] = rho;
  for (long i = 0; i < n; ++i) qm[i * n + nc] = rv[i];
  return 0;
}

int qrdod(long n, long nc, long ic, double* qm, double* rm, double* w) {
  if (ic >= nc - 1) return 0;
  // Column ic and the diagonals of the later columns, which become subdiagonals once
  // those columns move one place left.
  for (long i = 0; i <= ic; ++i) w[i] = rm[col(ic) + i];
  for (long j = ic + 1; j < nc; ++j) w[j] = rm[col(j) + j];
  // The first j+1 entries of old column j+1 fill exactly the slot of old column j, which
  // has been read already.
  for (long j = ic; j + 1 < nc; ++j) {
    const double* src = rm + col(j + 1);
    double* dst = rm + col(j);
    for (long i = 0; i <= j; ++i) dst[i] = src[i];
  }
  // Below the removed vector's entries the last column is zero; until its rotation comes,
  // the subdiagonal element of column k waits there in row k+1.
  double* last = rm + col(nc - 1);
  for (long i = 0; i < nc; ++i) last[i] = w[i];
  for (long k = ic; k + 1 < nc; ++k) {
    double* ck = rm + col(k);
    double a = ck[k];
    double b = last[k + 1];
    last[k + 1] = 0.0;
    double c = 1.0;
    double s = 0.0;
    zgivcon(&a, &b, &c, &s);
    ck[k] = a;
    for (long j = k + 1; j < nc; ++j) {
      double* cj = rm + col(j);
      const double x = cj[k];
      const double y = cj[k + 1];
      cj[k] = c * x + s * y;
      cj[k + 1] = c * y - s * x;
    }
    zgivapl(n, n, n, c, s, qm + k, qm + k + 1);
  }
  return 0;
}

int fosubd(long n, double* c, double* b) {
  int fail = 0;
  for (long k = 0; k < n; ++k) {
    const double* ck = c + col(k);
    if (std::fabs(ck[k]) <= kPrecDefault) {
      b[k] = 0.0;
      fail = 1;
      continue;
    }
    b[k] = (b[k] - zvdot11(ck, b, k)) / ck[k];
  }
  return fail;
}

}  // namespace robmat

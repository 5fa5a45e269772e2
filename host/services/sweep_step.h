// The host's serial sweep of one pivot on a packed symmetric matrix: the service behind
// RzSysVector::zsweep. Kept free of the host's call machinery so that tests can link it alone.
#pragma once

#include <cstdint>

namespace robmat::host {

// host_zsweep: one reversible sweep step on pivot k of a symmetric matrix, packed lower
// triangle by rows (element (i,j), j <= i, at i(i+1)/2 + j).
//   x     in,out  the packed matrix, n(n+1)/2 doubles
//   k     in      pivot, 0 <= k < n
//   n     in      order
//   df    in,out  swept state per row, '0' or '1'; df[k] is toggled when the step is taken,
//                 and the signs of row and column k follow the states of the other rows
//   work  out     n doubles of scratch (the signed pivot column)
//   tol   in      tol >= 0: no step when x(k,k) <= tol; tol < 0: no step when |x(k,k)| <= |tol|
// Returns false, with nothing changed, when k is outside 0..n-1; the caller reports
// "sweep: invalid k" through its own error path (the host's zsweep service logs and unwinds
// the routine call). Returns true otherwise, also when the pivot was too small to sweep.
bool host_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol);

}  // namespace robmat::host

// Dense LU factorisation with partial pivoting and its solver, for the small p x p systems
// of elemental subsets. Elimination by columns with negated multipliers, as in LINPACK:
// the interchanges of step k are not applied to the multipliers of earlier steps.
#pragma once

namespace robmat {

// zludec: LU factorisation with partial pivoting, in place.
//   n     in      order of A
//   inca  in      row stride of a: element (i, j) at a[i*inca + j]
//   sing  in      a pivot of absolute value <= sing counts as singular and its step is skipped
//   det   out     2 doubles or null: determinant as mantissa (1 <= |m| < 10) and decimal
//                 exponent; (0, 0) with a singular pivot, (0, 1) when the product underflows
//   a     in,out  A on entry; U on and above the diagonal, negated multipliers below
//   h     out     n pivot rows, h[k] the row chosen in step k (h[n-1] = n-1); among equal
//                 candidates the upper row
// Returns the number of singular pivots (0: regular). Allocates nothing.
long zludec(long n, long inca, double sing, double* det, double* a, long* h);

// zlusol: solves with the factors of a regular zludec, in place.
//   job   in      0: A*x = b; any other value: A'*x = b
//   n     in      order of A
//   p     in      number of right-hand sides
//   inca  in      row stride of a
//   incb  in      row stride of b; the p right-hand sides are adjacent columns
//   a     in      factors from zludec
//   b     in,out  n x p right-hand sides; the solutions on exit
//   h     in      pivot rows from zludec
void zlusol(int job, long n, long p, long inca, long incb, double* a, double* b, long* h);

}  // namespace robmat

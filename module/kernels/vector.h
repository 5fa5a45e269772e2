// Small vector kernels under the eigen, QR and triangular-update kernels: dot products,
// absolute sums and maxima, axpy, a strided plane rotation and an overflow-safe norm.
// Plain loops on raw arrays, unrolled where they sit in inner loops; nothing allocates.
#pragma once

namespace robmat {

// zvdot11: dot product of two unit-stride vectors.
//   a, b  in  n doubles each
//   n     in  length; n < 1 gives 0
// Returns sum a[i]*b[i], accumulated in index order (bit-identical to the plain loop).
// Inline: the distance kernels call it for every row and every component.
inline double zvdot11(const double* a, const double* b, long n) {
  double sum = 0.0;
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    sum += a[i] * b[i];
    sum += a[i + 1] * b[i + 1];
    sum += a[i + 2] * b[i + 2];
    sum += a[i + 3] * b[i + 3];
  }
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

// zvdots1: dot product of row jcol of a packed symmetric matrix (lower triangle by rows)
// with a vector.
//   a     in  points at element (jcol, 0) of the packed matrix
//   jcol  in  row number; elements 0..jcol of the row are contiguous, then the walk goes
//             down column jcol with a step of jcol+1, jcol+2, ...
//   b     in  n doubles
//   n     in  order of the matrix; n < 1 gives 0
// Returns sum over i < n of A(jcol, i)*b[i].
double zvdots1(const double* a, long jcol, const double* b, long n);

// zvasumj: sum of absolute values of a strided vector.
//   a  in  elements a[0], a[j], ..., a[(n-1)j]
//   j  in  stride
//   n  in  number of elements; n < 1 gives 0
double zvasumj(const double* a, long j, long n);

// zvxay11: a := a + alpha*b, unit strides.
//   a      in,out  n doubles
//   b      in      n doubles; may be the same vector as a (then a := (1+alpha)*a)
//   n      in      length; nothing happens when n < 1
//   alpha  in      multiplier; nothing happens when alpha = 0
void zvxay11(double* a, const double* b, long n, double alpha);

// zvrotg: applies the plane rotation (c, s) to two strided vectors, element by element
//   x := c*x + s*y,  y := c*y - s*x(old).
//   x, jx  in,out  first vector and its stride
//   y, jy  in,out  second vector and its stride
//   n      in      number of element pairs
void zvrotg(double* x, long jx, double* y, long jy, long n, double c, double s);

// zvamx: largest absolute value of a unit-stride vector (0 for n < 1).
double zvamx(const double* a, long n);

// zvamxj: largest absolute value of a[0], a[j], ..., a[(n-1)j] (0 for n < 1).
double zvamxj(const double* a, long j, long n);

// zvenorm: Euclidean norm without overflow or harmful underflow.
//   n     in  number of elements
//   incx  in  stride
//   x     in  elements x[0], x[incx], ...
// Returns m*sqrt(sum (x[i]/m)^2) with m the largest |x[i]|; elements too small to change
// the sum next to the largest are skipped. 0 when every element is 0 or n < 1.
double zvenorm(long n, long incx, const double* x);

}  // namespace robmat

// Plane rotations, and the row update and downdate of an upper triangular factor R with
// R'R = A'A, for subsets that gain or lose one observation at a time. R is packed by
// columns: element (i, j), i <= j, at j(j+1)/2 + i. Everything works in place.
#pragma once

namespace robmat {

// zgivcon: constructs the plane rotation that takes (a, b) to (r, 0).
//   pa  in,out  a on entry; r on exit (a unchanged when b = 0)
//   pb  in,out  b on entry; 0 on exit
//   pc  out     cosine c
//   ps  out     sine s; c*a + s*b = r and c*b - s*a = 0
// Returns the reconstruction value z: 0 when b = 0, 1 when a = 0, else s when |a| > |b|,
// else 1/c (1 when |c| <= 2.225073858507202e-305).
double zgivcon(double* pa, double* pb, double* pc, double* ps);

// zgivapl: applies a plane rotation to two strided vectors:
//   x := c*x + s*y,  y := c*y - s*x(old).
//   n     in      number of element pairs
//   incx  in      stride of x
//   incy  in      stride of y
//   c, s  in      cosine and sine; nothing happens when s = 0
//   x, y  in,out  the vectors
void zgivapl(long n, long incx, long incy, double c, double s, double* x, double* y);

// ztriup2: R becomes the factor of A'A + xx' (a row added), by Givens rotations.
//   n     in      order of R
//   incx  in      stride of x
//   r     in,out  packed upper triangular factor; every diagonal element >= 0 on exit
//   x     in      the row, n elements incx apart (not changed)
//   c, s  out     n cosines and sines of the rotations
void ztriup2(long n, long incx, double* r, double* x, double* c, double* s);

// ztrido2: R becomes the factor of A'A - xx' (a row removed), by the classical downdate.
//   n     in      order of R
//   incx  in      stride of x
//   sing  in      a diagonal, scale or norm <= sing counts as zero
//   r     in,out  packed upper triangular factor with positive diagonal
//   x     in      the row, n elements incx apart
//   c     out     n cosines
//   s     work    n doubles: the solution of R'a = x, then the sines
// Returns 0; -1 when R(0,0) <= sing; -2 when a later R(j,j) <= sing; -3 when |a| > 1 (the
// row is not removable); -4 when a rotation degenerates or a diagonal element of the result
// is <= sing times its largest. R is unchanged after -1, -2, -3 and a degenerate rotation;
// after -4 from the final test it holds the downdated factor.
int ztrido2(long n, long incx, double sing, double* r, double* x, double* c, double* s);

}  // namespace robmat

// QR factorisation of a set of vectors kept up to date as vectors are appended (Gram-Schmidt
// with reorthogonalisation) and moved out (Givens rotations), and the triangular solve
// R'z = b, so that an elemental subset that changes by one observation is solved cheaply.
// Q is n x n, row-major (element (i, j) at qm[i*n + j]), its leading columns orthonormal;
// R is packed by columns (element (i, j), i <= j, at j(j+1)/2 + i); v_j = sum_i R(i,j) q_i.
#pragma once

namespace robmat {

// zortvec: orthogonalises v against the first n columns of q (classical Gram-Schmidt,
// repeated until a pass keeps at least 1/sqrt(2) of the norm, at most 10 passes).
//   m     in      length of the vectors
//   n     in      number of orthonormal columns of q
//   incq  in      row stride of q: element (i, j) at q[i*incq + j]
//   incv  in      stride of v
//   incr  in      stride of r
//   q     in      m x n orthonormal columns
//   v     in,out  the vector; on exit the unit vector of its part orthogonal to q. When v
//                 lies in the span of q, a coordinate direction orthogonal to q instead.
//   r     out     n projection coefficients q_j'v
//   rho   out     norm of the orthogonal part (0 when nothing of v is left)
//   w     work    n doubles
// Returns 0; -1 when m < n; -2 when v is 0; -3 when no pass was accepted.
int zortvec(
    long m, long n, long incq, long incv, long incr, double* q, double* v, double* r, double* rho, double* w);

// qrupd: appends rv as vector number nc of the factorisation.
//   n   in      length of the vectors
//   nc  in      number of vectors already factored (0 starts afresh; nc < n)
//   rv  in,out  the new vector; overwritten
//   qm  in,out  Q; column nc receives the new direction
//   rm  in,out  packed R (n(n+1)/2 doubles); column nc receives the coefficients
//   w   work    n doubles
// Returns 0; 1 when the vector is dependent (orthogonal remainder below 1e-12 or failed
// orthogonalisation): then only column nc of R has changed.
int qrupd(long n, long nc, double* rv, double* qm, double* rm, double* w);

// qrdod: moves vector ic of the nc factored vectors to the last position, the later ones
// one place down, and restores the triangular form with rotations applied to R and Q.
//   n   in      length of the vectors
//   nc  in      number of factored vectors
//   ic  in      0-based position of the vector to move; ic = nc-1 changes nothing
//   qm  in,out  Q
//   rm  in,out  packed R
//   w   work    nc doubles
// Returns 0. The caller then overwrites the last position with qrupd(n, nc-1, ...).
int qrdod(long n, long nc, long ic, double* qm, double* rm, double* w);

// fosubd: solves R'z = b by forward substitution, in place.
//   n  in      order of R
//   c  in      packed R
//   b  in,out  right-hand side; z on exit, with z_k = 0 where |R(k,k)| is negligible
// Returns 0; 1 when some |R(k,k)| <= 2.2250738585072017e-300.
int fosubd(long n, double* c, double* b);

}  // namespace robmat

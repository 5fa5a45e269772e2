// The work-space layout of one LMS/LTS call: how many doubles and integers each block needs
// and where the subset search finds its vectors in them. The front end, the engine and the
// tests share these formulas, so a change of layout happens in one place.
#include "regression/regression.h"

namespace robmat {

LmtsSizes lmts_sizes(long n, int p, int ilsq, int flts, int nsds, int lsds) {
  const long pp = p;
  const long nn = pp * (pp + 1) / 2;
  LmtsSizes s{};
  s.names = pp + 1;
  if (flts == 0) {
    s.doubles = nn + (n + 2 * pp) + pp + (pp + 1) * (pp + 2) + 4 + n * (pp + 2);
    if (ilsq == 0) s.doubles += n + 2 * pp;
    s.longs = 2 * (pp + n) + 4;
    return s;
  }
  s.doubles = nn + 4 * n * (pp + 1) + pp + 4 + pp * (10L * nsds + 12);
  s.longs = 11L * nsds + 5 * n + 4 + 2L * lsds * (nsds + 1);
  s.doubles3 = (pp + 1) * n + pp + n * pp + 20L * nsds + 4 + 6 * n + 12 * pp;
  return s;
}

void lmts_place_h(LMTSTR* str) {
  const long p = str->nvar;
  str->h = str->c + (str->flts == 0 ? (p + 2) * (p + 1) / 2 : str->ncas * (p + 1));
}

void lmts_carve_search(LMTSTR* str, double* dbl, long* lng) {
  const long n = str->ncas;
  const long p = str->nvar;
  double* d = dbl;
  auto take = [&d](long k) {
    double* v = d;
    d += k;
    return v;
  };
  str->inca = p;
  str->incb = 1;
  str->a = take(n * p);
  str->b = take(n);
  str->amad = take(p);
  str->amed = take(p);
  str->c = take((p + 2) * (p + 1));
  str->rupd = take(p * (p + 1) / 2);
  str->aw = take(2 * n);
  str->work = take(p);
  if (str->ilsq == 0) {
    str->x = take(p);
    str->ster = take(p);
    str->qres = take(n);
  }
  str->jsub = lng;
  str->jbst = lng + p;
  str->iw = lng + 2 * p;
  lmts_place_h(str);
}

}  // namespace robmat

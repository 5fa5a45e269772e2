// Selector calls of the printing layer. Records are built on the stack and handed to wobmth
// in the order the host's methods expect; handles of new objects come back in the records.
#include "reports/output.h"

#include <cstring>

#include "robmat/services.h"

namespace robmat {
namespace {

constexpr int kSetModule = 549;
constexpr int kSetLabels = 0;

enum Selector : int32_t {
  kCreateTable = 147,
  kEndColumns = 298,
  kFinish = 299,
  kTitle = 316,
  kAppend = 329,
  kDefineColumn = 338,
  kTextLine = 358,
  kPrintMatrix = 388,
  kBind = 422,
  kRender = 428,
};

static_assert(sizeof(WOB_ARRAY_PARM_STR) == 24);

WOB_PARM_BLK_STR blank(int16_t tag, int8_t type) {
  WOB_PARM_BLK_STR b;
  std::memset(&b, 0, sizeof b);
  b.tag = tag;
  b.type = type;
  return b;
}

int32_t call(void* object, int32_t selector, int32_t n, WOB_PARM_BLK_STR* p) {
  return wobmth(object, nullptr, selector, n, p);
}

int32_t text_length(const char* s) { return static_cast<int32_t>(std::strlen(s)); }

// The records the two matrix printers share: 1-8 before the column names, 10-12 after.
int matrix_head(WOB_PARM_BLK_STR* p,
                const char* onam,
                int nr,
                int nc,
                const U_SNAME* rnam,
                const double* pd,
                void* title,
                int label) {
  p[0] = parm_pointer(339, kWobText, template_name(onam));
  p[1] = parm_pointer(138, kWobText, text_literal(onam));
  p[2] = parm_pointer(296, kWobText, rpxmsg(kSetLabels, label));
  p[3] = parm_pointer(267, kWobText, title);
  p[4] = parm_pointer(389, kWobDoubles, pd);
  p[5] = parm_int(390, nr > 0 ? nr : nc);
  p[6] = parm_int(391, nc);
  p[7] = parm_pointer(412, kWobShortNames, rnam);
  return 8;
}

int matrix_tail(WOB_PARM_BLK_STR* p, int nr) {
  const char* shape = nr > 0 ? "rb" : (nr == 0 ? "sb" : "db");
  p[0] = parm_chars(105, shape, 2);
  p[1] = parm_int(280, 1);
  p[2] = parm_int(371, 1);
  return 3;
}

}  // namespace

WOB_PARM_BLK_STR parm_char(int16_t tag, char c) {
  WOB_PARM_BLK_STR b = blank(tag, kWobChar);
  b.value.c = c;
  return b;
}

WOB_PARM_BLK_STR parm_int(int16_t tag, int32_t v) {
  WOB_PARM_BLK_STR b = blank(tag, kWobInt);
  b.value.i = v;
  return b;
}

WOB_PARM_BLK_STR parm_pointer(int16_t tag, WobType type, const void* p) {
  WOB_PARM_BLK_STR b = blank(tag, type);
  b.value.p = const_cast<void*>(p);  // the host only reads through input pointers
  return b;
}

WOB_PARM_BLK_STR parm_chars(int16_t tag, const char* s, int64_t len) {
  WOB_PARM_BLK_STR b = blank(tag, kWobChars);
  const WOB_ARRAY_PARM_STR a{len, len, s};
  std::memcpy(b.value.raw, &a, sizeof a);
  return b;
}

void* text_literal(const char* s) { return rpxtxt(s, text_length(s)); }

void* template_name(const char* name) {
  static const char kFormat[] = "Base.NLP.%*s";
  return rpxtxts(kFormat, static_cast<int32_t>(sizeof kFormat - 1), text_length(name), name);
}

int number_width(long n) {
  if (n < 999) return 3;
  if (n < 9999) return 4;
  return 5;
}

int text_line(void* rpx, void* text, NoteStyle style, char justify) {
  WOB_PARM_BLK_STR p[4];
  int n = 0;
  p[n++] = parm_pointer(577, kWobText, text);
  if (style == kNoteOpensSection) p[n++] = parm_int(280, 1);
  if (style != kNotePlain) p[n++] = parm_int(371, 1);
  p[n++] = parm_char(273, justify);
  return call(rpx, kTextLine, n, p);
}

int note(void* rpx, int number, NoteStyle style) { return text_line(rpx, rpxmsg(kSetModule, number), style); }

int pmat(void* rpx,
         const char* onam,
         int nr,
         int nc,
         const U_SNAME* rnam,
         const U_SNAME* cnam,
         const double* pd,
         int titl,
         int label) {
  WOB_PARM_BLK_STR p[12];
  int n = matrix_head(p, onam, nr, nc, rnam, pd, rpxmsg(kSetLabels, titl), label);
  p[n++] = parm_pointer(402, kWobShortNames, cnam);
  n += matrix_tail(p + n, nr);
  return call(rpx, kPrintMatrix, n, p);
}

int pmat2(void* rpx,
          const char* onam,
          int nr,
          int nc,
          const U_SNAME* rnam,
          const char* cnam,
          int clen,
          const double* pd,
          int titl,
          int label) {
  WOB_PARM_BLK_STR p[14];
  void* title = titl == 0 ? nullptr : rpxmsg(kSetLabels, titl);
  int n = matrix_head(p, onam, nr, nc, rnam, pd, title, label);
  p[n++] = parm_pointer(399, kWobFixedNames, cnam);
  p[n++] = parm_int(400, clen);
  p[n++] = parm_int(401, clen);
  n += matrix_tail(p + n, nr);
  return call(rpx, kPrintMatrix, n, p);
}

void fixed_width_names(char* buf, int clen, const char* const* names, int count) {
  for (int k = 0; k < count; ++k) {
    char* field = buf + static_cast<long>(k) * clen;
    int len = text_length(names[k]);
    if (len > clen) len = clen;
    std::memset(field, ' ', static_cast<size_t>(clen - len));
    std::memcpy(field + (clen - len), names[k], static_cast<size_t>(len));
  }
}

int table_create(void* rpx, const char* name, int label, void** table) {
  WOB_PARM_BLK_STR p[6] = {
      parm_chars(143, "rpx", 3),
      parm_chars(146, "data", 4),
      parm_pointer(144, kWobObject, nullptr),
      parm_int(148, -1),
      parm_pointer(138, kWobText, text_literal(name)),
      parm_pointer(296, kWobText, rpxmsg(kSetModule, label)),
  };
  const int rc = call(rpx, kCreateTable, 6, p);
  *table = p[2].value.p;
  return rc;
}

int table_title(void* table, void* title) {
  WOB_PARM_BLK_STR p[2] = {
      parm_pointer(311, kWobText, text_literal("TitleText")),
      parm_pointer(287, kWobText, title),
  };
  return call(table, kTitle, 2, p);
}

int table_column(
    void* table, ColumnType type, const char* name, void* var, int width, int clen, const char* tmpl) {
  WOB_PARM_BLK_STR p[6];
  int n = 0;
  p[n++] = parm_int(103, type);
  p[n++] = parm_pointer(138, kWobText, text_literal(name));
  p[n++] = parm_pointer(285, kWobBound, var);
  if (width != 0) p[n++] = parm_int(272, width);
  if (clen != 0) p[n++] = parm_int(289, clen);
  if (tmpl != nullptr) p[n++] = parm_pointer(339, kWobText, text_literal(tmpl));
  return call(table, kDefineColumn, n, p);
}

int table_number_column(void* table, long* var, long n) {
  return table_column(table, kColLong, "Number", var, number_width(n));
}

int table_end_columns(void* table) { return call(table, kEndColumns, 0, nullptr); }

int table_bind(void* rpx, void* table, const char* name, void** out) {
  WOB_PARM_BLK_STR p[3] = {
      parm_pointer(0, kWobObject, table),
      parm_pointer(0, kWobObject, nullptr),
      parm_pointer(339, kWobText, template_name(name)),
  };
  const int rc = call(rpx, kBind, 3, p);
  *out = p[1].value.p;
  return rc;
}

int table_append(void* table) { return call(table, kAppend, 0, nullptr); }

int table_finish(void* table, bool with_flag) {
  WOB_PARM_BLK_STR p[1] = {parm_int(300, 1)};
  return call(table, kFinish, with_flag ? 1 : 0, with_flag ? p : nullptr);
}

int table_render(void* rpx, void* out) {
  WOB_PARM_BLK_STR p[1] = {parm_pointer(0, kWobObject, out)};
  return call(rpx, kRender, 1, p);
}

}  // namespace robmat

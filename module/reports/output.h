// The module's printing layer, its one door to the host's output objects: every text line,
// matrix and row table, and the output manager itself, goes through wobmth here, with the
// selectors, tags and kinds of robmat/output_protocol.h. Engines say what to print; record
// order lives in one place. Only row tables check statuses (TableWriter); text lines and
// matrices return theirs for callers that want it.
#pragma once

#include <cstdint>

#include "robmat/host_services.h"
#include "robmat/output_protocol.h"
#include "robmat/services.h"

namespace robmat {

// Parameter records; every other byte is zero.
WOB_PARM_BLK_STR parm_char(int16_t tag, char c);
WOB_PARM_BLK_STR parm_int(int16_t tag, int32_t v);
WOB_PARM_BLK_STR parm_pointer(int16_t tag, WobType type, const void* p);  // kinds 6, 7, 11, 12, 17, 66
WOB_PARM_BLK_STR parm_chars(int16_t tag, const char* s, int64_t len);     // kind 20

// Text handles: a literal, and the template "Base.NLP.<name>" of an output name.
void* text_literal(const char* s);
void* template_name(const char* name);

// Display width of an observation-number column for n observations: 3 below 999, 4 below
// 9999, else 5.
int number_width(long n);

// ---- the output manager ---------------------------------------------------------------
// manager_create: the manager "rpx" of a call, from the root class of xobinit.
//   rpx  out  the manager, or null when the host has none to give
// Returns the status of the create call (negative: the host failed).
int32_t manager_create(void** rpx);
// manager_release: closes *rpx (when not null), releases it and clears the pointer.
// Returns the status of the close.
int32_t manager_release(void** rpx);

// ---- text lines -----------------------------------------------------------------------
// How a note sits in its section: neither flag, kTagInSection only, or both section flags.
enum NoteStyle : int {
  kNotePlain = 0,
  kNoteInSection = 1,
  kNoteOpensSection = 2,
};

// One text line. justify is 'c', or 'l' for the linear dependency notes.
int text_line(void* rpx, void* text, NoteStyle style, char justify = 'c');
// A note of message set 549 without arguments.
int note(void* rpx, int number, NoteStyle style = kNotePlain);
// A note of set 549 with arguments; their types must be those of the catalogue's format.
template <class... A>
int note_args(void* rpx, NoteStyle style, int number, A... a) {
  return text_line(rpx, rpxmsgs(kSetModule, number, a...), style);
}

// ---- matrices -------------------------------------------------------------------------
// What a matrix sends besides name, label, shape and values. Its records, in order: template,
// name, label, title (when has_title), values, rows, columns, row and column names (when
// names), shape, the two observation-number flags (when index_matrix), section flags.
struct MatrixOptions {
  void* title = nullptr;          // title handle; null sends a null title
  bool has_title = true;          // false: no title record at all
  const U_SNAME* rnam = nullptr;  // row names, or null for numbered rows
  const U_SNAME* cnam = nullptr;  // column names as U_SNAME records, or
  const char* fixed = nullptr;    // side by side, each clen characters, right-justified
  int clen = 0;
  bool names = true;          // false: neither row nor column names
  bool index_matrix = false;  // a row of observation numbers
};

// print_matrix: one matrix.
//   onam   in  output name; the template is "Base.NLP." followed by it
//   label  in  label handle
//   nr     in  rows; 0 sends a square "sb" matrix and a negative count "db", both with nc rows
//   nc     in  columns
//   pd     in  values, row-major; packed lower triangle by rows for "sb"
// Returns the status of wobmth.
int print_matrix(
    void* rpx, const char* onam, void* label, int nr, int nc, const double* pd, const MatrixOptions& opt);

// pmat, pmat2: print_matrix with a title and a label of set 0 and U_SNAME (pmat) or
// fixed-width (pmat2, width clen) column names; pmat2 sends a null title when titl is 0.
int pmat(void* rpx,
         const char* onam,
         int nr,
         int nc,
         const U_SNAME* rnam,
         const U_SNAME* cnam,
         const double* pd,
         int titl,
         int label);
int pmat2(void* rpx,
          const char* onam,
          int nr,
          int nc,
          const U_SNAME* rnam,
          const char* cnam,
          int clen,
          const double* pd,
          int titl,
          int label);

// Writes count names side by side into buf (count*clen characters, no terminator), each
// right-justified in clen characters and cut to clen when longer.
void fixed_width_names(char* buf, int clen, const char* const* names, int count);

// ---- row tables -----------------------------------------------------------------------
// TableWriter: one row table, written in the protocol's order: create, title, columns, bind,
// one append per row, finish and render. The first failing call is remembered: every later
// step is skipped (the table is abandoned) and status() returns it; with report set it is
// logged through xprrlog when it happens. Column variables are read at every append.
class TableWriter {
 public:
  explicit TableWriter(void* rpx, bool report = false) : rpx_(rpx), report_(report) {}

  // Creates the table "name" with its label (message of set 549); *slot, when given, receives
  // the table once it exists.
  TableWriter& create(const char* name, int label, void** slot = nullptr);
  TableWriter& title(void* text);  // under "TitleText"
  // A column named by a literal; width, clen and tmpl (the template column of a repeated
  // column) are sent only when nonzero / non-null.
  TableWriter& column(
      ColumnType type, const char* name, void* var, int width = 0, int clen = 0, const char* tmpl = nullptr);
  // A column headed by the catalogued label `label` of set 549.
  TableWriter& labelled_column(ColumnType type, int label, void* var);
  // The 64-bit observation-number column "Number", as wide as n observations need.
  TableWriter& number_column(long* var, long n);
  // Ends the columns and binds the table to "Base.NLP.<name>"; *out, when given, receives the
  // bound output once it exists.
  TableWriter& bind(const char* name, void** out);
  TableWriter& append();
  // Finishes (with the record 300 = 1 when flag is set) and renders. Returns status().
  int close(bool flag = false);

  bool ok() const { return rc_ >= 0; }
  int status() const { return rc_; }

 private:
  bool step(int rc);  // records rc; true while nothing has failed

  void* rpx_;
  void* table_ = nullptr;
  void* out_ = nullptr;
  bool report_;
  int rc_ = 0;
};

}  // namespace robmat

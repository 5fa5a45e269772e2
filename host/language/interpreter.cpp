// Statement execution, name resolution (variables, then builtins, then routines), indexing
// and routine calls. Every statement computes its new values first and assigns them last, so
// a failure leaves the variables as they were.
#include "language/interpreter.h"

#include <cmath>
#include <new>

#include "language/matrix_ops.h"
#include "language/parser.h"
#include "listing.h"

namespace robmat::lang {
namespace {

using host::is_missing;
using host::Matrix;
using host::Value;

std::string count(size_t n, std::string_view noun) {
  return std::to_string(n) + " " + std::string(noun) + (n == 1 ? "" : "s");
}

// Linear indices run down the columns, as in MATLAB, although storage is row-major.
double& linear(Matrix& m, int64_t k) { return m.at(k % m.rows, k / m.rows); }
double linear(const Matrix& m, int64_t k) { return m.at(k % m.rows, k / m.rows); }

}  // namespace

Interpreter::Interpreter(RoutineBackend* backend, host::Display* display, LogHandler log)
    : backend_(backend), display_(display), log_(std::move(log)) {
  builtin_context_.display = display;
}

const Value* Interpreter::get(std::string_view name) const {
  const auto it = vars_.find(name);
  return it == vars_.end() ? nullptr : &it->second;
}

void Interpreter::set(const std::string& name, Value value) { vars_[name] = std::move(value); }

std::vector<std::string> Interpreter::variable_names() const {
  std::vector<std::string> names;
  for (const auto& [name, value] : vars_) names.push_back(name);
  return names;
}

void Interpreter::fail(Loc loc, const std::string& message) const {
  throw LanguageError(*src_, loc, message);
}

void Interpreter::show(std::string_view name, const Value& v) {
  if (display_) display_->show_value(name, v);
}

void Interpreter::run(const SourceFile& source) {
  std::vector<Statement> program = parse(source);
  src_ = &source;
  for (const Statement& s : program) {
    end_stack_.clear();
    statement_ = &s;
    try {
      execute(s);
    } catch (const LanguageError&) {
      throw;
    } catch (const ValueError& e) {
      fail(s.loc, e.what());
    } catch (const std::bad_alloc&) {
      fail(s.loc, "out of memory");
    } catch (const std::exception& e) {
      fail(s.loc, e.what());
    }
  }
}

void Interpreter::execute(const Statement& s) {
  switch (s.kind) {
    case Statement::Kind::kExpr: {
      const Expr& e = *s.value;
      if (e.kind == ExprKind::kName) {
        Value v = eval(e);
        if (s.display) show(e.text, v);
        return;
      }
      Value v;
      if (e.kind == ExprKind::kApply) {
        Results r = apply(e, 1);
        if (!r.routine.empty()) {
          // A call routine on its own shows every result and assigns none.
          if (s.display) {
            for (size_t k = 0; k < r.values.size(); ++k) {
              show(r.routine + " result " + std::to_string(k + 1), r.values[k]);
            }
          }
          return;
        }
        if (r.values.empty()) return;  // write_csv, disp
        v = std::move(r.values[0]);
      } else {
        v = eval(e);
      }
      vars_["ans"] = v;
      if (s.display) show("ans", v);
      return;
    }
    case Statement::Kind::kAssign: {
      Value v = eval(*s.value);
      Value& slot = vars_[s.target.name];
      slot = std::move(v);
      if (s.display) show(s.target.name, slot);
      return;
    }
    case Statement::Kind::kIndexAssign:
      assign_indexed(s, eval(*s.value));
      if (s.display) show(s.target.name, vars_[s.target.name]);
      return;
    case Statement::Kind::kMultiAssign: {
      const size_t wanted = s.targets.size();
      Results r = apply(*s.value, static_cast<int>(wanted));
      if (r.values.size() < wanted) {
        const Expr& call = *s.value;
        const std::string who =
            call.base->kind == ExprKind::kName ? call.base->text : std::string("the right side");
        const std::string name = r.routine.empty() ? who : r.routine;
        fail(s.value->loc,
             name + (r.values.empty() ? " gives no result" : " gives " + count(r.values.size(), "result")) +
                 "; " + std::to_string(wanted) + " names are on the left");
      }
      for (size_t k = 0; k < wanted; ++k) {
        if (!s.targets[k].name.empty()) vars_[s.targets[k].name] = std::move(r.values[k]);
      }
      if (s.display) {
        for (const Target& t : s.targets) {
          if (!t.name.empty()) show(t.name, vars_[t.name]);
        }
      }
      return;
    }
  }
}

// The operand an operator applies to first: the left side of a binary operator, the operand of
// a transpose or negation, the value before "(...)" when it is not a name.
const Expr* Interpreter::left_operand(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kBinary:
    case ExprKind::kTranspose:
    case ExprKind::kNegate:
    case ExprKind::kNot:
      return e.args[0].get();
    case ExprKind::kApply:
      return e.base->kind == ExprKind::kName ? nullptr : e.base.get();
    default:
      return nullptr;
  }
}

// Left operands nest as deeply as a line is long ("1+1+...+1", "x''''", "x(1)(1)..."), so they
// are followed with a loop; only right operands and brackets recurse, and the parser bounds
// their depth.
Value Interpreter::eval(const Expr& e) {
  if (!left_operand(e)) return eval_leaf(e);
  std::vector<const Expr*> chain{&e};
  while (const Expr* next = left_operand(*chain.back())) chain.push_back(next);
  Value v = eval_leaf(*chain.back());
  chain.pop_back();
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) v = apply_operator(**it, std::move(v));
  return v;
}

Value Interpreter::apply_operator(const Expr& e, Value operand) {
  if (e.kind == ExprKind::kApply) return index(operand, e.args, "the value", e.loc);
  Value right = e.kind == ExprKind::kBinary ? eval(*e.args[1]) : Value();
  try {
    switch (e.kind) {
      case ExprKind::kNegate:
        return negate(operand);
      case ExprKind::kNot:
        return logical_not(operand);
      case ExprKind::kTranspose:
        return transpose(operand);
      default:
        return binary(e.op, operand, right);
    }
  } catch (const ValueError& err) {
    fail(e.loc, err.what());
  }
}

Value Interpreter::eval_leaf(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kNumber: {
      Matrix m = scalar(host::nan_to_missing(e.number));  // the word NaN is the missing value
      m.logical = e.text == "true" || e.text == "false";
      return m;
    }
    case ExprKind::kString:
      return e.text;
    case ExprKind::kName: {
      if (const Value* v = get(e.text)) return *v;
      if (find_builtin(e.text)) fail(e.loc, "'" + e.text + "' is a builtin; call it as " + e.text + "(...)");
      if (const host::RoutineInfo* info = backend_ ? backend_->find(e.text) : nullptr) {
        fail(e.loc, "'" + e.text + "' is a routine; call it as " + info->name + "(...)");
      }
      fail(e.loc, "'" + e.text + "' is not defined");
    }
    case ExprKind::kEnd:
      if (end_stack_.empty()) fail(e.loc, "'end' only stands inside an index, for the last position");
      return scalar(static_cast<double>(end_stack_.back()));
    case ExprKind::kAll:
      fail(e.loc, "':' alone only stands as an index, for all rows or columns");
    case ExprKind::kTilde:
      fail(e.loc, "'~' only stands on the left of '='");
    case ExprKind::kMatrix:
      return eval_matrix(e);
    case ExprKind::kRange:
      return eval_range(e);
    case ExprKind::kApply: {
      Results r = apply(e, 1);
      if (r.values.empty()) fail(e.loc, e.base->text + " gives no value to use");
      return std::move(r.values[0]);
    }
    default:
      break;
  }
  fail(e.loc, "internal error: unknown expression");
}

// Blocks in a row need equal row counts, rows need equal column counts; [] is left out.
Matrix Interpreter::eval_matrix(const Expr& e) {
  std::vector<Matrix> row_blocks;
  std::vector<Loc> row_locs;
  for (const auto& row : e.rows) {
    std::vector<Matrix> blocks;
    std::vector<const Matrix*> parts;
    for (const ExprPtr& el : row) {
      Value v = eval(*el);
      auto* m = std::get_if<Matrix>(&v);
      if (!m) fail(el->loc, "a character value cannot be part of a matrix");
      if (m->rows == 0 && m->cols == 0) continue;
      if (!blocks.empty() && m->rows != blocks.front().rows) {
        fail(el->loc,
             "cannot place " + describe(v) + " beside a block with " +
                 count(static_cast<size_t>(blocks.front().rows), "row"));
      }
      blocks.push_back(std::move(*m));
    }
    if (blocks.empty()) continue;
    for (const Matrix& b : blocks) parts.push_back(&b);
    Matrix joined = parts.size() == 1 ? std::move(blocks.front()) : hconcat(parts);
    if (!row_blocks.empty() && joined.cols != row_blocks.front().cols) {
      fail(row.front()->loc,
           "cannot stack a row of " + count(static_cast<size_t>(joined.cols), "column") + " under rows of " +
               count(static_cast<size_t>(row_blocks.front().cols), "column"));
    }
    row_blocks.push_back(std::move(joined));
  }
  if (row_blocks.empty()) return Matrix();
  if (row_blocks.size() == 1) return std::move(row_blocks.front());
  std::vector<const Matrix*> parts;
  for (const Matrix& b : row_blocks) parts.push_back(&b);
  return vconcat(parts);
}

Matrix Interpreter::eval_range(const Expr& e) {
  static const char* const kTwo[] = {"start", "end"};
  static const char* const kThree[] = {"start", "step", "end"};
  double v[3];
  for (size_t k = 0; k < e.args.size(); ++k) {
    const std::string part = e.args.size() == 2 ? kTwo[k] : kThree[k];
    Value x = eval(*e.args[k]);
    const auto* m = std::get_if<Matrix>(&x);
    if (!m || m->rows != 1 || m->cols != 1) {
      fail(e.args[k]->loc, "the " + part + " of a range must be a single number, not " + describe(x));
    }
    const double d = m->data[0];
    if (is_missing(d) || !std::isfinite(d)) {
      fail(e.args[k]->loc,
           "the " + part + " of a range must be finite, not " +
               (is_missing(d) ? std::string("NA") : host::format_number(d)));
    }
    v[k] = d;
  }
  try {
    return e.args.size() == 2 ? range(v[0], 1, v[1]) : range(v[0], v[1], v[2]);
  } catch (const ValueError& err) {
    fail(e.loc, err.what());
  }
}

std::vector<Value> Interpreter::eval_args(const Expr& e) {
  std::vector<Value> args;
  args.reserve(e.args.size());
  for (const ExprPtr& a : e.args) args.push_back(eval(*a));
  return args;
}

Interpreter::Results Interpreter::apply(const Expr& e, int wanted) {
  if (e.base->kind == ExprKind::kName) {
    const std::string& name = e.base->text;
    if (const Value* v = get(name)) return Results{{Value(index(*v, e.args, name, e.loc))}, {}};
    if (const Builtin* b = find_builtin(name)) return call_builtin(*b, e, wanted);
    if (const host::RoutineInfo* info = backend_ ? backend_->find(name) : nullptr)
      return call_routine(*info, e, wanted);
    fail(e.loc, "'" + name + "' is not a variable, a builtin or a routine");
  }
  return Results{{eval(e)}, {}};
}

Interpreter::Results Interpreter::call_builtin(const Builtin& b, const Expr& e, int wanted) {
  const std::string name(b.name);
  const auto n = static_cast<int>(e.args.size());
  if (n < b.min_args || n > b.max_args) {
    const std::string expected = b.min_args == b.max_args ? count(static_cast<size_t>(b.min_args), "argument")
                                                          : std::to_string(b.min_args) + " or " +
                                                                std::to_string(b.max_args) + " arguments";
    fail(e.loc, name + " takes " + expected + ", not " + std::to_string(n) + ": " + std::string(b.usage));
  }
  if (wanted > 1 && wanted > b.max_results) {
    fail(e.loc,
         name +
             (b.max_results == 0 ? " gives no result"
                                 : " gives " + count(static_cast<size_t>(b.max_results), "result")) +
             "; " + std::to_string(wanted) + " names are on the left");
  }
  std::vector<Value> args = eval_args(e);
  try {
    return Results{b.fn(builtin_context_, args, wanted), {}};
  } catch (const ValueError& err) {
    const Loc where = err.arg >= 0 && err.arg < n ? e.args[static_cast<size_t>(err.arg)]->loc : e.loc;
    fail(where, name + ": " + err.what());
  } catch (const host::Error& err) {
    fail(e.loc, name + ": " + err.what());
  }
}

Interpreter::Results Interpreter::call_routine(const host::RoutineInfo& info, const Expr& e, int wanted) {
  // Checked before the call: a long computation must not run only to have its results refused.
  if (wanted > info.nresults()) {
    fail(e.loc,
         info.name + " gives " + count(static_cast<size_t>(info.nresults()), "result") + "; " +
             std::to_string(wanted) + " names are on the left");
  }
  // Argument counts and kinds are the session's to check (the one place every binding
  // shares); its refusal names the argument, which the caret then points at.
  const auto n = static_cast<int>(e.args.size());
  std::vector<Value> args = eval_args(e);
  std::vector<const Value*> pointers;
  for (const Value& a : args) pointers.push_back(&a);
  host::CallResult result;
  try {
    result = backend_->call(info.name, pointers);
  } catch (const host::ArgumentError& err) {
    fail(err.index >= 0 && err.index < n ? e.args[static_cast<size_t>(err.index)]->loc : e.loc, err.what());
  } catch (const host::Error& err) {
    fail(e.loc, err.what());
  }
  if (log_) {
    // A failed engine's errors are in the failure message that follows.
    for (const host::LogEntry& entry : result.log)
      if (!result.engine_failed || entry.severity != host::LogEntry::Severity::kError) log_(entry);
  }
  // The host's verdict: the routine returned, but its engine failed and every result is
  // missing. The statement fails, as it does when the routine refuses its arguments.
  if (result.engine_failed) fail(e.loc, result.failure);
  if (result.results.empty()) fail(e.loc, info.name + " returned no result");
  if (!info.call_routine) {
    result.results.resize(1);
    // A function that gives one value per column of its data (MAD) keeps the columns' names.
    const auto* data = args.empty() ? nullptr : std::get_if<Matrix>(&args[0]);
    Matrix& value = result.results[0];
    if (data && value.rows == 1 && value.colnames.empty() &&
        static_cast<int64_t>(data->colnames.size()) == value.cols)
      value.colnames = data->colnames;
  }
  if (call_observer_) {
    CallEvent event{info.name,
                    args,
                    result,
                    src_->name() + ", line " + std::to_string(e.loc.line),
                    std::string(src_->line_text(e.loc.line)),
                    {}};
    // The names on the left, when this call is the whole right side of the statement.
    if (statement_ != nullptr && statement_->value.get() == &e) {
      if (statement_->kind == Statement::Kind::kMultiAssign) {
        for (const Target& t : statement_->targets) event.result_names.push_back(t.name);
      } else if (statement_->kind == Statement::Kind::kAssign) {
        event.result_names.push_back(statement_->target.name);
      }
    }
    call_observer_(event);
  }
  Results r;
  for (Matrix& m : result.results) r.values.emplace_back(std::move(m));
  if (info.call_routine) r.routine = info.name;
  return r;
}

std::vector<int64_t> Interpreter::indices(const Expr& arg,
                                          int64_t extent,
                                          std::string_view what,
                                          std::string_view subject) {
  std::vector<int64_t> out;
  if (arg.kind == ExprKind::kAll) {
    out.resize(static_cast<size_t>(extent));
    for (int64_t k = 0; k < extent; ++k) out[static_cast<size_t>(k)] = k;
    return out;
  }
  end_stack_.push_back(extent);
  Value v = eval(arg);
  end_stack_.pop_back();
  const auto* m = std::get_if<Matrix>(&v);
  if (!m) fail(arg.loc, "an index must be numeric, not a character value");
  if (m->logical) return selected(*m, arg, extent, what);
  out.reserve(m->data.size());
  const std::string label = what.empty() ? "index" : std::string(what) + " index";
  for (int64_t k = 0; k < static_cast<int64_t>(m->data.size()); ++k) {
    const double d = linear(*m, k);
    if (is_missing(d)) fail(arg.loc, "an index cannot be NA");
    if (!(d >= 1) || d != std::floor(d)) {
      fail(arg.loc, "indices are whole numbers from 1 up, so " + host::format_number(d) + " is not one");
    }
    if (d > static_cast<double>(extent)) {
      const std::string unit = what == "row" ? "row" : what == "column" ? "column" : "element";
      fail(arg.loc,
           label + " " + host::format_number(d) + " is out of range: " + std::string(subject) + " has " +
               count(static_cast<size_t>(extent), unit));
    }
    out.push_back(static_cast<int64_t>(d) - 1);
  }
  return out;
}

// A logical index selects the positions where it is true; it has one element per position, so a
// mask built from the data cannot be silently shorter or longer than what it selects.
std::vector<int64_t> Interpreter::selected(const Matrix& mask,
                                           const Expr& arg,
                                           int64_t extent,
                                           std::string_view what) {
  const int64_t n = mask.rows * mask.cols;
  if (n != extent) {
    const std::string unit = what == "row" ? "row" : what == "column" ? "column" : "element";
    fail(arg.loc,
         "a logical index of " + count(static_cast<size_t>(n), "element") + " cannot select among " +
             count(static_cast<size_t>(extent), unit) + "; it needs one element for each");
  }
  std::vector<int64_t> out;
  for (int64_t k = 0; k < n; ++k) {
    const double d = linear(mask, k);
    if (is_missing(d)) {
      fail(arg.loc,
           "the logical index is NA at element " + std::to_string(k + 1) +
               "; combine the condition with ~ismissing(...) to leave missing values out");
    }
    if (d != 0) out.push_back(k);
  }
  return out;
}

Matrix Interpreter::index(const Value& v,
                          const std::vector<ExprPtr>& args,
                          std::string_view subject,
                          Loc loc) {
  const auto* pm = std::get_if<Matrix>(&v);
  if (!pm) fail(loc, "cannot index a character value");
  const Matrix& m = *pm;
  if (args.empty()) return m;
  if (args.size() > 2) fail(args[2]->loc, "a matrix takes one or two indices");
  if (args.size() == 2) {
    const std::vector<int64_t> rows = indices(*args[0], m.rows, "row", subject);
    const std::vector<int64_t> cols = indices(*args[1], m.cols, "column", subject);
    Matrix r = make_matrix(static_cast<int64_t>(rows.size()), static_cast<int64_t>(cols.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
      for (size_t j = 0; j < cols.size(); ++j) {
        r.at(static_cast<int64_t>(i), static_cast<int64_t>(j)) = m.at(rows[i], cols[j]);
      }
    }
    if (!m.colnames.empty()) {
      for (int64_t j : cols) r.colnames.push_back(m.colnames[static_cast<size_t>(j)]);
    }
    if (!m.rownames.empty()) {
      for (int64_t i : rows) r.rownames.push_back(m.rownames[static_cast<size_t>(i)]);
    }
    r.logical = m.logical;
    return r;
  }
  const int64_t numel = m.rows * m.cols;
  const std::vector<int64_t> idx = indices(*args[0], numel, "", subject);
  const auto k = static_cast<int64_t>(idx.size());
  // x(:) is always a column; x(v) follows x when x is a row, else it is a column.
  const bool as_row = m.rows == 1 && args[0]->kind != ExprKind::kAll;
  Matrix r = as_row ? Matrix(1, k) : Matrix(k, 1);
  for (int64_t p = 0; p < k; ++p) r.data[static_cast<size_t>(p)] = linear(m, idx[static_cast<size_t>(p)]);
  r.logical = m.logical;
  if (as_row && !m.colnames.empty()) {
    for (int64_t j : idx) r.colnames.push_back(m.colnames[static_cast<size_t>(j)]);
  }
  if (as_row) r.rownames = m.rownames;
  // A column taken from a column keeps the names of the rows it takes.
  if (!as_row && m.cols == 1 && !m.rownames.empty()) {
    for (int64_t i : idx) r.rownames.push_back(m.rownames[static_cast<size_t>(i)]);
  }
  return r;
}

void Interpreter::assign_indexed(const Statement& s, Value value) {
  const std::string& name = s.target.name;
  const Value* current = get(name);
  if (!current)
    fail(s.target.loc, "'" + name + "' is not defined; assign all of it before assigning into it");
  const auto* pm = std::get_if<Matrix>(current);
  if (!pm) fail(s.target.loc, "cannot assign into '" + name + "', a character value");
  const auto* pv = std::get_if<Matrix>(&value);
  if (!pv) fail(s.value->loc, "a character value cannot be assigned into the matrix '" + name + "'");
  if (s.indices.empty() || s.indices.size() > 2) {
    fail(s.target.loc, "assignment into '" + name + "' takes one or two indices");
  }
  Matrix m = *pm;
  const Matrix& v = *pv;
  if (!v.logical) m.logical = false;  // a number put into a mask makes it an ordinary matrix
  const bool is_scalar = v.rows == 1 && v.cols == 1;
  if (s.indices.size() == 2) {
    const std::vector<int64_t> rows = indices(*s.indices[0], m.rows, "row", name);
    const std::vector<int64_t> cols = indices(*s.indices[1], m.cols, "column", name);
    const auto nr = static_cast<int64_t>(rows.size()), nc = static_cast<int64_t>(cols.size());
    const bool same_shape = v.rows == nr && v.cols == nc;
    const bool vector_fit =
        (nr == 1 || nc == 1) && (v.rows == 1 || v.cols == 1) && v.rows * v.cols == nr * nc;
    if (!is_scalar && !same_shape && !vector_fit) {
      fail(s.value->loc,
           "cannot assign " + describe(value) + " to a " + std::to_string(nr) + "x" + std::to_string(nc) +
               " part of '" + name + "'");
    }
    for (int64_t i = 0; i < nr; ++i) {
      for (int64_t j = 0; j < nc; ++j) {
        const double x = is_scalar    ? v.data[0]
                         : same_shape ? v.at(i, j)
                                      : v.data[static_cast<size_t>(i * nc + j)];
        m.at(rows[static_cast<size_t>(i)], cols[static_cast<size_t>(j)]) = x;
      }
    }
  } else {
    const std::vector<int64_t> idx = indices(*s.indices[0], m.rows * m.cols, "", name);
    const auto k = static_cast<int64_t>(idx.size());
    if (!is_scalar && v.rows * v.cols != k) {
      fail(s.value->loc,
           "cannot assign " + describe(value) + " to " + count(static_cast<size_t>(k), "element") + " of '" +
               name + "'");
    }
    // Values are taken down the columns, like the positions they fill.
    for (int64_t p = 0; p < k; ++p)
      linear(m, idx[static_cast<size_t>(p)]) = is_scalar ? v.data[0] : linear(v, p);
  }
  vars_[name] = std::move(m);
}

}  // namespace robmat::lang

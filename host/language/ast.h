// Syntax tree of the robmat language. One Expr type with a kind tag keeps the tree small; the
// interpreter decides at run time whether name(args) indexes a variable or calls a builtin or
// a routine, as MATLAB does.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "language/source.h"

namespace robmat::lang {

enum class ExprKind {
  kNumber,     // number (NA, Inf, NaN, true and false included; text "true"/"false" for those)
  kString,     // text
  kName,       // text
  kEnd,        // 'end' inside an index
  kAll,        // ':' alone as an index
  kTilde,      // '~' (only valid as a target of a multiple assignment)
  kMatrix,     // rows
  kRange,      // args: start, stop or start, step, stop
  kNegate,     // args: operand
  kNot,        // args: operand
  kBinary,     // op, args: left, right
  kTranspose,  // args: operand
  kApply,      // base(args): indexing or a call
};

enum class BinOp {
  kAdd,
  kSub,
  kMatMul,
  kDiv,
  kElemMul,
  kElemDiv,
  kElemPow,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kEqual,
  kNotEqual,
  kAnd,
  kOr,
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  Expr() = default;
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
  // A line such as "1+1+...+1" or "x''''..." makes a tree as deep as the line is long, too
  // deep for recursive destruction: the children are taken apart with a loop instead.
  ~Expr();

  ExprKind kind;
  Loc loc;  // operators: the operator; apply: the base; matrix: the '['
  double number = 0;
  std::string text;
  BinOp op = BinOp::kAdd;
  ExprPtr base;
  std::vector<ExprPtr> args;
  std::vector<std::vector<ExprPtr>> rows;
};

inline Expr::~Expr() {
  auto detach = [](Expr& e, std::vector<ExprPtr>& out) {
    if (e.base) out.push_back(std::move(e.base));
    for (ExprPtr& a : e.args) {
      if (a) out.push_back(std::move(a));
    }
    for (auto& row : e.rows) {
      for (ExprPtr& a : row) {
        if (a) out.push_back(std::move(a));
      }
    }
    e.args.clear();
    e.rows.clear();
  };
  if (!base && args.empty() && rows.empty()) return;
  std::vector<ExprPtr> pending;
  detach(*this, pending);
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    detach(*e, pending);
  }
}

struct Target {
  std::string name;  // empty for '~'
  Loc loc;
};

struct Statement {
  enum class Kind { kExpr, kAssign, kIndexAssign, kMultiAssign };
  Kind kind = Kind::kExpr;
  Loc loc;
  bool display = true;           // no ';' after it
  Target target;                 // kAssign, kIndexAssign
  std::vector<ExprPtr> indices;  // kIndexAssign
  std::vector<Target> targets;   // kMultiAssign
  ExprPtr value;
};

}  // namespace robmat::lang

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
  kNumber,     // number (NA, Inf and NaN included)
  kString,     // text
  kName,       // text
  kEnd,        // 'end' inside an index
  kAll,        // ':' alone as an index
  kTilde,      // '~' (only valid as a target of a multiple assignment)
  kMatrix,     // rows
  kRange,      // args: start, stop or start, step, stop
  kNegate,     // args: operand
  kBinary,     // op, args: left, right
  kTranspose,  // args: operand
  kApply,      // base(args): indexing or a call
};

enum class BinOp { kAdd, kSub, kMatMul, kDiv, kElemMul, kElemDiv, kElemPow };

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  ExprKind kind;
  Loc loc;  // operators: the operator; apply: the base; matrix: the '['
  double number = 0;
  std::string text;
  BinOp op = BinOp::kAdd;
  ExprPtr base;
  std::vector<ExprPtr> args;
  std::vector<std::vector<ExprPtr>> rows;
};

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

// Fuzz target for the lexer and parser. Properties: any text either parses or fails with a
// LanguageError (never a crash, a hang or another exception); and a program that parses,
// printed back with the brackets its precedence needs, parses to the same program (print,
// parse, print agree).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "language/parser.h"

namespace {

using robmat::lang::BinOp;
using robmat::lang::Expr;
using robmat::lang::ExprKind;
using robmat::lang::Statement;

const char* op_text(BinOp op) {
  switch (op) {
    case BinOp::kAdd:
      return "+";
    case BinOp::kSub:
      return "-";
    case BinOp::kMatMul:
      return "*";
    case BinOp::kDiv:
      return "/";
    case BinOp::kElemMul:
      return ".*";
    case BinOp::kElemDiv:
      return "./";
    case BinOp::kElemPow:
      return ".^";
    case BinOp::kLess:
      return "<";
    case BinOp::kLessEqual:
      return "<=";
    case BinOp::kGreater:
      return ">";
    case BinOp::kGreaterEqual:
      return ">=";
    case BinOp::kEqual:
      return "==";
    case BinOp::kNotEqual:
      return "~=";
    case BinOp::kAnd:
      return "&";
    case BinOp::kOr:
      break;
  }
  return "|";
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out + '"';
}

// Precedence levels, loosest first, as the parser reads them.
enum Level { kOr = 1, kAnd, kCompare, kRange, kAdd, kMul, kUnary, kPower, kPostfix, kPrimary };

int level(BinOp op) {
  switch (op) {
    case BinOp::kOr:
      return kOr;
    case BinOp::kAnd:
      return kAnd;
    case BinOp::kAdd:
    case BinOp::kSub:
      return kAdd;
    case BinOp::kMatMul:
    case BinOp::kDiv:
    case BinOp::kElemMul:
    case BinOp::kElemDiv:
      return kMul;
    case BinOp::kElemPow:
      return kPower;
    default:
      return kCompare;
  }
}

int level(const Expr& e) {
  switch (e.kind) {
    case ExprKind::kRange:
      return kRange;
    case ExprKind::kNegate:
    case ExprKind::kNot:
      return kUnary;
    case ExprKind::kBinary:
      return level(e.op);
    case ExprKind::kTranspose:
    case ExprKind::kApply:
      return kPostfix;
    default:
      return kPrimary;
  }
}

std::string print(const Expr& e);

// Brackets only where the precedence needs them, so a long chain prints as flat as it was
// written (full bracketing would nest it beyond the parser's depth limit). No spaces are
// written, so white space inside [ ] cannot change what the text means.
std::string operand(const Expr& e, int at_least) {
  std::string text = print(e);
  if (level(e) < at_least) return "(" + text + ")";
  // "1." before a postfix quote would lex as "1" and ".'".
  if (e.kind == ExprKind::kNumber && !text.empty() && text.back() == '.' && at_least == kPostfix)
    return "(" + text + ")";
  return text;
}

// An exponent may carry signs of its own ("2.^-1") but nothing else looser than postfix.
std::string exponent(const Expr& e) {
  const Expr* inner = &e;
  while (inner->kind == ExprKind::kNegate) inner = inner->args[0].get();
  return level(*inner) >= kPostfix ? print(e) : "(" + print(e) + ")";
}

std::string print(const Expr& e) {
  auto list = [](const std::vector<robmat::lang::ExprPtr>& items) {
    std::string out;
    for (size_t k = 0; k < items.size(); ++k) out += (k ? "," : "") + print(*items[k]);
    return out;
  };
  switch (e.kind) {
    case ExprKind::kNumber:
    case ExprKind::kName:
      return e.text;
    case ExprKind::kString:
      return quoted(e.text);
    case ExprKind::kEnd:
      return "end";
    case ExprKind::kAll:
      return ":";
    case ExprKind::kTilde:
      return "~";
    case ExprKind::kMatrix: {
      std::string out = "[";
      for (size_t r = 0; r < e.rows.size(); ++r) out += (r ? ";" : "") + list(e.rows[r]);
      return out + "]";
    }
    case ExprKind::kRange: {
      std::string out;
      for (size_t k = 0; k < e.args.size(); ++k) out += (k ? ":" : "") + operand(*e.args[k], kAdd);
      return out;
    }
    case ExprKind::kNegate:
      return "-" + operand(*e.args[0], kUnary);
    case ExprKind::kNot:
      return "~" + operand(*e.args[0], kUnary);
    case ExprKind::kBinary: {
      const int p = level(e.op);
      if (e.op == BinOp::kElemPow) return operand(*e.args[0], kPower) + ".^" + exponent(*e.args[1]);
      return operand(*e.args[0], p) + op_text(e.op) + operand(*e.args[1], p + 1);
    }
    case ExprKind::kTranspose:
      return operand(*e.args[0], kPostfix) + "'";
    case ExprKind::kApply:
      return operand(*e.base, kPostfix) + "(" + list(e.args) + ")";
  }
  std::abort();
}

std::string print(const std::vector<Statement>& program) {
  std::string out;
  for (const Statement& s : program) {
    switch (s.kind) {
      case Statement::Kind::kExpr:
        break;
      case Statement::Kind::kAssign:
        out += s.target.name + "=";
        break;
      case Statement::Kind::kIndexAssign: {
        out += s.target.name + "(";
        for (size_t k = 0; k < s.indices.size(); ++k) out += (k ? "," : "") + print(*s.indices[k]);
        out += ")=";
        break;
      }
      case Statement::Kind::kMultiAssign: {
        out += "[";
        for (size_t k = 0; k < s.targets.size(); ++k) {
          out += (k ? "," : "") + (s.targets[k].name.empty() ? std::string("~") : s.targets[k].name);
        }
        out += "]=";
        break;
      }
    }
    out += print(*s.value) + (s.display ? "\n" : ";\n");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string first;
  try {
    first = print(robmat::lang::parse(robmat::lang::SourceFile("fuzz.rm", text)));
  } catch (const robmat::lang::LanguageError& e) {
    if (e.message().empty()) std::abort();
    return 0;
  }
  std::string second;
  try {
    second = print(robmat::lang::parse(robmat::lang::SourceFile("printed.rm", first)));
  } catch (const robmat::lang::LanguageError& e) {
    std::fprintf(
        stderr, "the printed program does not parse: %s\n--- printed:\n%s\n", e.what(), first.c_str());
    std::abort();
  }
  if (second != first) {
    std::fprintf(stderr,
                 "print, parse, print differ:\n--- first:\n%s\n--- second:\n%s\n",
                 first.c_str(),
                 second.c_str());
    std::abort();
  }
  return 0;
}

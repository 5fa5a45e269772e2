// Parser over the token list from the lexer; see parser.h for the precedence.
#include "language/parser.h"

#include <cmath>
#include <limits>

#include "language/lexer.h"
#include "robmat/host/matrix.h"

namespace robmat::lang {
namespace {

// Deep enough for any real expression, shallow enough that a hostile input cannot exhaust
// the stack.
constexpr int kMaxDepth = 200;

class Parser {
 public:
  Parser(const SourceFile& source, std::vector<Token> tokens) : src_(source), toks_(std::move(tokens)) {}

  std::vector<Statement> program() {
    std::vector<Statement> out;
    for (;;) {
      while (at(Tok::kNewline) || at(Tok::kSemicolon) || at(Tok::kComma)) ++pos_;
      if (at(Tok::kEof)) return out;
      out.push_back(statement());
    }
  }

 private:
  const Token& cur() const { return toks_[pos_]; }
  bool at(Tok k) const { return cur().kind == k; }
  const Token& take() { return toks_[pos_++]; }

  [[noreturn]] void fail(const Token& t, const std::string& message) const {
    throw LanguageError(src_, t.loc, message);
  }
  [[noreturn]] void unexpected(const std::string& expected) const {
    fail(cur(), "expected " + expected + ", found " + describe(cur()));
  }

  const Token& expect(Tok k, const std::string& what) {
    if (!at(k)) unexpected(what);
    return take();
  }

  ExprPtr node(ExprKind kind, Loc loc) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->loc = loc;
    return e;
  }

  Statement statement() {
    Statement s;
    s.loc = cur().loc;
    ExprPtr first = expression();
    if (at(Tok::kAssign)) {
      take();
      s.value = expression();
      make_target(s, std::move(first));
    } else {
      s.kind = Statement::Kind::kExpr;
      s.value = std::move(first);
    }
    check_no_tilde(*s.value);
    if (at(Tok::kSemicolon)) {
      s.display = false;
      take();
    } else if (at(Tok::kComma) || at(Tok::kNewline)) {
      take();
    } else if (!at(Tok::kEof)) {
      unexpected("an operator, ';', ',' or a new line");
    }
    return s;
  }

  void make_target(Statement& s, ExprPtr lhs) {
    if (lhs->kind == ExprKind::kName) {
      s.kind = Statement::Kind::kAssign;
      s.target = Target{lhs->text, lhs->loc};
      return;
    }
    if (lhs->kind == ExprKind::kApply && lhs->base->kind == ExprKind::kName) {
      s.kind = Statement::Kind::kIndexAssign;
      s.target = Target{lhs->base->text, lhs->base->loc};
      s.indices = std::move(lhs->args);
      for (const ExprPtr& i : s.indices) check_no_tilde(*i);
      return;
    }
    if (lhs->kind == ExprKind::kMatrix && lhs->rows.size() == 1 && !lhs->rows[0].empty()) {
      s.kind = Statement::Kind::kMultiAssign;
      for (const ExprPtr& e : lhs->rows[0]) {
        if (e->kind == ExprKind::kName) {
          s.targets.push_back(Target{e->text, e->loc});
        } else if (e->kind == ExprKind::kTilde) {
          s.targets.push_back(Target{"", e->loc});
        } else {
          throw LanguageError(src_, e->loc, "only names and '~' can stand inside [ ] on the left of '='");
        }
      }
      if (s.value->kind != ExprKind::kApply) {
        throw LanguageError(src_, s.value->loc, "several names on the left of '=' need a call on the right");
      }
      return;
    }
    throw LanguageError(
        src_, lhs->loc, "cannot assign to this; the left of '=' must be a name, name(indices) or [names]");
  }

  // A loop, not recursion: left operands nest as deeply as a line is long.
  void check_no_tilde(const Expr& root) const {
    std::vector<const Expr*> pending{&root};
    while (!pending.empty()) {
      const Expr& e = *pending.back();
      pending.pop_back();
      if (e.kind == ExprKind::kTilde) {
        throw LanguageError(src_, e.loc, "'~' only stands for an unwanted result on the left of '='");
      }
      // Children go on in reverse, so the first '~' in the text is the one reported.
      for (auto row = e.rows.rbegin(); row != e.rows.rend(); ++row) {
        for (auto a = row->rbegin(); a != row->rend(); ++a) pending.push_back(a->get());
      }
      for (auto a = e.args.rbegin(); a != e.args.rend(); ++a) pending.push_back(a->get());
      if (e.base) pending.push_back(e.base.get());
    }
  }

  struct DepthGuard {
    DepthGuard(Parser& p) : parser(p) {
      if (++parser.depth_ > kMaxDepth) parser.fail(parser.cur(), "the expression is nested too deeply");
    }
    ~DepthGuard() { --parser.depth_; }
    Parser& parser;
  };

  ExprPtr expression() {
    DepthGuard guard(*this);
    ExprPtr left = conjunction();
    while (at(Tok::kOr)) {
      const Token& t = take();
      left = binary(BinOp::kOr, t, std::move(left), conjunction());
    }
    return left;
  }

  ExprPtr conjunction() {
    ExprPtr left = comparison();
    while (at(Tok::kAnd)) {
      const Token& t = take();
      left = binary(BinOp::kAnd, t, std::move(left), comparison());
    }
    return left;
  }

  ExprPtr comparison() {
    ExprPtr left = range();
    for (;;) {
      BinOp op;
      switch (cur().kind) {
        case Tok::kLess:
          op = BinOp::kLess;
          break;
        case Tok::kLessEqual:
          op = BinOp::kLessEqual;
          break;
        case Tok::kGreater:
          op = BinOp::kGreater;
          break;
        case Tok::kGreaterEqual:
          op = BinOp::kGreaterEqual;
          break;
        case Tok::kEqual:
          op = BinOp::kEqual;
          break;
        case Tok::kNotEqual:
          op = BinOp::kNotEqual;
          break;
        default:
          return left;
      }
      const Token& t = take();
      left = binary(op, t, std::move(left), range());
    }
  }

  ExprPtr range() {
    ExprPtr start = additive();
    if (!at(Tok::kColon)) return start;
    const Token& colon = take();
    ExprPtr second = additive();
    ExprPtr r = node(ExprKind::kRange, colon.loc);
    r->args.push_back(std::move(start));
    r->args.push_back(std::move(second));
    if (at(Tok::kColon)) {
      take();
      r->args.push_back(additive());
    }
    return r;
  }

  ExprPtr binary(BinOp op, const Token& t, ExprPtr l, ExprPtr r) {
    ExprPtr e = node(ExprKind::kBinary, t.loc);
    e->op = op;
    e->args.push_back(std::move(l));
    e->args.push_back(std::move(r));
    return e;
  }

  ExprPtr additive() {
    ExprPtr left = multiplicative();
    while (at(Tok::kPlus) || at(Tok::kMinus)) {
      const Token& t = take();
      left = binary(t.kind == Tok::kPlus ? BinOp::kAdd : BinOp::kSub, t, std::move(left), multiplicative());
    }
    return left;
  }

  ExprPtr multiplicative() {
    ExprPtr left = unary();
    for (;;) {
      BinOp op;
      switch (cur().kind) {
        case Tok::kStar:
          op = BinOp::kMatMul;
          break;
        case Tok::kSlash:
          op = BinOp::kDiv;
          break;
        case Tok::kDotStar:
          op = BinOp::kElemMul;
          break;
        case Tok::kDotSlash:
          op = BinOp::kElemDiv;
          break;
        default:
          return left;
      }
      const Token& t = take();
      left = binary(op, t, std::move(left), unary());
    }
  }

  // "~" before a value negates it; before ',' or ']' it stands for an unwanted result.
  bool at_not() const {
    return at(Tok::kTilde) && toks_[pos_ + 1].kind != Tok::kComma && toks_[pos_ + 1].kind != Tok::kRBracket;
  }

  ExprPtr unary() {
    DepthGuard guard(*this);
    if (at_not()) {
      const Token& t = take();
      ExprPtr e = node(ExprKind::kNot, t.loc);
      e->args.push_back(unary());
      return e;
    }
    if (at(Tok::kMinus) || at(Tok::kPlus)) {
      const Token& t = take();
      ExprPtr operand = unary();
      if (t.kind == Tok::kPlus) return operand;
      ExprPtr e = node(ExprKind::kNegate, t.loc);
      e->args.push_back(std::move(operand));
      return e;
    }
    return power();
  }

  ExprPtr power() {
    ExprPtr left = postfix();
    while (at(Tok::kDotCaret)) {
      const Token& t = take();
      left = binary(BinOp::kElemPow, t, std::move(left), power_operand());
    }
    return left;
  }

  // "2.^-1" is allowed: the exponent may carry its own sign.
  ExprPtr power_operand() {
    DepthGuard guard(*this);
    if (at(Tok::kMinus) || at(Tok::kPlus)) {
      const Token& t = take();
      ExprPtr operand = power_operand();
      if (t.kind == Tok::kPlus) return operand;
      ExprPtr e = node(ExprKind::kNegate, t.loc);
      e->args.push_back(std::move(operand));
      return e;
    }
    return postfix();
  }

  ExprPtr postfix() {
    ExprPtr e = primary();
    for (;;) {
      if (at(Tok::kTranspose)) {
        const Token& t = take();
        ExprPtr tr = node(ExprKind::kTranspose, t.loc);
        tr->args.push_back(std::move(e));
        e = std::move(tr);
      } else if (at(Tok::kLParen)) {
        take();
        ExprPtr call = node(ExprKind::kApply, e->loc);
        call->base = std::move(e);
        call->args = arguments();
        e = std::move(call);
      } else {
        return e;
      }
    }
  }

  std::vector<ExprPtr> arguments() {
    std::vector<ExprPtr> args;
    if (at(Tok::kRParen)) {
      take();
      return args;
    }
    for (;;) {
      if (at(Tok::kColon) && (toks_[pos_ + 1].kind == Tok::kComma || toks_[pos_ + 1].kind == Tok::kRParen)) {
        args.push_back(node(ExprKind::kAll, take().loc));
      } else {
        args.push_back(expression());
      }
      if (at(Tok::kComma)) {
        take();
        continue;
      }
      expect(Tok::kRParen, "',' or ')'");
      return args;
    }
  }

  ExprPtr primary() {
    DepthGuard guard(*this);
    const Token& t = cur();
    switch (t.kind) {
      case Tok::kNumber:
      case Tok::kNA:
      case Tok::kInf:
      case Tok::kNaN:
      case Tok::kTrue:
      case Tok::kFalse: {
        take();
        ExprPtr e = node(ExprKind::kNumber, t.loc);
        e->text = t.text;
        e->number = t.kind == Tok::kNA     ? host::missing()
                    : t.kind == Tok::kInf  ? HUGE_VAL
                    : t.kind == Tok::kNaN  ? std::numeric_limits<double>::quiet_NaN()
                    : t.kind == Tok::kTrue ? 1.0
                                           : t.number;
        return e;
      }
      case Tok::kString: {
        take();
        ExprPtr e = node(ExprKind::kString, t.loc);
        e->text = t.text;
        return e;
      }
      case Tok::kName: {
        take();
        ExprPtr e = node(ExprKind::kName, t.loc);
        e->text = t.text;
        return e;
      }
      case Tok::kEnd:
        take();
        return node(ExprKind::kEnd, t.loc);
      case Tok::kTilde:
        take();
        return node(ExprKind::kTilde, t.loc);
      case Tok::kLParen: {
        take();
        ExprPtr e = expression();
        expect(Tok::kRParen, "')'");
        return e;
      }
      case Tok::kLBracket:
        return matrix();
      default:
        unexpected("a value");
    }
  }

  // Rows are separated by ';' (or a line break), elements by ',' (or white space). Empty
  // rows are skipped, so "[1 2;\n 3 4]" has two rows.
  ExprPtr matrix() {
    ExprPtr m = node(ExprKind::kMatrix, take().loc);
    std::vector<ExprPtr> row;
    for (;;) {
      if (at(Tok::kRBracket)) {
        take();
        if (!row.empty()) m->rows.push_back(std::move(row));
        return m;
      }
      if (at(Tok::kSemicolon)) {
        take();
        if (!row.empty()) m->rows.push_back(std::move(row));
        row.clear();
        continue;
      }
      row.push_back(expression());
      if (at(Tok::kComma)) {
        take();
        if (at(Tok::kRBracket) || at(Tok::kSemicolon) || at(Tok::kComma)) unexpected("a value after ','");
      } else if (!at(Tok::kRBracket) && !at(Tok::kSemicolon)) {
        unexpected("',', ';' or ']'");
      }
    }
  }

  const SourceFile& src_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

std::vector<Statement> parse(const SourceFile& source) { return Parser(source, lex(source)).program(); }

}  // namespace robmat::lang

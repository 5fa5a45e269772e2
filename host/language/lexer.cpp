// Hand-written scanner; the bracket stack decides what white space and line breaks mean.
#include "language/lexer.h"

#include "csv.h"

namespace robmat::lang {
namespace {

bool ends_value(Tok t) {
  switch (t) {
    case Tok::kNumber:
    case Tok::kString:
    case Tok::kName:
    case Tok::kNA:
    case Tok::kInf:
    case Tok::kNaN:
    case Tok::kTrue:
    case Tok::kFalse:
    case Tok::kEnd:
    case Tok::kRParen:
    case Tok::kRBracket:
    case Tok::kTranspose:
    case Tok::kTilde:
      return true;
    default:
      return false;
  }
}

bool starts_value(Tok t) {
  switch (t) {
    case Tok::kNumber:
    case Tok::kString:
    case Tok::kName:
    case Tok::kNA:
    case Tok::kInf:
    case Tok::kNaN:
    case Tok::kTrue:
    case Tok::kFalse:
    case Tok::kEnd:
    case Tok::kLParen:
    case Tok::kLBracket:
    case Tok::kTilde:
      return true;
    default:
      return false;
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_name_char(char c) { return is_name_start(c) || is_digit(c); }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }

class Lexer {
 public:
  explicit Lexer(const SourceFile& source) : src_(source), text_(source.text()) {}

  std::vector<Token> run() {
    while (pos_ < text_.size()) step();
    if (!stack_.empty()) {
      const Open& open = stack_.back();
      throw LanguageError(src_,
                          open.loc,
                          std::string("'") + open.bracket + "' is not closed",
                          /*incomplete=*/true);
    }
    push(Tok::kEof, pos_);
    return std::move(tokens_);
  }

 private:
  struct Open {
    char bracket;
    Loc loc;
  };

  bool in_brackets() const { return !stack_.empty() && stack_.back().bracket == '['; }
  char peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

  [[noreturn]] void fail(size_t offset, std::string message) const {
    throw LanguageError(src_, src_.loc_at(offset), std::move(message));
  }

  Token& push(Tok kind, size_t offset) {
    tokens_.push_back(Token{kind, src_.loc_at(offset), {}, 0});
    space_before_ = false;
    return tokens_.back();
  }

  Tok last() const { return tokens_.empty() ? Tok::kNewline : tokens_.back().kind; }

  // In brackets, "a b" is "a, b"; and "a -b" is "a, -b" while "a - b" and "a-b" subtract.
  void separate_elements(Tok next, size_t offset) {
    if (!in_brackets() || !space_before_ || !ends_value(last())) return;
    bool separate = starts_value(next);
    if (next == Tok::kPlus || next == Tok::kMinus) separate = !is_space(peek(1)) && peek(1) != '\n';
    if (separate) push(Tok::kComma, offset);
  }

  void token(Tok kind, size_t length) {
    separate_elements(kind, pos_);
    push(kind, pos_);
    pos_ += length;
  }

  void step() {
    const char c = peek();
    if (is_space(c)) {
      ++pos_;
      space_before_ = true;
      return;
    }
    if (c == '%') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      space_before_ = true;
      return;
    }
    if (c == '\n') {
      if (stack_.empty()) {
        push(Tok::kNewline, pos_);
      } else if (in_brackets()) {
        push(Tok::kSemicolon, pos_);  // a line break inside [ ] ends a row
      }
      ++pos_;
      space_before_ = true;
      return;
    }
    if (is_digit(c) || (c == '.' && is_digit(peek(1)))) return number();
    if (is_name_start(c)) return name();
    if (c == '"') return string();
    switch (c) {
      case '+':
        return token(Tok::kPlus, 1);
      case '-':
        return token(Tok::kMinus, 1);
      case '*':
        return token(Tok::kStar, 1);
      case '/':
        return token(Tok::kSlash, 1);
      case ':':
        return token(Tok::kColon, 1);
      case '~':
        if (peek(1) == '=') return token(Tok::kNotEqual, 2);
        return token(Tok::kTilde, 1);
      case '<':
        return peek(1) == '=' ? token(Tok::kLessEqual, 2) : token(Tok::kLess, 1);
      case '>':
        return peek(1) == '=' ? token(Tok::kGreaterEqual, 2) : token(Tok::kGreater, 1);
      case '&':
        if (peek(1) == '&')
          fail(pos_, "'&&' is not part of the language; '&' combines conditions element by element");
        return token(Tok::kAnd, 1);
      case '|':
        if (peek(1) == '|')
          fail(pos_, "'||' is not part of the language; '|' combines conditions element by element");
        return token(Tok::kOr, 1);
      case '!':
        fail(
            pos_,
            peek(1) == '=' ? "'!=' is written '~=' in this language" : "'!' is written '~' in this language");
      case ',':
        return token(Tok::kComma, 1);
      case ';':
        if (!stack_.empty() && stack_.back().bracket == '(') fail(pos_, "';' cannot stand inside ( )");
        return token(Tok::kSemicolon, 1);
      case '=':
        if (peek(1) == '=') return token(Tok::kEqual, 2);
        return token(Tok::kAssign, 1);
      case '(':
      case '[':
        token(c == '(' ? Tok::kLParen : Tok::kLBracket, 1);
        stack_.push_back(Open{c, tokens_.back().loc});
        return;
      case ')':
      case ']':
        return close(c);
      case '\'':
        return transpose(1);
      case '.':
        if (peek(1) == '*') return token(Tok::kDotStar, 2);
        if (peek(1) == '/') return token(Tok::kDotSlash, 2);
        if (peek(1) == '^') return token(Tok::kDotCaret, 2);
        if (peek(1) == '\'') return transpose(2);
        break;
      case '^':
        fail(pos_, "matrix powers are not part of the language; '.^' raises element by element");
      default:
        break;
    }
    const auto uc = static_cast<unsigned char>(c);
    if (uc < 0x20 || uc >= 0x7F) fail(pos_, "unexpected character (byte " + std::to_string(uc) + ")");
    fail(pos_, std::string("unexpected character '") + c + "'");
  }

  void close(char c) {
    const char want = c == ')' ? '(' : '[';
    if (stack_.empty()) fail(pos_, std::string("'") + c + "' has no matching '" + want + "'");
    if (stack_.back().bracket != want) {
      fail(pos_,
           std::string("'") + c + "' cannot close the '" + stack_.back().bracket + "' opened at line " +
               std::to_string(stack_.back().loc.line) + ", column " +
               std::to_string(stack_.back().loc.column));
    }
    stack_.pop_back();
    push(c == ')' ? Tok::kRParen : Tok::kRBracket, pos_);
    ++pos_;
  }

  void transpose(size_t length) {
    // Character values use double quotes, so a quote is always a transpose and must follow its
    // operand directly: "x'" and "(a*b)'", never "x '".
    if (space_before_ || !ends_value(last())) {
      fail(pos_, "a quote ' transposes the value just before it; character values use double quotes");
    }
    push(Tok::kTranspose, pos_);
    pos_ += length;
  }

  void number() {
    const size_t start = pos_;
    while (is_digit(peek())) ++pos_;
    // "1.*x" is 1 .* x: a dot followed by an operator character belongs to the operator.
    if (peek() == '.' && peek(1) != '*' && peek(1) != '/' && peek(1) != '^' && peek(1) != '\'') {
      ++pos_;
      while (is_digit(peek())) ++pos_;
    }
    if (peek() == 'e' || peek() == 'E') {
      size_t p = pos_ + 1;
      if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
      if (p < text_.size() && is_digit(text_[p])) {
        pos_ = p;
        while (is_digit(peek())) ++pos_;
      } else {
        fail(pos_, "the exponent of the number has no digits");
      }
    }
    if (is_name_start(peek()))
      fail(pos_, std::string("unexpected character '") + peek() + "' after a number");
    double v = 0;
    host::parse_number(std::string_view(text_).substr(start, pos_ - start), v);
    const size_t end = pos_;
    pos_ = start;
    separate_elements(Tok::kNumber, start);
    Token& t = push(Tok::kNumber, start);
    t.number = v;
    t.text = text_.substr(start, end - start);
    pos_ = end;
  }

  void name() {
    const size_t start = pos_;
    size_t end = pos_;
    while (end < text_.size() && is_name_char(text_[end])) ++end;
    std::string word = text_.substr(start, end - start);
    Tok kind = Tok::kName;
    if (word == "NA") kind = Tok::kNA;
    if (word == "Inf") kind = Tok::kInf;
    if (word == "NaN") kind = Tok::kNaN;
    if (word == "end") kind = Tok::kEnd;
    if (word == "true") kind = Tok::kTrue;
    if (word == "false") kind = Tok::kFalse;
    separate_elements(kind, start);
    Token& t = push(kind, start);
    t.text = std::move(word);
    pos_ = end;
  }

  void string() {
    const size_t start = pos_;
    std::string value;
    size_t p = pos_ + 1;
    for (;;) {
      if (p >= text_.size() || text_[p] == '\n') fail(start, "the character value is not closed by '\"'");
      const char c = text_[p];
      if (c == '"') break;
      if (c == '\\') {
        const char e = p + 1 < text_.size() ? text_[p + 1] : '\0';
        switch (e) {
          case '"':
          case '\\':
            value += e;
            break;
          case 'n':
            value += '\n';
            break;
          case 't':
            value += '\t';
            break;
          default:
            fail(p, "unknown escape in a character value; use \\\" \\\\ \\n or \\t");
        }
        p += 2;
        continue;
      }
      // A NUL would cut the text short wherever it becomes a C string (a path, a routine's
      // option), so it is refused here rather than silently truncated there.
      if (c == '\0') fail(p, "a character value cannot hold a NUL byte");
      value += c;
      ++p;
    }
    separate_elements(Tok::kString, start);
    Token& t = push(Tok::kString, start);
    t.text = std::move(value);
    pos_ = p + 1;
  }

  const SourceFile& src_;
  const std::string& text_;
  size_t pos_ = 0;
  bool space_before_ = false;
  std::vector<Open> stack_;
  std::vector<Token> tokens_;
};

}  // namespace

std::vector<Token> lex(const SourceFile& source) { return Lexer(source).run(); }

std::string describe(const Token& t) {
  switch (t.kind) {
    case Tok::kNumber:
      return "the number " + t.text;
    case Tok::kString:
      return "a character value";
    case Tok::kName:
      return "the name '" + t.text + "'";
    case Tok::kNA:
    case Tok::kInf:
    case Tok::kNaN:
    case Tok::kTrue:
    case Tok::kFalse:
    case Tok::kEnd:
      return "'" + t.text + "'";
    case Tok::kPlus:
      return "'+'";
    case Tok::kMinus:
      return "'-'";
    case Tok::kStar:
      return "'*'";
    case Tok::kSlash:
      return "'/'";
    case Tok::kDotStar:
      return "'.*'";
    case Tok::kDotSlash:
      return "'./'";
    case Tok::kDotCaret:
      return "'.^'";
    case Tok::kLess:
      return "'<'";
    case Tok::kLessEqual:
      return "'<='";
    case Tok::kGreater:
      return "'>'";
    case Tok::kGreaterEqual:
      return "'>='";
    case Tok::kEqual:
      return "'=='";
    case Tok::kNotEqual:
      return "'~='";
    case Tok::kAnd:
      return "'&'";
    case Tok::kOr:
      return "'|'";
    case Tok::kTranspose:
      return "'''";
    case Tok::kLParen:
      return "'('";
    case Tok::kRParen:
      return "')'";
    case Tok::kLBracket:
      return "'['";
    case Tok::kRBracket:
      return "']'";
    case Tok::kComma:
      return "','";
    case Tok::kSemicolon:
      return "';'";
    case Tok::kColon:
      return "':'";
    case Tok::kAssign:
      return "'='";
    case Tok::kTilde:
      return "'~'";
    case Tok::kNewline:
      return "the end of the line";
    case Tok::kEof:
      break;
  }
  return "the end of the input";
}

}  // namespace robmat::lang

// Line lookup and caret rendering for language errors.
#include "language/source.h"

#include <algorithm>

namespace robmat::lang {
namespace {

bool continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

SourceFile::SourceFile(std::string name, std::string text) : name_(std::move(name)), text_(std::move(text)) {
  line_starts_.push_back(0);
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n') line_starts_.push_back(i + 1);
  }
}

std::string_view SourceFile::line_text(int line) const {
  if (line < 1 || static_cast<size_t>(line) > line_starts_.size()) return {};
  const size_t begin = line_starts_[static_cast<size_t>(line - 1)];
  size_t end = text_.find('\n', begin);
  if (end == std::string::npos) end = text_.size();
  if (end > begin && text_[end - 1] == '\r') --end;
  return std::string_view(text_).substr(begin, end - begin);
}

Loc SourceFile::loc_at(size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto it = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
  const size_t line = static_cast<size_t>(it - line_starts_.begin());
  // The lexer asks for places in increasing order; counting on from the last answer on the same
  // line keeps one long line linear instead of quadratic.
  size_t from = line_starts_[line - 1];
  int column = 1;
  if (last_.line == static_cast<int>(line) && last_.offset <= offset && last_.offset >= from) {
    from = last_.offset;
    column = last_.column;
  }
  for (size_t i = from; i < offset; ++i) {
    if (!continuation_byte(text_[i])) ++column;
  }
  last_ = Loc{static_cast<int>(line), column, offset};
  return last_;
}

std::string render_error(const SourceFile& source, Loc loc, std::string_view message) {
  std::string out = source.name() + ":" + std::to_string(loc.line) + ":" + std::to_string(loc.column) +
                    ": error: " + std::string(message);
  const std::string_view line = source.line_text(loc.line);
  if (line.empty()) return out;
  out += "\n  ";
  out += line;
  out += "\n  ";
  // Tabs are copied so the caret lands under the same place whatever the tab width.
  int column = 1;
  for (size_t i = 0; i < line.size() && column < loc.column; ++i) {
    if (continuation_byte(line[i])) continue;
    out += line[i] == '\t' ? '\t' : ' ';
    ++column;
  }
  out += '^';
  return out;
}

LanguageError::LanguageError(const SourceFile& source, Loc loc, std::string message, bool incomplete)
    : host::Error(render_error(source, loc, message)),
      file_(source.name()),
      loc_(loc),
      message_(std::move(message)),
      incomplete_(incomplete) {}

}  // namespace robmat::lang

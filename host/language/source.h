// Source text of a robmat program and the errors that point into it. Every language error
// carries file, line and column and is shown with the offending line and a caret under the
// place, so the message alone says which statement failed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "robmat/host/session.h"

namespace robmat::lang {

struct Loc {
  int line = 1;    // 1-based
  int column = 1;  // 1-based, in characters (UTF-8 code points)
  size_t offset = 0;
};

class SourceFile {
 public:
  SourceFile(std::string name, std::string text);
  const std::string& name() const { return name_; }
  const std::string& text() const { return text_; }
  std::string_view line_text(int line) const;  // without the line break
  Loc loc_at(size_t offset) const;

 private:
  std::string name_;
  std::string text_;
  std::vector<size_t> line_starts_;
  mutable Loc last_{0, 0, 0};  // the last place loc_at computed
};

// A failing statement or a syntax error. what() is the whole report:
//   file.rm:3:7: error: cannot add a 2x3 matrix and a 3x2 matrix
//     z = x + y
//           ^
class LanguageError : public host::Error {
 public:
  LanguageError(const SourceFile& source, Loc loc, std::string message, bool incomplete = false);
  const std::string& file() const { return file_; }
  Loc loc() const { return loc_; }
  const std::string& message() const { return message_; }  // the message alone
  // True for a syntax error that more input could mend (an open bracket at the end).
  bool incomplete() const { return incomplete_; }

 private:
  std::string file_;
  Loc loc_;
  std::string message_;
  bool incomplete_;
};

std::string render_error(const SourceFile& source, Loc loc, std::string_view message);

}  // namespace robmat::lang

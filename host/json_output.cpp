// JSON items for output objects and values; the item layouts are listed in docs/language.md.
#include "json_output.h"

#include <cmath>
#include <ostream>

namespace robmat::host {
namespace {

using json = nlohmann::ordered_json;

json matrix_rows(const Matrix& m) {
  json rows = json::array();
  for (int64_t i = 0; i < m.rows; ++i) {
    json row = json::array();
    for (int64_t j = 0; j < m.cols; ++j) row.push_back(number_to_json(m.at(i, j)));
    rows.push_back(std::move(row));
  }
  return rows;
}

const char* column_type(int type) {
  switch (type) {
    case 3:
    case 4:
      return "integer";
    case 20:
      return "character";
    default:
      return "double";
  }
}

}  // namespace

json number_to_json(double v) {
  if (is_missing(v)) return nullptr;
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  return v;
}

json value_to_json(const Value& value) {
  if (const auto* s = std::get_if<std::string>(&value)) return json{{"kind", "character"}, {"text", *s}};
  const Matrix& m = std::get<Matrix>(value);
  json j{{"kind", "matrix"}, {"rows", m.rows}, {"cols", m.cols}};
  if (!m.colnames.empty()) j["colnames"] = m.colnames;
  if (!m.rownames.empty()) j["rownames"] = m.rownames;
  j["data"] = matrix_rows(m);
  return j;
}

json output_to_json(const OutputObject& object) {
  if (const auto* t = std::get_if<TextLine>(&object)) {
    return json{{"type", "text"},
                {"text", t->text},
                {"justify", std::string(1, t->justify)},
                {"opens_section", t->opens_section}};
  }
  if (const auto* m = std::get_if<MatrixOutput>(&object)) {
    return json{{"type", "matrix"},
                {"name", m->name},
                {"label", m->label},
                {"title", m->title},
                {"shape", m->shape},
                {"rows", m->values.rows},
                {"cols", m->values.cols},
                {"rownames", m->rownames},
                {"colnames", m->colnames},
                {"data", matrix_rows(m->values)}};
  }
  const auto& t = std::get<TableOutput>(object);
  json columns = json::array();
  for (const TableColumn& c : t.columns) {
    columns.push_back(json{{"name", c.name}, {"type", column_type(c.type)}, {"width", c.width}});
  }
  json rows = json::array();
  for (const auto& r : t.rows) {
    json row = json::array();
    for (const auto& cell : r) {
      if (const auto* s = std::get_if<std::string>(&cell)) {
        row.push_back(*s);
      } else {
        row.push_back(number_to_json(std::get<double>(cell)));
      }
    }
    rows.push_back(std::move(row));
  }
  return json{{"type", "table"},
              {"name", t.name},
              {"label", t.label},
              {"title", t.title},
              {"columns", std::move(columns)},
              {"rows", std::move(rows)}};
}

JsonSink::JsonSink(std::ostream& out) : out_(out) {}

JsonSink::~JsonSink() { finish(); }

void JsonSink::write(const nlohmann::ordered_json& item) {
  if (finished_) return;
  out_ << (first_ ? "[\n" : ",\n");
  first_ = false;
  // Invalid UTF-8 in a name or text must not abort a run: it is replaced, not thrown.
  out_ << item.dump(-1, ' ', false, json::error_handler_t::replace);
  out_.flush();
}

void JsonSink::emit(const OutputObject& object) { write(output_to_json(object)); }

void JsonSink::show_value(std::string_view name, const Value& value) {
  write(json{{"type", "value"}, {"name", std::string(name)}, {"value", value_to_json(value)}});
}

void JsonSink::log(const LogEntry& entry) {
  write(json{{"type", "log"}, {"severity", severity_name(entry.severity)}, {"text", entry.text}});
}

void JsonSink::error(std::string_view message) {
  write(json{{"type", "error"}, {"text", std::string(message)}});
}

void JsonSink::finish() {
  if (finished_) return;
  out_ << (first_ ? "[]\n" : "\n]\n");
  out_.flush();
  finished_ = true;
}

}  // namespace robmat::host

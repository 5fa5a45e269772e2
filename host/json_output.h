// The JSON writer: every output object, displayed value, log line and statement error of a run,
// in order, as one JSON array (one element per line) for programs to read. Numbers are written
// in the shortest form that reads back to the same double; the missing value is null, other
// NaNs and infinities are the strings "NaN", "Inf" and "-Inf".
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string_view>

#include "display.h"
#include "robmat/host/session.h"

namespace robmat::host {

nlohmann::ordered_json number_to_json(double v);
nlohmann::ordered_json value_to_json(const Value& value);
nlohmann::ordered_json output_to_json(const OutputObject& object);

class JsonSink : public Display {
 public:
  explicit JsonSink(std::ostream& out);
  ~JsonSink() override;
  JsonSink(const JsonSink&) = delete;
  JsonSink& operator=(const JsonSink&) = delete;

  void emit(const OutputObject& object) override;
  void show_value(std::string_view name, const Value& value) override;
  void log(const LogEntry& entry);
  void error(std::string_view message);
  // Closes the array; later items are dropped. The destructor finishes too.
  void finish();

 private:
  void write(const nlohmann::ordered_json& item);
  std::ostream& out_;
  bool first_ = true;
  bool finished_ = false;
};

}  // namespace robmat::host

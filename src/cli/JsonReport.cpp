#include "cli/JsonReport.h"

#include <nlohmann/json.hpp>

#include "production/ProductionLog.h"

namespace {

using json = nlohmann::ordered_json;

template <class T>
json OrNull(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

json OrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json OutcomeObject(const OperationReport& r) {
  const Outcome& o = r.outcome;
  const bool failed = o.Failed();
  return {
      {"stage", r.staged ? json(StageName(o.stage)) : json(nullptr)},
      {"result", ResultName(o.result)},
      {"verdict", VerdictName(o.verdict)},
      {"link", o.link ? json(o.link) : json(nullptr)},
      {"address", OrNull(o.address)},
      {"ic", OrNull(o.ic)},
      {"buffer", OrNull(o.buffer)},
      {"text", failed ? json(o.text) : json(nullptr)},
      {"lines", r.lines},
      {"messages", r.messages},
  };
}

}  // namespace

std::string JsonLine(const OperationReport& r) {
  json object = r.writer ? json{{"writer", *r.writer}} : json::object();
  object.update(json{
      {"command", r.command},
      {"port", OrNull(r.port)},
      {"device", OrNull(r.device)},
      {"image", OrNull(r.image)},
      {"checksum", OrNull(r.checksum)},
      {"outcome", OutcomeObject(r)},
      {"serial", OrNull(r.serial)},
      {"pass_count", OrNull(r.passCount)},
      {"started", Iso8601Utc(r.started)},
      {"ended", Iso8601Utc(r.ended)},
  });
  // Texts of files and devices need not be UTF-8: replace what is not.
  return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

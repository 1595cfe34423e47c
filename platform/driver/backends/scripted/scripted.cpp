// The scripted backend: records calls, answers from a script.
#include "scripted.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "internal/bound_statement.h"

namespace metashelf {
namespace driver {
namespace scripted {

// Binding checks, parameter reading and row delivery are the bound-statement
// base's, exactly as on the database backends; this class only records the
// calls and takes its results from the script.
class ScriptedStatement : public BoundStatement {
 public:
  explicit ScriptedStatement(ScriptedConnection* connection) : connection_(connection) {}
  ~ScriptedStatement() override { Record(Call::kFreeStmt, 0).option = GIS_SQL_DROP; }

  std::int16_t Prepare(const char* text, std::size_t length) override {
    text_.assign(text, length);
    Record(Call::kPrepare, 0).text = text_;
    return 0;
  }

  std::int16_t Execute() override { return Run(Call::kExecute); }

  std::int16_t ExecDirect(const char* text, std::size_t length) override {
    text_.assign(text, length);
    return Run(Call::kExecDirect);
  }

  std::int16_t BindParameter(const ParamBinding& binding) override {
    const std::int16_t rc = BoundStatement::BindParameter(binding);
    auto& r = Record(Call::kBindParameter, rc);
    r.number = binding.number;
    r.type = binding.valueType;
    r.dbType = binding.dbType;
    r.length = binding.bufferLength;
    return rc;
  }

  std::int16_t BindCol(const ColBinding& binding) override {
    const std::int16_t rc = BoundStatement::BindCol(binding);
    auto& r = Record(Call::kBindCol, rc);
    r.number = binding.number;
    r.type = binding.type;
    r.length = binding.bufferLength;
    return rc;
  }

  std::int16_t Fetch() override {
    const std::int16_t rc = next_ >= rows_.size() ? std::int16_t{GIS_SQL_NO_DATA} : StoreNext(0);
    Record(Call::kFetch, rc);
    return rc;
  }

  std::int16_t SetStmtOption(std::uint16_t option, std::uint32_t value) override {
    const std::int16_t rc = BoundStatement::SetStmtOption(option, value);
    auto& r = Record(Call::kSetStmtOption, rc);
    r.option = option;
    r.length = value;
    return rc;
  }

  std::int16_t ExtendedFetch(std::uint16_t /*orientation*/, std::int32_t /*offset*/,
                             std::uint32_t* rowCount, std::uint16_t* rowStatus) override {
    std::uint32_t delivered = 0;
    const std::int16_t rc = FillRowset(&delivered, rowStatus, [this](std::uint32_t element) {
      return next_ >= rows_.size() ? std::int16_t{GIS_SQL_NO_DATA} : StoreNext(element);
    });
    if (rowCount != nullptr) *rowCount = delivered;
    Record(Call::kExtendedFetch, rc).length = delivered;
    return rc;
  }

  std::int16_t ParamData(void** token) override {
    if (token != nullptr) *token = nullptr;
    Record(Call::kParamData, GIS_SQL_NEED_DATA);
    return GIS_SQL_NEED_DATA;
  }

  std::int16_t PutData(const void* data, std::int32_t length) override {
    auto& r = Record(Call::kPutData, 0);
    r.length = length;
    if (length > 0) r.data.assign(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return 0;
  }

  void OnError(const Diagnostic& reported, std::int16_t result) override {
    // The state reported, when there was something to report.
    auto& r = Record(Call::kError, result);
    if (result == GIS_SQL_SUCCESS) r.text = reported.state;
  }

  std::int16_t CloseCursor() override {
    rows_.clear();
    next_ = 0;
    Record(Call::kFreeStmt, 0).option = GIS_SQL_CLOSE;
    return 0;
  }

 protected:
  // The script says nothing of a text's parameters and columns.
  int PreparedParams() const override { return -1; }
  int PreparedColumns() const override { return -1; }

 private:
  // A scripted row as the base reads the cells of a result row.
  class ScriptedRow : public Row {
   public:
    explicit ScriptedRow(const std::vector<Value>& cells) : cells_(cells) {}
    int Visible() const override { return static_cast<int>(cells_.size()); }
    Value Cell(int index) const override { return cells_[static_cast<std::size_t>(index)]; }
    bool IsNull(int index) const override {
      return cells_[static_cast<std::size_t>(index)].kind == Value::Kind::kNull;
    }

   private:
    const std::vector<Value>& cells_;
  };

  std::int16_t StoreNext(std::uint32_t element) {
    const std::int16_t rc = StoreRow(ScriptedRow(rows_[next_]), element);
    if (rc >= 0) ++next_;
    return rc;
  }

  CallRecord& Record(Call call, int result) {
    connection_->calls().push_back(CallRecord{});
    auto& r = connection_->calls().back();
    r.call = call;
    r.result = result;
    return r;
  }

  // Reads the caller's bound parameter buffers as the execution sees them,
  // by the rules every backend reads them with; a number left unbound below
  // the highest bound one reads as NULL, since the script does not know
  // which numbers its text names. False (the failure recorded) when a bound
  // buffer cannot be read.
  bool BoundValues(std::vector<Value>* values) {
    const int highest = params_.empty() ? 0 : params_.rbegin()->first;
    for (int number = 1; number <= highest; ++number) {
      Value v;
      if (params_.count(static_cast<std::uint16_t>(number)) != 0 && !CallerValue(number, &v)) {
        return false;
      }
      values->push_back(std::move(v));
    }
    return true;
  }

  std::int16_t Run(Call call) {
    rows_.clear();
    next_ = 0;
    std::vector<Value> values;
    if (!BoundValues(&values)) {
      auto& r = Record(call, GIS_SQL_ERROR);
      if (call == Call::kExecDirect) r.text = text_;
      return GIS_SQL_ERROR;
    }
    const Result* result = connection_->Take(text_);
    const std::int16_t rc = result != nullptr ? result->status_ : 0;
    if (result != nullptr && rc >= 0) rows_ = result->rows_;
    auto& r = Record(call, rc);
    r.params = std::move(values);
    if (call == Call::kExecDirect) r.text = text_;
    if (rc < 0) {
      return Fail(result->state_.c_str(), result->native_ != 0 ? result->native_ : rc,
                  "scripted failure");
    }
    return rc;
  }

  ScriptedConnection* connection_;
  std::string text_;
  std::vector<std::vector<Value>> rows_;
  std::size_t next_ = 0;
};

std::unique_ptr<Statement> ScriptedConnection::NewStatement() {
  calls_.push_back(CallRecord{});
  calls_.back().call = Call::kAllocStmt;
  return std::make_unique<ScriptedStatement>(this);
}

void ScriptedConnection::OnInjected(Call call, std::int16_t code) {
  calls_.push_back(CallRecord{});
  calls_.back().call = call;
  calls_.back().result = code;
}

bool ScriptedConnection::RunUnitStep(UnitStep step, const std::string& savepoint,
                                     Diagnostic* /*error*/) {
  calls_.push_back(CallRecord{});
  CallRecord& record = calls_.back();
  record.call = Call::kEndUnit;
  switch (step) {
    case UnitStep::kBegin:
      record.call = Call::kBeginUnit;
      record.text = "BEGIN";
      transaction_ = true;
      break;
    case UnitStep::kSavepoint:
      record.call = Call::kBeginUnit;
      record.text = "SAVEPOINT " + savepoint;
      break;
    case UnitStep::kCommit:
      record.text = "COMMIT";
      transaction_ = false;
      break;
    case UnitStep::kRollback:
      record.text = "ROLLBACK";
      transaction_ = false;
      break;
    case UnitStep::kRelease:
      record.text = "RELEASE " + savepoint;
      break;
    case UnitStep::kRollbackTo:
      record.text = "ROLLBACK TO " + savepoint;
      break;
  }
  return true;
}

Result& ScriptedConnection::OnExecute(const std::string& textPart) {
  rules_.push_back(std::make_unique<Rule>());
  rules_.back()->part = textPart;
  return rules_.back()->result;
}

const Result* ScriptedConnection::Take(const std::string& text) {
  for (auto& rule : rules_) {
    if (rule->result.times_ == 0) continue;
    if (text.find(rule->part) == std::string::npos) continue;
    if (rule->result.times_ > 0) --rule->result.times_;
    return &rule->result;
  }
  return nullptr;
}

std::vector<std::string> ScriptedDriver::Texts() {
  std::vector<std::string> texts;
  for (const auto& c : connection_.calls()) {
    if ((c.call == Call::kPrepare || c.call == Call::kExecDirect) && !c.text.empty()) {
      texts.push_back(c.text);
    }
  }
  return texts;
}

std::vector<std::string> ScriptedDriver::Trace() {
  std::vector<std::string> lines;
  for (const auto& c : connection_.calls()) {
    std::string line = CallName(c.call) + 7;  // drop "gis_SQL"
    char buf[96];
    switch (c.call) {
      case Call::kPrepare:
      case Call::kExecDirect:
      case Call::kError:
      case Call::kBeginUnit:
      case Call::kEndUnit:
        if (!c.text.empty()) line += " " + c.text;
        break;
      case Call::kBindParameter:
        std::snprintf(buf, sizeof buf, " %d type %d/%d len %lld", c.number, c.type, c.dbType,
                      static_cast<long long>(c.length));
        line += buf;
        break;
      case Call::kBindCol:
        std::snprintf(buf, sizeof buf, " %d type %d len %lld", c.number, c.type,
                      static_cast<long long>(c.length));
        line += buf;
        break;
      case Call::kSetStmtOption:
        std::snprintf(buf, sizeof buf, " %d %lld", c.option, static_cast<long long>(c.length));
        line += buf;
        break;
      case Call::kFreeStmt:
        line += " " + std::to_string(c.option);
        break;
      case Call::kPutData:
        line += " " + std::to_string(c.length);
        break;
      default:
        break;
    }
    if (c.result != 0) line += " -> " + std::to_string(c.result);
    lines.push_back(line);
  }
  return lines;
}

std::vector<Value> ScriptedDriver::ExecutedParams(std::size_t nth) {
  for (const auto& c : connection_.calls()) {
    if (c.call != Call::kExecute && c.call != Call::kExecDirect) continue;
    if (nth-- == 0) return c.params;
  }
  return {};
}

}  // namespace scripted
}  // namespace driver
}  // namespace metashelf

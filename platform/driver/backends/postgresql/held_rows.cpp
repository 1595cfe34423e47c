// Holding a unit's repeated single-row inserts and sending them as
// statements of several rows (row_batch.h says why). A record's leaf rows
// alternate between its value tables, so rows are held per prepared insert,
// one group per table, while nothing else goes out; the next other
// statement sent, read, sync or unit step sends every group first, each
// group's rows in their order, as
// multi-row forms for 64, 32, ... 2 rows (each prepared in the pipeline the
// first time it is needed, with the parameter types the server inferred for
// the single row, so every value is read exactly as it would have been) and
// the single-row statement for a last odd row. Their results are read
// where the single rows' would have been: a refusal of any row fails the
// combined statement, and with it the unit.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "backends/postgresql/connection.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// Rows sent in one statement at most; the server takes 65,535 parameters.
constexpr int kMostRows = 64;
constexpr int kMostParams = 65535;
// Tables whose rows are held at once at most.
constexpr std::size_t kMostGroups = 8;

// Whether `text` names `table` (owner-qualified or not), letters in any
// case. A longer name that begins with it counts too: the rows then only
// go earlier.
bool NamesTable(const char* text, const std::string& table) {
  std::string_view name(table);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
  if (!name.empty() && name.front() == '"') name.remove_prefix(1);
  if (!name.empty() && name.back() == '"') name.remove_suffix(1);
  if (name.empty()) return true;
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  const std::string_view haystack(text);
  return std::search(haystack.begin(), haystack.end(), name.begin(), name.end(),
                     [&lower](char a, char b) { return lower(a) == lower(b); }) != haystack.end();
}

int LargestForm(int rows, int params) {
  int n = 1;
  while (n * 2 <= rows && n * 2 <= kMostRows && n * 2 * params <= kMostParams) n *= 2;
  return n;
}

}  // namespace

PgConnection::RowForms& PgConnection::FormsOf(const Prepared& prepared) {
  auto found = forms_.find(prepared.name);
  if (found != forms_.end()) return found->second;
  RowForms forms;
  forms.usable = mostHeldRows_ > 1 && prepared.columns == 0 && prepared.params >= 1 &&
                 prepared.types.size() == static_cast<std::size_t>(prepared.params) &&
                 prepared.params * 2 <= kMostParams &&
                 SplitSingleRowInsert(prepared.text, prepared.params, &forms.shape);
  return forms_.emplace(prepared.name, std::move(forms)).first->second;
}

const std::string* PgConnection::FormFor(const Prepared& prepared, RowForms* forms, int rows,
                                         Diagnostic* error) {
  auto found = forms->names.find(rows);
  if (found != forms->names.end()) return &found->second;
  const std::string name = "ms_" + std::to_string(++nextName_);
  const std::string text = MultiRowText(forms->shape, prepared.params, rows);
  std::vector<Oid> types;
  types.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(prepared.params));
  for (int k = 0; k < rows; ++k)
    types.insert(types.end(), prepared.types.begin(), prepared.types.end());
  if (!EnterPipeline(error)) return nullptr;
  if (PQsendPrepare(conn_, name.c_str(), text.c_str(), static_cast<int>(types.size()),
                    types.data()) != 1) {
    *error = LostConnection(conn_);
    return nullptr;
  }
  // A prepare that failed or never ran leaves no statement under the name;
  // one the server refused is not tried again (the rows go one by one).
  Pending pending;
  pending.failed = [forms, rows](bool refused) {
    forms->names.erase(rows);
    if (refused) forms->usable = false;
  };
  pending_.push_back(std::move(pending));
  return &forms->names.emplace(rows, name).first->second;
}

bool PgConnection::Hold(const Request& request, bool* held, Diagnostic* error) {
  *held = false;
  const Prepared* prepared = request.prepared;
  if (prepared == nullptr || request.name == nullptr || request.count != prepared->params) {
    return true;
  }
  const RowForms& forms = FormsOf(*prepared);
  if (!forms.usable) return true;
  // The rows of one table keep their order: another statement's rows for
  // the same table send everything held first.
  HeldRows* group = nullptr;
  for (HeldRows& g : held_) {
    if (g.prepared == prepared) {
      group = &g;
      break;
    }
  }
  if (group == nullptr) {
    bool sameTable = held_.size() >= kMostGroups;
    for (const HeldRows& g : held_) {
      if (FormsOf(*g.prepared).shape.target == forms.shape.target) sameTable = true;
    }
    // Rows that wait for the batch's end stay unless they are this table's.
    if (sameTable && !SendHeld(error, prepared->text.c_str())) return false;
    held_.emplace_back();
    group = &held_.back();
    group->prepared = prepared;
    group->toBatchEnd = request.toBatchEnd && InBatch();
  }
  if (!EnterPipeline(error)) return false;
  for (int k = 0; k < request.count; ++k) {
    const int format = request.formats != nullptr ? request.formats[k] : 0;
    const char* value = request.values[k];
    group->formats.push_back(format);
    group->offsets.push_back(group->bytes.size());
    if (value == nullptr) {
      group->lengths.push_back(-1);
      continue;
    }
    // Text parameters end at their first NUL, as libpq sends them.
    const int length = format == 1 ? request.lengths[k] : static_cast<int>(std::strlen(value));
    group->lengths.push_back(length);
    group->bytes.append(value, static_cast<std::size_t>(length));
    group->bytes += '\0';
  }
  ++group->rows;
  *held = true;
  if (group->rows >= std::min(mostHeldRows_, LargestForm(kMostRows, prepared->params))) {
    // A full group goes alone: the other groups are other tables' rows.
    const HeldRows full = std::move(*group);
    held_.erase(held_.begin() + (group - held_.data()));
    return SendGroup(full, error);
  }
  return true;
}

bool PgConnection::SendHeld(Diagnostic* error, const char* before) {
  if (held_.empty()) return true;
  std::vector<HeldRows> groups = std::move(held_);
  held_.clear();
  for (HeldRows& group : groups) {
    if (before != nullptr && group.toBatchEnd &&
        !NamesTable(before, FormsOf(*group.prepared).shape.target)) {
      held_.push_back(std::move(group));
      continue;
    }
    if (!SendGroup(group, error)) return false;
  }
  return true;
}

bool PgConnection::SendGroup(const HeldRows& held, Diagnostic* error) {
  const Prepared& prepared = *held.prepared;
  RowForms& forms = FormsOf(prepared);
  std::vector<const char*> values(held.lengths.size());
  std::vector<int> lengths(held.lengths.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = held.lengths[i] < 0 ? nullptr : held.bytes.data() + held.offsets[i];
    lengths[i] = held.lengths[i] < 0 ? 0 : held.lengths[i];
  }
  const int params = prepared.params;
  int done = 0;
  while (done < held.rows) {
    const int rows = forms.usable ? LargestForm(held.rows - done, params) : 1;
    Request request;
    request.name = prepared.name.c_str();
    if (rows > 1) {
      const std::string* name = FormFor(prepared, &forms, rows, error);
      if (name == nullptr) return false;
      request.name = name->c_str();
    }
    const std::size_t first = static_cast<std::size_t>(done) * static_cast<std::size_t>(params);
    request.count = rows * params;
    request.values = values.data() + first;
    request.lengths = lengths.data() + first;
    request.formats = held.formats.data() + first;
    if (!SendRaw(request, error)) return false;
    pending_.push_back(Pending{});
    done += rows;
  }
  return true;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

// FTS5 hands out its tokenizers through an fts5_api pointer that a
// statement of its own (`SELECT fts5(?1)`) writes into a bound pointer; the
// tokenizer made from it lives as long as the connection it came from.
#include "metashelf/words/word_tokenizer.h"

#include <sqlite3.h>

#include <climits>

namespace metashelf::words {
namespace {

// The connection's FTS5 API, or null without one.
fts5_api* Fts5Of(sqlite3* db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_bind_pointer(stmt, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr) ==
          SQLITE_OK) {
    sqlite3_step(stmt);
  }
  sqlite3_finalize(stmt);
  return api;
}

struct Handed {
  void* context;
  bool (*sink)(void*, const char*, int);
};

int HandOn(void* handed, int /*flags*/, const char* token, int size, int /*start*/, int /*end*/) {
  const auto* h = static_cast<const Handed*>(handed);
  return h->sink(h->context, token, size) ? SQLITE_OK : SQLITE_ABORT;
}

}  // namespace

struct WordTokenizer::State {
  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (instance != nullptr) methods.xDelete(instance);
    sqlite3_close(db);
  }
  sqlite3* db = nullptr;
  fts5_tokenizer methods{};
  Fts5Tokenizer* instance = nullptr;
};

std::unique_ptr<WordTokenizer> WordTokenizer::Open() {
  auto state = std::make_unique<State>();
  if (sqlite3_open_v2(":memory:", &state->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    return nullptr;
  }
  fts5_api* api = Fts5Of(state->db);
  void* user = nullptr;
  if (api == nullptr ||
      api->xFindTokenizer(api, "unicode61", &user, &state->methods) != SQLITE_OK) {
    return nullptr;
  }
  const char* arguments[] = {"remove_diacritics", "2"};
  if (state->methods.xCreate(user, arguments, 2, &state->instance) != SQLITE_OK) {
    state->instance = nullptr;
    return nullptr;
  }
  return std::unique_ptr<WordTokenizer>(new WordTokenizer(std::move(state)));
}

WordTokenizer::WordTokenizer(std::unique_ptr<State> state) : state_(std::move(state)) {}

WordTokenizer::~WordTokenizer() = default;

bool WordTokenizer::Run(std::string_view text, void* context, Sink sink) {
  if (text.empty()) return true;
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
  Handed handed{context, sink};
  return state_->methods.xTokenize(state_->instance, &handed, FTS5_TOKENIZE_DOCUMENT, text.data(),
                                   static_cast<int>(text.size()), HandOn) == SQLITE_OK;
}

}  // namespace metashelf::words

// Database sequences for SQLite: rows of the table MS_SEQUENCES in the
// database file itself, drawn on the database's own connection, so that the
// file holds everything a copy of it needs.
//
// A draw is an UPDATE ... RETURNING inside whatever transaction is open, so
// it rolls back with that transaction. A value once handed out must still
// never come again (a host may have noted it, as Oracle's sequences
// promise), so the store remembers the highest value it handed out of each
// sequence: a draw that comes back at or below it (the draw was rolled
// back) raises the sequence past it and draws again, and Settle raises
// every sequence before the connection closes. Values are never cached
// ahead of their draw (a cached block would outlive the rollback of its
// reservation).
//
// A sequence is named by (owner, name); the owner "" holds the database-wide
// ones (free ids, catalog ids). A draw returns last + increment and stores
// it, as Oracle's NEXTVAL does.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace metashelf {
namespace driver {
namespace sqlite {

class SequenceStore {
 public:
  // The store of the database `db` (its table MS_SEQUENCES, made by
  // Provision).
  explicit SequenceStore(sqlite3* db) : db_(db) {}
  ~SequenceStore();
  // Creates the table when absent; false with `*error` set.
  static bool Provision(sqlite3* db, std::string* error);
  SequenceStore(const SequenceStore&) = delete;
  SequenceStore& operator=(const SequenceStore&) = delete;

  // Creates the sequence when absent, so that its first draw gives `start`.
  bool Create(const std::string& owner, const std::string& name, std::int64_t start,
              std::string* error);
  // Draws the next value. Fails for an unknown sequence unless `create` is
  // set, in which case the sequence is made starting at 1.
  bool Next(const std::string& owner, const std::string& name, bool create, std::int64_t* value,
            std::string* error);
  // Raises the last value of a sequence (made when absent) to at least
  // `floor`, so that no later draw gives a value at or below it.
  bool Raise(const std::string& owner, const std::string& name, std::int64_t floor,
             std::string* error);
  // Changes the increment (never 0). Fails for an unknown sequence.
  bool SetIncrement(const std::string& owner, const std::string& name, std::int64_t increment,
                    std::string* error);
  // The Oracle number of the last failed Next or SetIncrement when the
  // sequence refused (ORA-02289 unknown, ORA-04002 increment 0); 0 when the
  // engine failed.
  std::int32_t refusal() const { return refusal_; }
  // Writes back what rollbacks undid: ends an open transaction (as closing
  // would) and raises each sequence to the highest value handed out of it.
  // Called before the connection closes.
  void Settle();

 private:
  sqlite3* db_;
  std::int32_t refusal_ = 0;
  // Statements kept for the next draw, keyed by their (static) texts.
  std::map<const char*, sqlite3_stmt*> kept_;
  // The highest value handed out of each (owner, name) whose increment is
  // positive; appended to and raised, never cleared.
  std::map<std::pair<std::string, std::string>, std::int64_t> handed_;
};

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_

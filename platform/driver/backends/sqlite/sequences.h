// Database sequences for SQLite: a store with its own file and its own
// connection, so that a draw is never undone by the host's rollback, never
// waits for the host's open transaction, and stays unique when several
// processes use the same database (each draw is one atomic UPDATE ...
// RETURNING under SQLite's file lock, with a busy timeout).
//
// A sequence is named by (owner, name); the owner "" holds the database-wide
// ones (free ids, catalog ids). A draw returns last + increment and stores
// it, as Oracle's NEXTVAL does.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct sqlite3;

namespace metashelf {
namespace driver {
namespace sqlite {

class SequenceStore {
 public:
  // Opens (creating when missing) the store file at `path`. Null with
  // `*error` set when it cannot be opened.
  static std::unique_ptr<SequenceStore> Open(const std::string& path, std::string* error);
  ~SequenceStore();
  SequenceStore(const SequenceStore&) = delete;
  SequenceStore& operator=(const SequenceStore&) = delete;

  // Creates the sequence when absent, so that its first draw gives `start`.
  bool Create(const std::string& owner, const std::string& name, std::int64_t start,
              std::string* error);
  // Draws the next value. Fails for an unknown sequence unless `create` is
  // set, in which case the sequence is made starting at 1.
  bool Next(const std::string& owner, const std::string& name, bool create, std::int64_t* value,
            std::string* error);
  // Draws the next value of an increment-1 sequence (made when absent) from
  // a block of `block` values that one write reserves; the rest of the block
  // is handed out from memory. Values stay unique across connections and
  // processes and are never handed out twice; what is left of a block when
  // the store closes is skipped, as a database sequence's cache skips it.
  // This keeps a durable write per block instead of per value.
  bool NextCached(const std::string& owner, const std::string& name, std::int64_t block,
                  std::int64_t* value, std::string* error);
  // Changes the increment (never 0). Fails for an unknown sequence.
  bool SetIncrement(const std::string& owner, const std::string& name, std::int64_t increment,
                    std::string* error);

 private:
  explicit SequenceStore(sqlite3* db) : db_(db) {}
  struct Block {
    std::int64_t next = 0;
    std::int64_t last = -1;
  };
  sqlite3* db_;
  std::map<std::string, Block> blocks_;  // reserved, not yet handed out
};

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_SEQUENCES_H_

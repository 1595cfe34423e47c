// The rewrites every target makes the same way: Oracle words spelled per
// target (DUAL, SYSDATE, MINUS, EMPTY_BLOB, DBMS_LOB.GETLENGTH), and a
// FOR UPDATE select's extra row-identity column.
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

std::size_t RewriteCommonWord(const Tokens& t, std::size_t i, const WordPlace& at,
                              const WordSpellings& spell, Tokens* out) {
  const Token& tok = t[i];
  if (IsWord(tok, "DUAL") && !at.afterDot && !at.beforeDot && at.prev != kNone &&
      (IsWord(t[at.prev], "FROM") || IsPunct(t[at.prev], ","))) {
    out->push_back(Raw(spell.dual));
    return i;
  }
  if (IsWord(tok, "SYSDATE") && !at.afterDot && !at.beforeDot && !at.beforeParen) {
    out->push_back(Raw(spell.sysdate));
    return i;
  }
  if (IsWord(tok, "MINUS") && !at.afterDot && !at.beforeDot) {
    // A word still: the compound select is split at it.
    out->push_back(Token{TokenKind::kWord, "EXCEPT", 0});
    return i;
  }
  if (IsWord(tok, "EMPTY_BLOB") && at.beforeParen) {
    // EMPTY_BLOB ( ): nothing but blanks between the parentheses.
    const std::size_t close = NextSig(t, at.next + 1, t.size());
    if (close < t.size() && IsPunct(t[close], ")")) {
      out->push_back(Raw(spell.emptyBlob));
      return close;
    }
  }
  const DottedName name = DottedNameAt(t, i, at);
  if (name.count >= 2 && IsWord(tok, "DBMS_LOB") && IsWord(t[name.word[1]], "GETLENGTH")) {
    out->push_back(Raw(spell.lobLength));
    return name.word[1];
  }
  return kNone;
}

bool AddRowIdentityColumn(Tokens* t, const char* column, Error* error) {
  const std::size_t first = NextSig(*t, 0, t->size());
  const std::size_t from = FindTopLevel(*t, first, t->size(), "FROM");
  if (from == kNone) {
    *error = "FOR UPDATE needs a FROM clause";
    return false;
  }
  t->insert(t->begin() + static_cast<std::ptrdiff_t>(from), Raw(std::string(",") + column + " "));
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

// Writing tokens out as target text: numbered parameters with the target's
// prefix, and whole statements with each query expression written by the
// target's own query renderer.
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

std::string Render(const Tokens& t, std::size_t begin, std::size_t end, char prefix) {
  std::string out;
  for (std::size_t i = begin; i < end && i < t.size(); ++i) {
    if ((t[i].kind == TokenKind::kBind || t[i].kind == TokenKind::kLifted) && t[i].slot > 0) {
      out += prefix;
      out += std::to_string(t[i].slot);
    } else {
      out += t[i].text;
    }
  }
  return out;
}

std::string RenderPlain(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e) {
  std::string out;
  for (std::size_t i = b; i < e; ++i) {
    if (IsPunct(t[i], "(")) {
      const std::size_t close = MatchParen(t, i, e);
      if (close != kNone) {
        out += "(";
        out +=
            IsQueryParen(t, i, e) ? r.query(r, t, i + 1, close) : RenderPlain(r, t, i + 1, close);
        out += ")";
        i = close;
        continue;
      }
    }
    out += Render(t, i, i + 1, r.prefix);
  }
  return out;
}

std::string RenderStatement(const Renderer& r, const Tokens& t) {
  const std::size_t first = NextSig(t, 0, t.size());
  if (first < t.size() &&
      (IsWord(t[first], "SELECT") || IsWord(t[first], "WITH") || IsPunct(t[first], "("))) {
    return r.query(r, t, 0, t.size());
  }
  return RenderPlain(r, t, 0, t.size());
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

// The constraint tree's own rules: combining, bounds, wildcard patterns.
#include "core/filter.h"

#include <utility>

namespace metashelf::server {

Filter Filter::Combine(Kind kind, std::vector<Filter> children) {
  if (children.size() == 1 && kind != Kind::kNot) return std::move(children.front());
  Filter f;
  f.kind = kind;
  f.children = std::move(children);
  return f;
}

namespace {

void Measure(const Filter& f, int depth, std::size_t* conditions, int* maxDepth) {
  if (depth > *maxDepth) *maxDepth = depth;
  if (f.kind == Filter::Kind::kAnd || f.kind == Filter::Kind::kOr || f.kind == Filter::Kind::kNot) {
    for (const Filter& c : f.children) Measure(c, depth + 1, conditions, maxDepth);
  } else if (f.kind != Filter::Kind::kAll) {
    ++*conditions;
  }
}

}  // namespace

bool CheckFilterBounds(const Filter& f, FilterError* error) {
  std::size_t conditions = 0;
  int depth = 0;
  Measure(f, 1, &conditions, &depth);
  if (conditions > kMaxFilterConditions) {
    error->message =
        "the constraint has more than " + std::to_string(kMaxFilterConditions) + " conditions";
    return false;
  }
  if (depth > kMaxFilterDepth) {
    error->message =
        "the constraint is nested deeper than " + std::to_string(kMaxFilterDepth) + " levels";
    return false;
  }
  return true;
}

std::string NormalizeLikePattern(const std::string& pattern, char wildCard, char singleChar,
                                 char escape) {
  std::string out;
  auto literal = [&out](char c) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  };
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (escape != '\0' && c == escape && i + 1 < pattern.size()) {
      literal(pattern[++i]);
    } else if (c == wildCard) {
      out += '%';
    } else if (c == singleChar) {
      out += '_';
    } else {
      literal(c);
    }
  }
  return out;
}

}  // namespace metashelf::server

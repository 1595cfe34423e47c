// Constraint trees run over a collection (filter_eval.h).
#include "core/filter_eval.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <utility>

#include "core/queryables.h"
#include "metashelf/base/numbers.h"

// The library's indexed search (free text, substrings, boxes) when it has
// one; otherwise free text is a like over the text aliases and a box four
// comparisons of its bounds.
#if __has_include("metashelf/search.h")
#include "metashelf/box_filter.h"
#include "metashelf/search.h"
#define METASHELF_SERVER_INDEXED_SEARCH 1
#endif

namespace metashelf::server {

std::vector<std::string> LikePieces(const std::string& pattern, bool* anyWildcard) {
  std::vector<std::string> pieces;
  std::string current;
  *anyWildcard = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      current += pattern[++i];
    } else if (c == '%' || c == '_') {
      *anyWildcard = true;
      if (!current.empty()) pieces.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) pieces.push_back(std::move(current));
  return pieces;
}

std::string DatePart(const std::string& value) {
  if (value.size() < 10) return std::string();
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (std::isdigit(static_cast<unsigned char>(value[i])) == 0) return std::string();
  }
  if (value[4] != '-' || value[7] != '-') return std::string();
  if (value.size() > 10 && value[10] != 'T' && value[10] != ' ') return std::string();
  return value.substr(0, 10);
}

namespace {

using Ids = std::vector<std::int64_t>;

Ids Intersect(const Ids& a, const Ids& b) {
  Ids out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}
Ids Unite(const Ids& a, const Ids& b) {
  Ids out;
  std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}
Ids Subtract(const Ids& a, const Ids& b) {
  Ids out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

// Only digits, sign, point and exponent: no hex, inf, nan or blanks, and
// nothing a double cannot hold.
bool PlainNumber(const std::string& v) {
  double ignored = 0;
  return v.size() <= 64 && base::ParseDouble(v, &ignored);
}

class Evaluator {
 public:
  Evaluator(OpenCollection& collection, EvalError* error)
      : collection_(collection), error_(error), indexed_(collection.IndexedSearchReady()) {}

  bool Run(const Filter& f, Ids* out) {
    if (f.kind != Filter::Kind::kAll && f.kind != Filter::Kind::kNot) {
      // The whole subtree as one search when it can be: the database then
      // narrows the sets itself, in one statement.
      std::vector<SearchNode> conds;
      std::string expression;
      switch (Compile(f, &conds, &expression)) {
        case kError:
          return false;
        case kNothing:
          out->clear();
          return true;
        case kCompiled:
          return Search(std::move(conds), expression, out);
        case kFallback:
          break;
      }
    }
    switch (f.kind) {
      case Filter::Kind::kAll:
        return Universe(out);
      case Filter::Kind::kAnd: {
        if (AndCompiledPart(f, out)) return true;
        if (error_->kind != EvalError::Kind::kNone) return false;
        for (std::size_t i = 0; i < f.children.size(); ++i) {
          Ids part;
          if (!Run(f.children[i], &part)) return false;
          *out = i == 0 ? std::move(part) : Intersect(*out, part);
          if (out->empty()) {
            // Later operands can only narrow; still check them for errors
            // so that a bad constraint is reported whatever the data.
            for (std::size_t j = i + 1; j < f.children.size(); ++j) {
              if (!Check(f.children[j])) return false;
            }
            return true;
          }
        }
        return true;
      }
      case Filter::Kind::kOr: {
        out->clear();
        for (const Filter& c : f.children) {
          Ids part;
          if (!Run(c, &part)) return false;
          *out = Unite(*out, part);
        }
        return true;
      }
      case Filter::Kind::kNot: {
        Ids inner;
        Ids all;
        if (f.children.size() != 1 || !Run(f.children.front(), &inner) || !Universe(&all)) {
          return false;
        }
        *out = Subtract(all, inner);
        return true;
      }
      default:
        return Leaf(f, out);
    }
  }

 private:
  // Resolves and type-checks a leaf without running it.
  bool Check(const Filter& f) {
    if (f.kind == Filter::Kind::kAnd || f.kind == Filter::Kind::kOr ||
        f.kind == Filter::Kind::kNot) {
      for (const Filter& c : f.children) {
        if (!Check(c)) return false;
      }
      return true;
    }
    if (f.kind == Filter::Kind::kAll) return true;
    Resolution r;
    if (!ResolveLeaf(f, &r)) return false;
    if (r.status != Resolution::Status::kFound || r.kind != QueryableKind::kAlias) return true;
    std::vector<SearchNode> scratch;
    std::string expression;
    return AliasExpression(f, r, &scratch, &expression);
  }

  bool Universe(Ids* out) {
    if (!universeRead_) {
      if (!collection_.RecordIds(&universe_)) return DbFail();
      universeRead_ = true;
    }
    *out = universe_;
    return true;
  }

  bool DbFail() {
    error_->kind = EvalError::Kind::kFailed;
    error_->message = "the search failed in collection '" + collection_.name() + "'";
    return false;
  }

  bool BadValue(const Filter& f, const std::string& why) {
    error_->kind = EvalError::Kind::kBadValue;
    error_->property = f.property;
    error_->message = why;
    return false;
  }

  bool ResolveLeaf(const Filter& f, Resolution* r) {
    *r = ResolveQueryable(collection_, f.property);
    if (r->status == Resolution::Status::kUnknown) {
      error_->kind = EvalError::Kind::kUnknownProperty;
      error_->property = f.property;
      error_->message = "unknown queryable '" + f.property + "'";
      return false;
    }
    if (r->status == Resolution::Status::kFound && f.kind == Filter::Kind::kBBox &&
        r->kind != QueryableKind::kBox) {
      return BadValue(f, "'" + f.property + "' is not a bounding box");
    }
    if (r->status == Resolution::Status::kFound && f.kind != Filter::Kind::kBBox &&
        r->kind == QueryableKind::kBox) {
      return BadValue(f, "'" + f.property + "' is compared only with BBOX");
    }
    return true;
  }

  // The value as node `node` compares it; false when it cannot take it.
  bool Typed(const Filter& f, const NodeRef& node, const std::string& value, std::string* out) {
    switch (node.tableType) {
      case 1:
        *out = value;
        return true;
      case 2:
        if (!PlainNumber(value)) return BadValue(f, "'" + f.property + "' takes a number");
        *out = value;
        return true;
      case 3:
        *out = DatePart(value);
        if (out->empty()) return BadValue(f, "'" + f.property + "' takes a date (YYYY-MM-DD)");
        return true;
      default:
        return BadValue(f, "'" + f.property + "' holds no values to compare");
    }
  }

  // The conditions (joined by "and") that a leaf on one node becomes.
  // `conds` may be null to check only.
  bool Conditions(const Filter& f, const NodeRef& node, std::vector<SearchNode>* conds) {
    std::vector<SearchNode> out;
    auto add = [&](const std::string& op, const std::string& v1, const std::string& v2) {
      SearchNode n;
      n.nodePath = node.path;
      n.op = op;
      n.value1 = v1;
      n.value2 = v2;
      out.push_back(std::move(n));
    };
    switch (f.kind) {
      case Filter::Kind::kCompare: {
        std::string v;
        if (!Typed(f, node, f.value, &v)) return false;
        add(f.op, v, "");
        break;
      }
      case Filter::Kind::kBetween: {
        std::string a;
        std::string b;
        if (!Typed(f, node, f.value, &a) || !Typed(f, node, f.value2, &b)) return false;
        add("between", a, b);
        break;
      }
      case Filter::Kind::kLike: {
        if (node.tableType != 1) return BadValue(f, "'" + f.property + "' is not text");
        bool wildcard = false;
        std::vector<std::string> pieces = LikePieces(f.value, &wildcard);
        if (!wildcard) {
          add("=", pieces.empty() ? std::string() : pieces.front(), "");
        } else if (pieces.empty()) {
          add("like", "", "");  // any value at all
        } else {
          for (const std::string& p : pieces) add("like", p, "");
        }
        break;
      }
      case Filter::Kind::kIsNull:
        if (!AnyValue(node, &out)) return BadValue(f, "'" + f.property + "' holds no values");
        break;
      default:
        return BadValue(f, "unsupported comparison on '" + f.property + "'");
    }
    if (conds != nullptr) *conds = std::move(out);
    return true;
  }

  // The expression of a leaf on a queryable's node and its date-time node
  // (either may be missing): a record passes on either; the conditions
  // are appended to `conds`.
  bool AliasExpression(const Filter& f, const Resolution& r, std::vector<SearchNode>* conds,
                       std::string* expression) {
    std::vector<std::string> alternatives;
    if (r.node.guid != 0) {
      std::vector<SearchNode> leaf;
      if (!Conditions(f, r.node, &leaf)) return false;
      std::string all;
      for (SearchNode& n : leaf) all += (all.empty() ? "" : " and ") + Append(conds, std::move(n));
      alternatives.push_back("(" + all + ")");
    }
    if (r.timeNode.guid != 0) {
      std::string time;
      if (!TimeConditions(f, r.timeNode, conds, &time)) return false;
      alternatives.push_back(time);
    }
    *expression = "(";
    for (std::size_t i = 0; i < alternatives.size(); ++i) {
      *expression += (i ? " or " : "") + alternatives[i];
    }
    *expression += ")";
    return true;
  }

  // A date compared with a text node of date-times ("2007-12-18T10:00:00"):
  // written as text they order as their dates do, and "~" follows every
  // character of a time of day, so the date-times of day D lie between
  // "D" and "D~".
  bool TimeConditions(const Filter& f, const NodeRef& node, std::vector<SearchNode>* conds,
                      std::string* expression) {
    auto add = [&](const char* op, const std::string& value) {
      SearchNode n;
      n.nodePath = node.path;
      n.op = op;
      n.value1 = value;
      return Append(conds, std::move(n));
    };
    auto date = [&](const std::string& value, std::string* out) {
      *out = DatePart(value);
      return !out->empty() || BadValue(f, "'" + f.property + "' takes a date (YYYY-MM-DD)");
    };
    std::string d;
    std::string e;
    switch (f.kind) {
      case Filter::Kind::kCompare:
        if (!date(f.value, &d)) return false;
        if (f.op == "=") {
          *expression = "(" + add(">=", d) + " and " + add("<=", d + "~") + ")";
        } else if (f.op == "<>") {
          *expression = "(" + add("<", d) + " or " + add(">", d + "~") + ")";
        } else if (f.op == "<" || f.op == ">=") {
          *expression = add(f.op == "<" ? "<" : ">=", d);
        } else if (f.op == "<=" || f.op == ">") {
          *expression = add(f.op == "<=" ? "<=" : ">", d + "~");
        } else {
          return BadValue(f, "unsupported comparison on '" + f.property + "'");
        }
        return true;
      case Filter::Kind::kBetween:
        if (!date(f.value, &d) || !date(f.value2, &e)) return false;
        *expression = "(" + add(">=", d) + " and " + add("<=", e + "~") + ")";
        return true;
      default: {
        // Substrings and "is null" take the text as it is.
        std::vector<SearchNode> leaf;
        if (!Conditions(f, node, &leaf)) return false;
        std::string all;
        for (SearchNode& n : leaf) {
          all += (all.empty() ? "" : " and ") + Append(conds, std::move(n));
        }
        *expression = "(" + all + ")";
        return true;
      }
    }
  }

  // A condition that every stored value of `node` passes.
  static bool AnyValue(const NodeRef& node, std::vector<SearchNode>* out) {
    SearchNode n;
    n.nodePath = node.path;
    switch (node.tableType) {
      case 1:
        n.op = "like";
        break;
      case 2:
        n.op = ">=";
        n.value1 = "-1e308";
        break;
      case 3:
        n.op = ">=";
        n.value1 = "0001-01-01";
        break;
      default:
        return false;
    }
    out->push_back(std::move(n));
    return true;
  }

  // Runs conditions joined by `join` ("and"/"or") in one search.
  bool Search(std::vector<SearchNode> conds, const char* join, Ids* out) {
    std::string expression;
    for (std::size_t i = 0; i < conds.size(); ++i) {
      conds[i].condID = static_cast<std::int32_t>(i + 1);
      if (i > 0) expression += std::string(" ") + join + " ";
      expression += std::to_string(i + 1);
    }
    return Search(std::move(conds), expression, out);
  }

  // What a subtree compiles to.
  enum Compiled {
    kError,     // refused (error_ is set)
    kNothing,   // matches no record of this collection
    kCompiled,  // `expression` over the conditions appended
    kFallback,  // needs evaluation here (not, is null, record ids)
  };

  // Appends a condition and returns its number.
  static std::string Append(std::vector<SearchNode>* conds, SearchNode node) {
    node.condID = static_cast<std::int32_t>(conds->size() + 1);
    conds->push_back(std::move(node));
    return std::to_string(conds->size());
  }

  // Every operand is parenthesized: the database applies "and" and "or"
  // left to right with equal precedence.
  Compiled Compile(const Filter& f, std::vector<SearchNode>* conds, std::string* expression) {
    const std::size_t mark = conds->size();
    auto fallback = [&] {
      conds->resize(mark);
      return kFallback;
    };
    if (f.kind == Filter::Kind::kAnd || f.kind == Filter::Kind::kOr) {
      const bool isAnd = f.kind == Filter::Kind::kAnd;
      std::vector<std::string> parts;
      bool fellBack = false;
      for (const Filter& c : f.children) {
        std::string part;
        switch (Compile(c, conds, &part)) {
          case kError:
            return kError;
          case kNothing:
            if (isAnd) {
              conds->resize(mark);
              for (const Filter& rest : f.children) {
                if (!Check(rest)) return kError;
              }
              return kNothing;
            }
            break;
          case kCompiled:
            parts.push_back(std::move(part));
            break;
          case kFallback:
            fellBack = true;
            break;
        }
      }
      if (fellBack) return fallback();
      if (parts.empty()) return kNothing;
      // A box beside other conditions is checked for the records they
      // leave (AndCompiledPart), not asked of the box index as a whole.
      if (isAnd && DefersBoxes(f)) return fallback();
      *expression = "(";
      for (std::size_t i = 0; i < parts.size(); ++i) {
        *expression += (i ? (isAnd ? " and " : " or ") : "") + parts[i];
      }
      *expression += ")";
      return kCompiled;
    }
    if (f.kind == Filter::Kind::kAll || f.kind == Filter::Kind::kNot ||
        f.kind == Filter::Kind::kIsNull) {
      // Checked here so that a bad constraint is reported whatever the data.
      return Check(f) ? fallback() : kError;
    }
    Resolution r;
    if (!ResolveLeaf(f, &r)) return kError;
    if (r.status == Resolution::Status::kUnavailable) return kNothing;
    std::vector<std::string> numbers;
    const char* join = " and ";
    switch (r.kind) {
      case QueryableKind::kIdentifier:
        return fallback();
      case QueryableKind::kAlias: {
        if (r.timeNode.guid != 0 || r.node.guid == 0) {
          std::string either;
          if (!AliasExpression(f, r, conds, &either)) return kError;
          numbers.push_back(std::move(either));
          break;
        }
        std::vector<SearchNode> leaf;
        if (!Conditions(f, r.node, &leaf)) return kError;
        // A substring of one node is found quickest among that node's own
        // values: the substring index holds whole records, so a word common
        // elsewhere in them (a title word among keywords) makes candidates
        // of most records, each then read row by row.
        if (indexed_ && f.kind == Filter::Kind::kLike) return fallback();
        for (SearchNode& n : leaf) numbers.push_back(Append(conds, std::move(n)));
        break;
      }
      case QueryableKind::kBox: {
#ifdef METASHELF_SERVER_INDEXED_SEARCH
        // The box index: west > east crosses the antimeridian.
        if (indexed_) {
          if (f.box[1] > f.box[3]) {
            BadValue(f, "the box's south lies above its north");
            return kError;
          }
          SearchNode c;
          c.op = "intersects";
          c.value1 = Number(f.box[0]) + "," + Number(f.box[1]) + "," + Number(f.box[2]) + "," +
                     Number(f.box[3]);
          numbers.push_back(Append(conds, std::move(c)));
          break;
        }
#endif
        std::vector<SearchNode> box;
        if (!BoxConditions(f, &box)) return kError;
        for (SearchNode& n : box) numbers.push_back(Append(conds, std::move(n)));
        break;
      }
      case QueryableKind::kAnyText: {
        std::vector<std::string> pieces;
        if (!AnyTextPieces(f, &pieces)) return kError;
        const std::vector<NodeRef> nodes = collection_.TextAliases();
        if (nodes.empty()) return kNothing;
        if (pieces.empty()) return fallback();  // every record
#ifdef METASHELF_SERVER_INDEXED_SEARCH
        // Free text over the whole record: every piece's words must occur,
        // a piece of several words as a phrase.
        if (indexed_) {
          for (const std::string& p : pieces) {
            SearchNode c;
            c.op = "text";
            c.value1 = p.find(' ') != std::string::npos ? "\"" + Words(p) + "\"" : p;
            numbers.push_back(Append(conds, std::move(c)));
          }
          break;
        }
#endif
        for (const std::string& p : pieces) {
          std::string any = "(";
          for (std::size_t i = 0; i < nodes.size(); ++i) {
            SearchNode c;
            c.nodePath = nodes[i].path;
            c.op = "like";
            c.value1 = p;
            any += (i ? " or " : "") + Append(conds, std::move(c));
          }
          numbers.push_back(any + ")");
        }
        break;
      }
    }
    *expression = "(";
    for (std::size_t i = 0; i < numbers.size(); ++i) *expression += (i ? join : "") + numbers[i];
    *expression += ")";
    return kCompiled;
  }

  // Whether the boxes of an "and" wait for its other operands' records:
  // a box over a continent meets thousands of records, a title or a word
  // beside it only dozens, whose own boxes are quickly read and checked.
  bool DefersBoxes(const Filter& f) const {
#ifdef METASHELF_SERVER_INDEXED_SEARCH
    if (!indexed_ || f.kind != Filter::Kind::kAnd) return false;
    std::size_t boxes = 0;
    for (const Filter& c : f.children) boxes += c.kind == Filter::Kind::kBBox ? 1 : 0;
    return boxes > 0 && boxes < f.children.size();
#else
    (void)f;
    return false;
#endif
  }

  // Narrows `out` to the records whose box meets the box condition `box`
  // (compiled): for a few records by checking theirs, otherwise through the
  // box index.
  bool NarrowByBox(const SearchNode& box, Ids* out) {
#ifdef METASHELF_SERVER_INDEXED_SEARCH
    // Up to this many records, reading their bounds (an index seek each,
    // about as costly as two or three records the box index hands back)
    // costs little beside the index's answer for a box over a continent,
    // and never much more than a small box's.
    constexpr std::size_t kCheckedAlone = 500;
    if (out->size() <= kCheckedAlone) {
      Ids found;
      if (MsFilterByBox(&collection_.set(), *out, box.value1, box.op == "within", &found) != 1) {
        return DbFail();
      }
      *out = std::move(found);
      return true;
    }
#endif
    Ids found;
    if (!Search({box}, "and", &found)) return false;
    *out = Intersect(*out, found);
    return true;
  }

  // For an "and" that cannot be one search as a whole: its operands that
  // can become one search, intersected with the others run here. False
  // when nothing could be compiled (or on error, with error_ set).
  bool AndCompiledPart(const Filter& f, Ids* out) {
    std::vector<SearchNode> conds;
    std::vector<std::string> parts;
    std::vector<const Filter*> rest;
    std::vector<SearchNode> boxes;  // deferred (DefersBoxes)
    const bool defer = DefersBoxes(f);
    for (const Filter& c : f.children) {
      std::string part;
      // A deferred box compiles on its own, outside the search's conditions.
      const bool deferred = defer && c.kind == Filter::Kind::kBBox;
      std::vector<SearchNode> box;
      switch (Compile(c, deferred ? &box : &conds, &part)) {
        case kError:
          return false;
        case kNothing:
          out->clear();
          return true;
        case kCompiled:
          if (deferred) {
            boxes.insert(boxes.end(), box.begin(), box.end());
          } else {
            parts.push_back(std::move(part));
          }
          break;
        case kFallback:
          rest.push_back(&c);
          break;
      }
    }
    if (parts.empty() && boxes.empty()) return false;
    // Substrings of one node first: a scan of that node's values is cheap,
    // and when it finds nothing the search (a box that meets thousands of
    // records, say) need not run at all.
    std::stable_partition(rest.begin(), rest.end(),
                          [](const Filter* c) { return c->kind == Filter::Kind::kLike; });
    bool first = true;
    auto narrow = [&](Ids part) {
      *out = first ? std::move(part) : Intersect(*out, part);
      first = false;
    };
    std::size_t next = 0;
    for (; next < rest.size() && rest[next]->kind == Filter::Kind::kLike; ++next) {
      Ids part;
      if (!Run(*rest[next], &part)) return false;
      narrow(std::move(part));
      if (out->empty()) return true;
    }
    if (!parts.empty()) {
      std::string expression = "(";
      for (std::size_t i = 0; i < parts.size(); ++i) expression += (i ? " and " : "") + parts[i];
      expression += ")";
      Ids found;
      if (!Search(std::move(conds), expression, &found)) return false;
      narrow(std::move(found));
    }
    for (; next < rest.size(); ++next) {
      if (!first && out->empty()) return true;
      Ids part;
      if (!Run(*rest[next], &part)) return false;
      narrow(std::move(part));
    }
    // Boxes last, over the fewest records. Deferred boxes always have
    // another operand before them, so `out` holds its records.
    for (const SearchNode& box : boxes) {
      if (out->empty()) return true;
      if (!NarrowByBox(box, out)) return false;
    }
    return true;
  }

  static std::string Number(double v) {
    return base::ShortestDouble(v);
  }

  // A phrase's words: quotes inside would end it early.
  static std::string Words(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
      if (c == '"') c = ' ';
    }
    return out;
  }

  bool Search(std::vector<SearchNode> conds, const std::string& expression, Ids* out) {
#ifdef METASHELF_SERVER_INDEXED_SEARCH
    if (!indexed_ || ValuesAlone(conds)) return ValueSearch(std::move(conds), expression, out);
    std::vector<MsSearchHit> hits;
    if (MsSearch(&collection_.set(), expression, conds, MsSearchOptions(), &hits, nullptr) != 1) {
      return DbFail();
    }
    out->clear();
    out->reserve(hits.size());
    for (const MsSearchHit& h : hits) out->push_back(h.metaID);
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
#else
    return ValueSearch(std::move(conds), expression, out);
#endif
  }

  // Whether the value tables alone answer `conds` as the indexed search
  // would: substrings and comparisons of text nodes (dates of reduced
  // precision, free text and boxes need the search indexes).
  bool ValuesAlone(const std::vector<SearchNode>& conds) {
    for (const SearchNode& c : conds) {
      if (c.nodePath.empty() || c.op == "text" || c.op == "intersects" || c.op == "within") {
        return false;
      }
      CNodeInfo info;
      if (collection_.schema().GetNodeInfoByPath(c.nodePath.c_str(), &info) != 1) return false;
      short tableType = 0;
      info.GetTableType(tableType);
      if (tableType != 1) return false;
    }
    return true;
  }

  // The search over the value tables alone.
  bool ValueSearch(std::vector<SearchNode> conds, const std::string& expression, Ids* out) {
    CSmartArray<std::int64_t> found;
    if (collection_.set().SearchMetaData(expression, conds, found) != 1) return DbFail();
    out->clear();
    out->reserve(static_cast<std::size_t>(found.GetSize()));
    for (std::int32_t i = 0; i < found.GetSize(); ++i) out->push_back(found[i]);
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
  }

  bool Leaf(const Filter& f, Ids* out) {
    Resolution r;
    if (!ResolveLeaf(f, &r)) return false;
    out->clear();
    if (r.status == Resolution::Status::kUnavailable) {
      // A queryable this collection's schema lacks matches nothing here;
      // "is null" matches every record.
      return f.kind == Filter::Kind::kIsNull ? Universe(out) : true;
    }
    switch (r.kind) {
      case QueryableKind::kAlias: {
        std::vector<SearchNode> conds;
        std::string expression;
        if (!AliasExpression(f, r, &conds, &expression)) return false;
        if (f.kind == Filter::Kind::kIsNull) {
          Ids with;
          Ids all;
          if (!Search(std::move(conds), expression, &with) || !Universe(&all)) return false;
          *out = Subtract(all, with);
          return true;
        }
        return Search(std::move(conds), expression, out);
      }
      case QueryableKind::kBox:
        return Box(f, out);
      case QueryableKind::kAnyText:
        return AnyText(f, out);
      case QueryableKind::kIdentifier:
        return Identifier(f, out);
    }
    return false;
  }

  // Records whose box meets [w, s, e, n]: west <= e, east >= w, south <= n,
  // north >= s.
  bool BoxConditions(const Filter& f, std::vector<SearchNode>* conds) {
    NodeRef west, east, south, north;
    collection_.Alias("westbc", &west);
    collection_.Alias("eastbc", &east);
    collection_.Alias("southbc", &south);
    collection_.Alias("northbc", &north);
    const double* b = f.box;
    if (b[0] > b[2] || b[1] > b[3]) {
      return BadValue(f, "the box's lower corner lies above or right of its upper corner");
    }
    conds->assign(4, SearchNode());
    const std::pair<const NodeRef*, std::pair<const char*, double>> parts[] = {
        {&west, {"<=", b[2]}},
        {&east, {">=", b[0]}},
        {&south, {"<=", b[3]}},
        {&north, {">=", b[1]}}};
    for (std::size_t i = 0; i < 4; ++i) {
      (*conds)[i].nodePath = parts[i].first->path;
      (*conds)[i].op = parts[i].second.first;
      (*conds)[i].value1 = Number(parts[i].second.second);
    }
    return true;
  }

  bool Box(const Filter& f, Ids* out) {
    std::vector<SearchNode> conds;
    if (!BoxConditions(f, &conds)) return false;
    return Search(std::move(conds), "and", out);
  }

  // Free text: every literal piece in some text alias of the record.
  bool AnyTextPieces(const Filter& f, std::vector<std::string>* pieces) {
    if (f.kind == Filter::Kind::kLike) {
      bool wildcard = false;
      *pieces = LikePieces(f.value, &wildcard);
    } else if (f.kind == Filter::Kind::kCompare && f.op == "=") {
      pieces->assign(1, f.value);
    } else {
      return BadValue(f, "'" + f.property + "' takes like or =");
    }
    return true;
  }

  bool AnyText(const Filter& f, Ids* out) {
    std::vector<std::string> pieces;
    if (!AnyTextPieces(f, &pieces)) return false;
    const std::vector<NodeRef> nodes = collection_.TextAliases();
    if (pieces.empty()) return Universe(out);
    if (nodes.empty()) {
      out->clear();
      return true;
    }
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      std::vector<SearchNode> conds;
      for (const NodeRef& n : nodes) {
        SearchNode c;
        c.nodePath = n.path;
        c.op = "like";
        c.value1 = pieces[p];
        conds.push_back(std::move(c));
      }
      Ids part;
      if (!Search(std::move(conds), "or", &part)) return false;
      *out = p == 0 ? std::move(part) : Intersect(*out, part);
      if (out->empty()) break;
    }
    return true;
  }

  bool Identifier(const Filter& f, Ids* out) {
    Ids all;
    if (!Universe(&all)) return false;
    out->clear();
    if (f.kind == Filter::Kind::kIsNull) return true;
    if (f.kind != Filter::Kind::kCompare && f.kind != Filter::Kind::kBetween &&
        f.kind != Filter::Kind::kLike) {
      return BadValue(f, "unsupported comparison on '" + f.property + "'");
    }
    for (std::int64_t id : all) {
      const std::string text = std::to_string(id);
      bool pass = false;
      if (f.kind == Filter::Kind::kLike) {
        bool wildcard = false;
        const std::vector<std::string> pieces = LikePieces(f.value, &wildcard);
        pass = true;
        for (const std::string& p : pieces) pass = pass && text.find(p) != std::string::npos;
        if (!wildcard) pass = pieces.size() == 1 && pieces[0] == text;
      } else if (f.kind == Filter::Kind::kBetween) {
        double low = 0;
        double high = 0;
        pass = base::ParseDouble(f.value, &low) && base::ParseDouble(f.value2, &high) &&
               low <= static_cast<double>(id) && static_cast<double>(id) <= high;
      } else if (f.op == "=" || f.op == "<>") {
        pass = (text == f.value) == (f.op == "=");
      } else if (double v = 0; base::ParseDouble(f.value, &v)) {
        const double x = static_cast<double>(id);
        pass = f.op == "<" ? x < v : f.op == "<=" ? x <= v : f.op == ">" ? x > v : x >= v;
      }
      if (pass) out->push_back(id);
    }
    return true;
  }

  OpenCollection& collection_;
  EvalError* error_;
  Ids universe_;
  bool universeRead_ = false;
  // Whether the collection's search indexes are complete: only then are
  // they used. A search would otherwise build them first, and this server
  // never writes.
  bool indexed_;
};

}  // namespace

bool EvaluateFilter(OpenCollection& collection, const Filter& filter, Ids* ids, EvalError* error) {
  Evaluator e(collection, error);
  return e.Run(filter, ids);
}

}  // namespace metashelf::server

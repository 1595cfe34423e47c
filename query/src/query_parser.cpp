// The search text parser: a tokenizer with explicit states, a recursive
// descent over "or" / "and" / parentheses / conditions, and the writer of the
// numbered expression. See query_parser.h for the language.
#include "metashelf/query/query_parser.h"

#include <cctype>
#include <utility>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/utf8.h"

namespace metashelf::query {
namespace {

enum class Tok { kWord, kString, kOp, kLParen, kRParen, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;
  std::size_t column = 0;  // 1-based
};

// The message of a refusal, carried out of the descent.
struct Refusal {
  std::size_t column;
  std::string message;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsOperatorChar(char c) {
  return c == '<' || c == '>' || c == '=' || c == '!' || c == '~';
}

bool IsWordChar(char c) {
  return !IsBlank(c) && c != '(' && c != ')' && c != '"' && c != '\'' && !IsOperatorChar(c);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Whether a free text holds a letter or digit (or a multi-byte character).
bool HasWord(const std::string& text) {
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80) {
      return true;
    }
  }
  return false;
}

bool IsBoxText(const std::string& text) {
  double v[4] = {};
  std::size_t begin = 0;
  for (int k = 0; k < 4; ++k) {
    const std::size_t comma = k < 3 ? text.find(',', begin) : text.size();
    if (comma == std::string::npos) return false;
    std::string part = text.substr(begin, comma - begin);
    while (!part.empty() && part.front() == ' ') part.erase(part.begin());
    while (!part.empty() && part.back() == ' ') part.pop_back();
    if (!base::ParseDouble(part, &v[k])) return false;
    begin = comma + 1;
  }
  const auto lon = [](double x) { return x >= -180 && x <= 180; };
  return lon(v[0]) && lon(v[2]) && v[1] >= -90 && v[3] <= 90 && v[1] <= v[3];
}

class Tokenizer {
 public:
  explicit Tokenizer(const std::string& text) : text_(text) {}

  // Splits the whole text; throws nothing, reports the first refusal.
  bool Run(std::vector<Token>* out, Refusal* refusal) {
    std::size_t i = 0;
    const std::size_t n = text_.size();
    while (i < n) {
      const char c = text_[i];
      if (IsBlank(c)) {
        ++i;
        continue;
      }
      Token t;
      t.column = i + 1;
      if (c == '(' || c == ')') {
        t.kind = c == '(' ? Tok::kLParen : Tok::kRParen;
        t.text = std::string(1, c);
        ++i;
      } else if (c == '"' || c == '\'') {
        t.kind = Tok::kString;
        if (!Quoted(&i, &t.text)) {
          *refusal = {t.column, "unterminated quoted value"};
          return false;
        }
      } else if (IsOperatorChar(c)) {
        t.kind = Tok::kOp;
        std::size_t j = i;
        while (j < n && IsOperatorChar(text_[j])) ++j;
        const std::string op = text_.substr(i, j - i);
        if (op == "~") {
          t.text = op;
        } else if (op == "=" || op == "==") {
          t.text = "=";
        } else if (op == "!=" || op == "<>") {
          t.text = "<>";
        } else if (op == "<" || op == "<=" || op == ">" || op == ">=") {
          t.text = op;
        } else {
          *refusal = {t.column, "unknown operator '" + op + "'"};
          return false;
        }
        i = j;
      } else {
        t.kind = Tok::kWord;
        std::size_t j = i;
        while (j < n && IsWordChar(text_[j])) ++j;
        t.text = text_.substr(i, j - i);
        i = j;
      }
      out->push_back(std::move(t));
    }
    Token end;
    end.kind = Tok::kEnd;
    end.column = n + 1;
    out->push_back(end);
    return true;
  }

 private:
  // A value between quotes; the quote itself is written doubled or with a
  // backslash, and a backslash as two backslashes.
  bool Quoted(std::size_t* i, std::string* value) {
    const char quote = text_[*i];
    std::size_t j = *i + 1;
    const std::size_t n = text_.size();
    while (j < n) {
      const char c = text_[j];
      if (c == '\\' && j + 1 < n && (text_[j + 1] == quote || text_[j + 1] == '\\')) {
        value->push_back(text_[j + 1]);
        j += 2;
      } else if (c == quote) {
        if (j + 1 < n && text_[j + 1] == quote) {
          value->push_back(quote);
          j += 2;
        } else {
          *i = j + 1;
          return true;
        }
      } else {
        value->push_back(c);
        ++j;
      }
    }
    return false;
  }

  const std::string& text_;
};

struct Node {
  enum Kind { kCondition, kAnd, kOr } kind = kCondition;
  int condition = 0;
  std::vector<Node> children;
};

class Parser {
 public:
  Parser(std::vector<Token> tokens, const FieldResolver& resolve)
      : tokens_(std::move(tokens)), resolve_(resolve) {}

  bool Run(ParsedQuery* out, Refusal* refusal) {
    Node root;
    if (!ParseOr(0, &root)) {
      *refusal = refusal_;
      return false;
    }
    if (Peek().kind != Tok::kEnd) {
      const Token& t = Peek();
      *refusal = {t.column,
                  t.kind == Tok::kRParen
                      ? std::string("')' without a matching '('")
                      : "expected 'and', 'or' or the end of the query before '" + t.text + "'"};
      return false;
    }
    out->expression = Emit(root);
    out->conditions = std::move(conditions_);
    return true;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  bool IsKeyword(const Token& t, const char* word) const {
    return t.kind == Tok::kWord && Lower(t.text) == word;
  }

  bool Fail(std::size_t column, std::string message) {
    refusal_ = {column, std::move(message)};
    return false;
  }

  // A run of `part`s joined by `keyword`: the part alone when there is
  // one, else a node of `kind` over all of them.
  bool ParseChain(int depth, Node* out, const char* keyword, Node::Kind kind,
                  bool (Parser::*part)(int, Node*)) {
    Node first;
    if (!(this->*part)(depth, &first)) return false;
    if (!IsKeyword(Peek(), keyword)) {
      *out = std::move(first);
      return true;
    }
    out->kind = kind;
    out->children.push_back(std::move(first));
    while (IsKeyword(Peek(), keyword)) {
      Next();
      Node next;
      if (!(this->*part)(depth, &next)) return false;
      out->children.push_back(std::move(next));
    }
    return true;
  }

  bool ParseOr(int depth, Node* out) {
    return ParseChain(depth, out, "or", Node::kOr, &Parser::ParseAnd);
  }

  bool ParseAnd(int depth, Node* out) {
    return ParseChain(depth, out, "and", Node::kAnd, &Parser::ParseFactor);
  }

  bool ParseFactor(int depth, Node* out) {
    const Token& t = Peek();
    if (t.kind == Tok::kLParen) {
      if (depth + 1 > kMaxNesting) {
        return Fail(t.column, "parentheses nested deeper than " + std::to_string(kMaxNesting));
      }
      Next();
      if (!ParseOr(depth + 1, out)) return false;
      if (Peek().kind != Tok::kRParen) {
        return Fail(Peek().column,
                    "expected ')' to close the '(' at column " + std::to_string(t.column));
      }
      Next();
      return true;
    }
    if (t.kind == Tok::kWord && !IsKeyword(t, "and") && !IsKeyword(t, "or")) {
      return ParseCondition(out);
    }
    if (t.kind == Tok::kEnd) return Fail(t.column, "expected a condition at the end of the query");
    return Fail(t.column, "expected a field name or '(' before '" + t.text + "'");
  }

  bool ParseValue(const std::string& after, std::string* value) {
    const Token& t = Peek();
    if (t.kind == Tok::kString ||
        (t.kind == Tok::kWord && !IsKeyword(t, "and") && !IsKeyword(t, "or"))) {
      if (t.text.size() > kMaxValueLength) {
        return Fail(t.column, "value longer than " + std::to_string(kMaxValueLength) + " bytes");
      }
      *value = t.text;
      Next();
      return true;
    }
    if (t.kind == Tok::kWord) {
      return Fail(t.column, "expected a value after " + after + " (write the word '" + t.text +
                                "' between quotes to search for it)");
    }
    return Fail(t.column, "expected a value after " + after);
  }

  bool CheckValue(const std::string& field, const FieldInfo& info, const std::string& value,
                  std::size_t column) {
    double number = 0;
    if (info.tableType == 2 && !base::ParseDouble(value, &number)) {
      return Fail(column, "field '" + field + "' holds numbers; '" + value + "' is not a number");
    }
    if (info.tableType == 3 && !base::IsCalendarDate(value)) {
      return Fail(column, "field '" + field + "' holds dates; '" + value +
                              "' is not a date written YYYY-MM-DD");
    }
    return true;
  }

  // text ~ QUERY, bbox intersects|within W,S,E,N: conditions the search
  // indexes answer.
  bool ParseIndexCondition(const Token& field, Node* out) {
    SearchNode node;
    const Token op = Next();
    if (IsKeyword(field, "text")) {
      if (op.kind != Tok::kOp || op.text != "~") {
        return Fail(op.column, "expected '~' after 'text' (text ~ \"words\")");
      }
      node.op = "text";
    } else if (IsKeyword(op, "intersects") || IsKeyword(op, "within")) {
      node.op = Lower(op.text);
    } else {
      return Fail(op.column, "expected 'intersects' or 'within' after 'bbox'");
    }
    const std::size_t valueColumn = Peek().column;
    if (!ParseValue("'" + op.text + "'", &node.value1)) return false;
    if (node.op == "text" && !HasWord(node.value1)) {
      return Fail(valueColumn, "the free text holds no word to search for");
    }
    if (node.op != "text" && !IsBoxText(node.value1)) {
      return Fail(valueColumn,
                  "expected a box W,S,E,N in decimal degrees (-180..180, -90..90, "
                  "south <= north)");
    }
    return AddCondition(std::move(node), field.column, out);
  }

  // Numbers `node` as the next condition and makes `out` stand for it;
  // refused (at `column`) past kMaxConditions.
  bool AddCondition(SearchNode node, std::size_t column, Node* out) {
    if (conditions_.size() >= kMaxConditions) {
      return Fail(column, "more than " + std::to_string(kMaxConditions) + " conditions");
    }
    node.condID = static_cast<std::int32_t>(conditions_.size() + 1);
    out->kind = Node::kCondition;
    out->condition = node.condID;
    conditions_.push_back(std::move(node));
    return true;
  }

  bool ParseCondition(Node* out) {
    const Token field = Next();
    if ((IsKeyword(field, "text") && Peek().kind == Tok::kOp && Peek().text == "~") ||
        (IsKeyword(field, "bbox") &&
         (IsKeyword(Peek(), "intersects") || IsKeyword(Peek(), "within")))) {
      return ParseIndexCondition(field, out);
    }
    FieldInfo info;
    if (!resolve_(field.text, &info)) {
      return Fail(field.column, "unknown field '" + field.text + "'");
    }
    if (info.tableType < 1 || info.tableType > 3) {
      return Fail(field.column, "field '" + field.text + "' holds no searchable values");
    }
    SearchNode node;
    node.nodePath = info.path;
    const Token op = Next();
    if (op.kind == Tok::kOp && op.text == "~") {
      return Fail(op.column, "'~' searches free text: write text ~ \"words\"");
    } else if (op.kind == Tok::kOp) {
      node.op = op.text;
    } else if (IsKeyword(op, "like") || IsKeyword(op, "between")) {
      node.op = Lower(op.text);
    } else if (IsKeyword(op, "not")) {
      return Fail(op.column, "'not' is not supported; use '<>' for a single value");
    } else {
      return Fail(op.column,
                  "expected an operator (=, <>, <, <=, >, >=, like, between) after "
                  "field '" +
                      field.text + "'");
    }
    if (node.op == "like" && info.tableType != 1) {
      return Fail(op.column, "'like' applies to text fields; '" + field.text + "' holds " +
                                 (info.tableType == 2 ? "numbers" : "dates"));
    }
    const std::size_t valueColumn = Peek().column;
    if (!ParseValue("'" + node.op + "'", &node.value1)) return false;
    if (!CheckValue(field.text, info, node.value1, valueColumn)) return false;
    if (node.op == "between") {
      if (!IsKeyword(Peek(), "and")) {
        return Fail(Peek().column, "expected 'and' between the two values of 'between'");
      }
      Next();
      const std::size_t upperColumn = Peek().column;
      if (!ParseValue("'between ... and'", &node.value2)) return false;
      if (!CheckValue(field.text, info, node.value2, upperColumn)) return false;
    }
    return AddCondition(std::move(node), field.column, out);
  }

  // Writes the node with the parentheses that the database's left-to-right
  // evaluation of equal-precedence set operators needs: an "or" group
  // inside an "and", and an "and" group inside an "or".
  static std::string Emit(const Node& n) {
    if (n.kind == Node::kCondition) return std::to_string(n.condition);
    const char* joiner = n.kind == Node::kAnd ? " and " : " or ";
    std::string out;
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      if (i > 0) out += joiner;
      const Node& c = n.children[i];
      const bool wrap = c.kind != Node::kCondition && c.kind != n.kind;
      out += wrap ? "(" + Emit(c) + ")" : Emit(c);
    }
    return out;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  const FieldResolver& resolve_;
  std::vector<SearchNode> conditions_;
  Refusal refusal_{0, ""};
};

}  // namespace

bool ParseQuery(const std::string& text, const FieldResolver& resolve, ParsedQuery* out,
                QueryError* error) {
  auto refuse = [error](std::size_t column, std::string message) {
    if (error != nullptr) *error = {column, std::move(message)};
    return false;
  };
  if (out == nullptr || !resolve) return refuse(0, "no query target");
  if (text.size() > kMaxQueryLength) {
    return refuse(0, "query longer than " + std::to_string(kMaxQueryLength) + " bytes");
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && !IsBlank(static_cast<char>(c))) || c == 0x7F) {
      return refuse(i + 1, "control character in the query");
    }
  }
  std::size_t bad = 0;
  if (!base::IsStrictUtf8(text, &bad)) return refuse(bad + 1, "the query is not valid UTF-8");

  std::vector<Token> tokens;
  Refusal refusal{0, ""};
  if (!Tokenizer(text).Run(&tokens, &refusal)) return refuse(refusal.column, refusal.message);
  if (tokens.size() == 1) return refuse(0, "empty query");
  ParsedQuery parsed;
  if (!Parser(std::move(tokens), resolve).Run(&parsed, &refusal)) {
    return refuse(refusal.column, refusal.message);
  }
  *out = std::move(parsed);
  return true;
}

}  // namespace metashelf::query

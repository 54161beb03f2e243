#include "tables/sql/sql_expression.h"

#include <algorithm>
#include <charconv>

#include "tables/sql/sql_error.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

using Kind = SqlValue::Kind;

// Reads a number token (optionally negated) into a constant node. False when
// the text is not a number ("1.2.3", "1e").
bool ReadNumber(const SqlToken& token, bool negative, SqlNode* node) {
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  if (token.kind == SqlTokenKind::kInteger) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(first, last, v);
    if (ec == std::errc() && p == last) {
      node->constant_kind = Kind::kInteger;
      node->integer = negative ? -v : v;
      return true;
    }
  }
  double d = 0;
  auto [p, ec] = std::from_chars(first, last, d);
  if (ec != std::errc() || p != last) return false;
  node->constant_kind = Kind::kFloat;
  node->number = negative ? -d : d;
  return true;
}

// Bounds that keep parsing, evaluation and destruction of a tree within a
// small stack, whatever text arrives: parentheses and NOT nest at most
// kMaxNesting deep, and no tree grows taller than kMaxHeight nodes.
constexpr int kMaxNesting = 100;
constexpr int kMaxHeight = 1000;

class ConditionParser {
 public:
  ConditionParser(TExpressionParser& parser, const SqlClause& clause, int* next_parameter)
      : parser_(parser), clause_(clause), next_parameter_(next_parameter) {}

  std::unique_ptr<SqlNode> Condition() {
    Nest();
    auto left = Conjunct();
    while (Current().IsKeyword("OR")) {
      parser_.Next();
      left = Join(SqlNodeKind::kOr, std::move(left), Conjunct());
    }
    --nesting_;
    return left;
  }

 private:
  const SqlToken& Current() const { return parser_.Current(); }

  void Nest() {
    if (++nesting_ > kMaxNesting) TooComplex();
  }

  [[noreturn]] void TooComplex() {
    ThrowSqlError("Expression too complex in " + std::string(clause_.name));
  }

  std::unique_ptr<SqlNode> Join(SqlNodeKind kind, std::unique_ptr<SqlNode> left,
                                std::unique_ptr<SqlNode> right) {
    auto node = std::make_unique<SqlNode>();
    node->height = 1 + std::max(left->height, right ? right->height : 0);
    if (node->height > kMaxHeight) TooComplex();
    node->kind = kind;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
  }

  std::unique_ptr<SqlNode> Conjunct() {
    auto left = Negation();
    while (Current().IsKeyword("AND")) {
      parser_.Next();
      left = Join(SqlNodeKind::kAnd, std::move(left), Negation());
    }
    return left;
  }

  std::unique_ptr<SqlNode> Negation() {
    if (!Current().IsKeyword("NOT")) return Comparison();
    parser_.Next();
    Nest();
    auto node = Join(SqlNodeKind::kNot, Negation(), nullptr);
    --nesting_;
    return node;
  }

  std::unique_ptr<SqlNode> Comparison() {
    auto left = Operand();
    const SqlToken& t = Current();
    if (t.kind != SqlTokenKind::kSymbol) return left;
    char c = t.text[0];
    if (c != '=' && c != '<' && c != '>') return left;
    size_t end = t.end;
    SqlCompareOp op = c == '='   ? SqlCompareOp::kEqual
                      : c == '<' ? SqlCompareOp::kLess
                                 : SqlCompareOp::kGreater;
    const SqlToken& second = parser_.Next();
    // "<>", "<=" and ">=" are two symbol tokens written without a gap.
    if (c != '=' && second.offset == end) {
      if (second.IsSymbol('=')) {
        op = c == '<' ? SqlCompareOp::kLessEqual : SqlCompareOp::kGreaterEqual;
        parser_.Next();
      } else if (c == '<' && second.IsSymbol('>')) {
        op = SqlCompareOp::kNotEqual;
        parser_.Next();
      }
    }
    auto node = Join(SqlNodeKind::kCompare, std::move(left), Operand());
    node->op = op;
    return node;
  }

  std::unique_ptr<SqlNode> Operand() {
    const SqlToken& t = Current();
    auto node = std::make_unique<SqlNode>();
    switch (t.kind) {
      case SqlTokenKind::kName:
      case SqlTokenKind::kBracketed:
        if (IsReservedWord(t)) ThrowUnexpectedSymbol(t, clause_.name);
        node->kind = SqlNodeKind::kField;
        node->column_name = t.text;
        if (parser_.Next().IsSymbol('.')) {
          const SqlToken& column = parser_.Next();
          if ((column.kind != SqlTokenKind::kName && column.kind != SqlTokenKind::kBracketed) ||
              IsReservedWord(column)) {
            ThrowUnexpectedSymbol(column, clause_.name);
          }
          node->correlation = std::move(node->column_name);
          node->column_name = column.text;
          parser_.Next();
        }
        return node;
      case SqlTokenKind::kSingleQuoted:
      case SqlTokenKind::kDoubleQuoted:
        node->kind = SqlNodeKind::kConstant;
        node->constant_kind = Kind::kString;
        node->text = t.text;
        parser_.Next();
        return node;
      case SqlTokenKind::kInteger:
      case SqlTokenKind::kDecimal:
        return Number(std::move(node), /*negative=*/false);
      case SqlTokenKind::kSymbol:
        if (t.IsSymbol('?')) {
          if (!clause_.parameters_allowed) {
            ThrowSqlError("Parameters are not allowed in " + std::string(clause_.name));
          }
          node->kind = SqlNodeKind::kParameter;
          node->parameter_index = (*next_parameter_)++;
          parser_.Next();
          return node;
        }
        if (t.IsSymbol('(')) {
          parser_.Next();
          node = Condition();
          if (!Current().IsSymbol(')')) ThrowUnexpectedSymbol(Current(), clause_.name);
          parser_.Next();
          return node;
        }
        if (t.IsSymbol('-') || t.IsSymbol('+')) {
          bool negative = t.IsSymbol('-');
          const SqlToken& number = parser_.Next();
          if (number.kind != SqlTokenKind::kInteger && number.kind != SqlTokenKind::kDecimal) {
            ThrowUnexpectedSymbol(number, clause_.name);
          }
          return Number(std::move(node), negative);
        }
        break;
      case SqlTokenKind::kEnd:
        break;
    }
    ThrowUnexpectedSymbol(t, clause_.name);
  }

  std::unique_ptr<SqlNode> Number(std::unique_ptr<SqlNode> node, bool negative) {
    node->kind = SqlNodeKind::kConstant;
    if (!ReadNumber(Current(), negative, node.get())) {
      ThrowUnexpectedSymbol(Current(), clause_.name);
    }
    parser_.Next();
    return node;
  }

  TExpressionParser& parser_;
  const SqlClause& clause_;
  int* next_parameter_;
  int nesting_ = 0;
};

bool IsBoolean(const SqlNode& n) {
  switch (n.kind) {
    case SqlNodeKind::kCompare:
    case SqlNodeKind::kAnd:
    case SqlNodeKind::kOr:
    case SqlNodeKind::kNot:
      return true;
    case SqlNodeKind::kField:
      return n.column_kind == Kind::kBoolean;
    default:
      return false;
  }
}

void Resolve(SqlNode& n, const SqlColumns& columns, std::string_view correlation,
             const SqlClause& clause) {
  if (n.kind == SqlNodeKind::kField) {
    int index = -1;
    if (n.correlation.empty() || text::SameText(n.correlation, correlation)) {
      index = FindColumn(columns, n.column_name);
    }
    if (index < 0) {
      ThrowSqlError(InvalidColumnMessage(n.column_name, n.correlation, clause.name));
    }
    n.column_index = index;
    n.column_kind = ValueKindOf(columns[index].type);
    return;
  }
  bool logical =
      n.kind == SqlNodeKind::kAnd || n.kind == SqlNodeKind::kOr || n.kind == SqlNodeKind::kNot;
  for (SqlNode* child : {n.left.get(), n.right.get()}) {
    if (child == nullptr) continue;
    Resolve(*child, columns, correlation, clause);
    if (logical && !IsBoolean(*child)) ThrowSqlError(clause.not_boolean_message);
  }
}

// --- Evaluation ---------------------------------------------------------

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Converts a string to the kind of the value it is compared with. Returns a
// null value when the text does not read as that kind.
SqlValue ConvertString(std::string_view s, Kind to) {
  s = Trim(s);
  if (to == Kind::kBoolean) {
    if (text::SameText(s, "TRUE")) return SqlValue::Boolean(true);
    if (text::SameText(s, "FALSE")) return SqlValue::Boolean(false);
    return SqlValue::Null();
  }
  const char* first = s.data();
  const char* last = first + s.size();
  if (s.size() > 1 && s[0] == '+' && s[1] != '-') ++first;  // from_chars reads no plus sign
  int64_t i = 0;
  auto [pi, ei] = std::from_chars(first, last, i);
  if (ei == std::errc() && pi == last) return SqlValue::Integer(i);
  double d = 0;
  auto [pd, ed] = std::from_chars(first, last, d);
  if (ed == std::errc() && pd == last && first != last) return SqlValue::Float(d);
  return SqlValue::Null();
}

SqlValue Truth(bool b) { return SqlValue::Boolean(b); }

SqlValue ApplyOrder(SqlCompareOp op, int order) {
  switch (op) {
    case SqlCompareOp::kEqual:
      return Truth(order == 0);
    case SqlCompareOp::kNotEqual:
      return Truth(order != 0);
    case SqlCompareOp::kLess:
      return Truth(order < 0);
    case SqlCompareOp::kGreater:
      return Truth(order > 0);
    case SqlCompareOp::kLessEqual:
      return Truth(order <= 0);
    case SqlCompareOp::kGreaterEqual:
      return Truth(order >= 0);
  }
  return SqlValue::Null();
}

bool IsPrefixConstant(const SqlNode* n) {
  return n->kind == SqlNodeKind::kConstant && n->constant_kind == Kind::kString &&
         !n->text.empty() && n->text.back() == '*';
}

SqlValue CompareStrings(const SqlNode& n, std::string_view a, std::string_view b) {
  bool equality = n.op == SqlCompareOp::kEqual || n.op == SqlCompareOp::kNotEqual;
  if (equality) {
    bool equal;
    if (n.prefix_match && (IsPrefixConstant(n.right.get()) || IsPrefixConstant(n.left.get()))) {
      bool right_is_pattern = IsPrefixConstant(n.right.get());
      std::string_view value = right_is_pattern ? a : b;
      std::string_view prefix = right_is_pattern ? b : a;
      prefix.remove_suffix(1);
      value = value.substr(0, prefix.size());
      equal = n.ignore_case ? text::SameText(value, prefix) : value == prefix;
    } else {
      equal = n.ignore_case ? text::SameText(a, b) : a == b;
    }
    return Truth(equal == (n.op == SqlCompareOp::kEqual));
  }
  return ApplyOrder(n.op, text::CompareLanguage(a, b, n.ignore_case));
}

SqlValue Compare(const SqlNode& n, SqlValue a, SqlValue b) {
  if (a.IsNull() || b.IsNull()) return SqlValue::Null();
  if (a.kind == Kind::kString && b.kind == Kind::kString) return CompareStrings(n, a.text, b.text);
  if (a.kind == Kind::kString) a = ConvertString(a.text, b.kind);
  if (b.kind == Kind::kString) b = ConvertString(b.text, a.kind);
  if (a.IsNull() || b.IsNull()) return SqlValue::Null();
  return ApplyOrder(n.op, CompareForResultIndex(a, b, /*ignore_case=*/false));
}

// Unknown (null) when the value is not a boolean.
SqlValue AsTruth(const SqlValue& v) { return v.kind == Kind::kBoolean ? v : SqlValue::Null(); }

bool IsFalse(const SqlValue& v) { return v.kind == Kind::kBoolean && v.integer == 0; }
bool IsTrue(const SqlValue& v) { return v.kind == Kind::kBoolean && v.integer != 0; }

SqlValue Evaluate(const SqlNode& n, const SqlRow& row, std::span<const std::string> params) {
  switch (n.kind) {
    case SqlNodeKind::kField: {
      SqlValue v = row.Column(n.column_index);
      if (v.IsNull() && n.column_kind == Kind::kString) return SqlValue::String({});
      return v;
    }
    case SqlNodeKind::kConstant:
      return n.ConstantValue();
    case SqlNodeKind::kParameter:
      if (n.parameter_index < 0 || static_cast<size_t>(n.parameter_index) >= params.size()) {
        return SqlValue::Null();
      }
      return SqlValue::String(params[n.parameter_index]);
    case SqlNodeKind::kCompare:
      return Compare(n, Evaluate(*n.left, row, params), Evaluate(*n.right, row, params));
    case SqlNodeKind::kNot: {
      SqlValue v = AsTruth(Evaluate(*n.left, row, params));
      return v.IsNull() ? v : Truth(v.integer == 0);
    }
    case SqlNodeKind::kAnd:
    case SqlNodeKind::kOr: {
      // AND: false wins; OR: true wins; otherwise unknown beats the other.
      bool is_and = n.kind == SqlNodeKind::kAnd;
      auto decides = [is_and](const SqlValue& v) { return is_and ? IsFalse(v) : IsTrue(v); };
      SqlValue a = AsTruth(Evaluate(*n.left, row, params));
      if (decides(a)) return a;
      SqlValue b = AsTruth(Evaluate(*n.right, row, params));
      if (decides(b)) return b;
      if (a.IsNull() || b.IsNull()) return SqlValue::Null();
      return Truth(is_and);
    }
  }
  return SqlValue::Null();
}

}  // namespace

SqlValue SqlNode::ConstantValue() const {
  switch (constant_kind) {
    case Kind::kInteger:
      return SqlValue::Integer(integer);
    case Kind::kFloat:
      return SqlValue::Float(number);
    default:
      return SqlValue::String(text);
  }
}

bool IsReservedWord(const SqlToken& token) {
  static constexpr std::string_view kWords[] = {
      "SELECT", "INSERT",    "UPDATE",     "DELETE", "ALL", "DISTINCT", "AS",
      "FROM",   "WHERE",     "GROUP",      "ORDER",  "BY",  "HAVING",   "ASC",
      "DESC",   "ASCENDING", "DESCENDING", "NOCASE", "AND", "OR",       "NOT"};
  for (std::string_view w : kWords) {
    if (token.IsKeyword(w)) return true;
  }
  return false;
}

void ThrowUnexpectedSymbol(const SqlToken& token, std::string_view clause) {
  ThrowSqlError("Unknown or unexpected symbol '" + token.text + "' found in " +
                std::string(clause));
}

std::unique_ptr<SqlNode> ParseCondition(TExpressionParser& parser, const SqlClause& clause,
                                        int* next_parameter) {
  return ConditionParser(parser, clause, next_parameter).Condition();
}

void ResolveCondition(SqlNode& condition, const SqlColumns& columns, std::string_view correlation,
                      const SqlClause& clause) {
  Resolve(condition, columns, correlation, clause);
  if (!IsBoolean(condition)) ThrowSqlError(clause.not_boolean_message);
}

bool ConditionHolds(const SqlNode& condition, const SqlRow& row,
                    std::span<const std::string> parameters) {
  return IsTrue(Evaluate(condition, row, parameters));
}

std::string InvalidColumnMessage(std::string_view name, std::string_view correlation,
                                 std::string_view clause) {
  std::string m = "Invalid column name '";
  m.append(name).append("' or table correlation name '").append(correlation);
  m.append("' specified in ").append(clause);
  return m;
}

}  // namespace quoldex::tables

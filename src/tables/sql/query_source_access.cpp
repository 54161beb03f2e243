#include "tables/sql/query_source_access.h"

#include <cstring>
#include <string_view>

#include "text/western.h"

namespace quoldex::tables {
namespace {

struct Equality {
  int column = -1;
  std::string value;
  bool ignore_case = false;
  bool prefix = false;  // the column begins with value
  bool exact() const { return !ignore_case && !prefix; }
};

// The string value `node` stands for: a string constant or a bound
// parameter; false for anything else.
bool StringValueOf(const SqlNode& node, std::span<const std::string> parameters,
                   std::string* value) {
  if (node.kind == SqlNodeKind::kConstant && node.constant_kind == SqlValue::Kind::kString) {
    *value = node.text;
    return true;
  }
  if (node.kind == SqlNodeKind::kParameter && node.parameter_index >= 0 &&
      static_cast<size_t>(node.parameter_index) < parameters.size()) {
    *value = parameters[node.parameter_index];
    return true;
  }
  return false;
}

// Equalities "string column = value" that the whole condition implies: the
// condition itself or any conjunct of a top-level AND chain. True when they
// are all the condition says (every conjunct is such an equality).
bool CollectEqualities(const SqlNode& node, std::span<const std::string> parameters,
                       const std::vector<FieldDesc>& fields, std::vector<Equality>* out) {
  if (node.kind == SqlNodeKind::kAnd) {
    const bool left = CollectEqualities(*node.left, parameters, fields, out);
    const bool right = CollectEqualities(*node.right, parameters, fields, out);
    return left && right;
  }
  if (node.kind != SqlNodeKind::kCompare || node.op != SqlCompareOp::kEqual) return false;
  for (const auto& [field, other] : {std::pair{node.left.get(), node.right.get()},
                                     std::pair{node.right.get(), node.left.get()}}) {
    if (field->kind != SqlNodeKind::kField || field->column_index < 0 ||
        static_cast<size_t>(field->column_index) >= fields.size() ||
        fields[field->column_index].type != kTypeString) {
      continue;
    }
    Equality e{field->column_index, {}, node.ignore_case, false};
    if (StringValueOf(*other, parameters, &e.value)) {
      // A constant ending in "*" is a prefix where the comparison says so.
      if (node.prefix_match && other->kind == SqlNodeKind::kConstant && !e.value.empty() &&
          e.value.back() == '*') {
        e.value.pop_back();
        e.prefix = true;
      }
      out->push_back(std::move(e));
      return true;
    }
  }
  return false;
}

}  // namespace

void SourcePrefilter::Add(const FieldDesc& field, std::string value, bool ignore_case,
                          bool prefix) {
  tests_.push_back({field.offset, field.size, std::move(value), ignore_case, prefix});
}

bool SourcePrefilter::Passes(const uint8_t* record) const {
  for (const Test& t : tests_) {
    // The field reads as nothing when null, else as its bytes up to the
    // first zero or its declared size.
    const uint8_t* slot = record + t.offset;
    const size_t n = t.value.size();
    if (slot[0] == 0) {
      if (n != 0) return false;
      continue;
    }
    if (t.ignore_case || t.prefix) {
      const auto* text = reinterpret_cast<const char*>(slot + 1);
      std::string_view stored(text, strnlen(text, t.size));
      if (t.prefix) stored = stored.substr(0, n);
      if (t.ignore_case ? !text::SameText(stored, t.value) : stored != t.value) return false;
      continue;
    }
    if (n > t.size || std::memcmp(slot + 1, t.value.data(), n) != 0) return false;
    if (n < t.size && slot[1 + n] != 0) return false;
  }
  return true;
}

SourcePrefilter PrefilterFor(const SqlNode* condition, std::span<const std::string> parameters,
                             const std::vector<FieldDesc>& fields) {
  SourcePrefilter prefilter;
  if (condition == nullptr) return prefilter;
  std::vector<Equality> equalities;
  const bool exact = CollectEqualities(*condition, parameters, fields, &equalities);
  for (const Equality& e : equalities) {
    prefilter.Add(fields[e.column], e.value, e.ignore_case, e.prefix);
  }
  prefilter.SetExact(exact);
  return prefilter;
}

SourceAccess ChooseSourceAccess(const SqlNode* where, std::span<const std::string> parameters,
                                const std::vector<FieldDesc>& fields,
                                const std::vector<IndexDesc>& indexes) {
  SourceAccess access;
  if (where == nullptr) return access;
  access.prefilter = PrefilterFor(where, parameters, fields);
  std::vector<Equality> equalities;
  CollectEqualities(*where, parameters, fields, &equalities);
  bool found_unique = false;
  for (const Equality& e : equalities) {
    if (!e.exact()) continue;  // an index range needs the value itself
    for (size_t i = 0; i < indexes.size(); ++i) {
      const IndexDesc& index = indexes[i];
      if (index.fields.empty() || index.fields[0] != e.column + 1) continue;
      const bool unique = i == 0 || index.unique;
      if (access.ranged && (found_unique || !unique)) continue;
      access.index = static_cast<int>(i);
      access.ranged = true;
      access.value = FieldValue::String(e.value);
      found_unique = unique;
    }
  }
  return access;
}

}  // namespace quoldex::tables

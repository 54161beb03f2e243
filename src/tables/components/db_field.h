// Field objects: a data set's view of one column of its current row.
//
// A field object names its column (matched without regard to case when the
// data set opens), has a kind, and carries the presentation settings that
// grids and record-view dialogs use: display label, display width, visible,
// required and read-only. It reads the value of the current row (or of the
// row being edited or inserted) in several forms and writes it in the same
// forms while its data set is in edit or insert state.
//
// Persistent field objects are declared by the program with
// TDataSet::AddField before the data set opens and live as long as the data
// set; when none are declared the data set makes one default field object
// per column at open and destroys them at close.
//
// Reading: a null value reads as "" (text), 0 (integer, float, date-time)
// or false (boolean). Writing: a string field object cuts text to its own
// size, which may be smaller than the column's; a date-time written to a
// string field is stored as the user's regional date-time text
// (db_datetime_text.h), cut the same way. Conversions between forms follow
// the column's text rules (field_text.h); an impossible one raises
// EDatabaseError "Type mismatch for field 'X'" or the conversion's message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

class TDataSet;

// Kinds of columns (field and restructure definitions) and of field objects.
// Field objects come in the kinds string, integer, auto-increment, boolean,
// float and date-time; the other kinds only define columns and are served by
// the integer (small integer, word), float (currency) or date-time (date,
// time) field objects.
enum class FieldKind {
  kString,
  kSmallInt,
  kInteger,
  kWord,
  kAutoInc,
  kBoolean,
  kFloat,
  kCurrency,
  kDate,
  kTime,
  kDateTime,
};

// Sets the type code and subtype of `column` for a column of `kind`.
void SetColumnType(FieldKind kind, FieldDesc* column);

// The kind of field object that serves `column`; nullopt for the columns
// whose values the engine cannot read (blob, BCD, extended, computed).
std::optional<FieldKind> FieldObjectKindFor(const FieldDesc& column);

// The names of a field list "A;B;C", each without surrounding blanks.
std::vector<std::string> SplitFieldNames(std::string_view list);

// A search value for `column`: text given for a column that does not hold
// text is converted to the column's kind (raising the conversion's error
// when it does not convert); any other value is returned as it is.
FieldValue ValueForColumn(const FieldDesc& column, const FieldValue& value);
// The same without a copy: `value` itself when it needs no conversion, else
// `converted`, which receives the converted value.
const FieldValue& ValueForColumn(const FieldDesc& column, const FieldValue& value,
                                 FieldValue& converted);

class TField;

// A default field object for `column` (named and sized as the column), or
// null when no field object kind serves it.
std::unique_ptr<TField> MakeDefaultField(const FieldDesc& column);

class TField {
 public:
  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return field_name_; }
  FieldKind Kind() const { return kind_; }
  // A string field object's own size (bytes); 0 for the other kinds.
  int Size() const { return size_; }
  TDataSet* DataSet() const { return data_set_; }
  // The bound column's number (1-based) while the data set is open, else 0.
  int FieldNo() const { return column_number_; }

  // Blank display label: DisplayName() is the field name.
  const std::string& DisplayLabel() const { return display_label_; }
  void SetDisplayLabel(std::string label) { display_label_ = std::move(label); }
  const std::string& DisplayName() const;
  // 0 (blank) means the kind's default: a string's size, 5 for booleans,
  // 10 for the others.
  int DisplayWidth() const;
  void SetDisplayWidth(int width) { display_width_ = width; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  // Unless set explicitly, a field object is required when its column is.
  bool Required() const;
  void SetRequired(bool required) { required_ = required; }
  // Auto-increment field objects are always read-only.
  bool ReadOnly() const { return read_only_ || kind_ == FieldKind::kAutoInc; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }

  // ---- Reading (the data set must be open) ----
  FieldValue Value() const;
  bool IsNull() const { return Value().IsNull(); }
  // Integers in decimal, booleans "True"/"False", floats with up to 15
  // significant digits, date-times as the regional date-time text.
  std::string AsString() const;
  int64_t AsInteger() const;
  bool AsBoolean() const;
  double AsFloat() const;
  TDateTime AsDateTime() const;

  // ---- Writing (data set in edit or insert state) ----
  // Raise "Dataset not in edit or insert mode" in any other state, "Field
  // 'X' cannot be modified" for a read-only field object, and the engine's
  // conversion and range errors ("Value of field 'X' is out of range").
  // An empty text stored into a field that is not a string clears it.
  void SetAsString(std::string_view text);
  void SetAsInteger(int64_t value);
  void SetAsBoolean(bool value);
  void SetAsFloat(double value);
  void SetAsDateTime(TDateTime value);
  void Clear();

 protected:
  // `size` only for string field objects: 0 means the column's size.
  TField(std::string field_name, FieldKind kind, int size = 0);

 private:
  friend class TDataSet;

  // Binding at open. Raises "Type mismatch for field 'X'" when the column is
  // not of a kind this field object serves.
  void Bind(const FieldDesc& column, int column_number);
  void Unbind() { column_number_ = 0; }
  void Store(const FieldValue& value);
  [[noreturn]] void TypeMismatch() const;

  std::string field_name_;
  FieldKind kind_;
  int size_;
  int declared_size_;
  TDataSet* data_set_ = nullptr;
  FieldDesc column_;
  int column_number_ = 0;
  std::string display_label_;
  int display_width_ = 0;
  bool visible_ = true;
  std::optional<bool> required_;
  bool read_only_ = false;
};

class TStringField : public TField {
 public:
  explicit TStringField(std::string field_name, int size = 0)
      : TField(std::move(field_name), FieldKind::kString, size) {}
};

// Serves integer, small integer, word and unsigned columns, and
// auto-increment columns copied into query results.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(std::string field_name)
      : TField(std::move(field_name), FieldKind::kInteger) {}
};

class TAutoIncField : public TField {
 public:
  explicit TAutoIncField(std::string field_name)
      : TField(std::move(field_name), FieldKind::kAutoInc) {}
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(std::string field_name)
      : TField(std::move(field_name), FieldKind::kBoolean) {}
};

// Serves float and currency columns.
class TFloatField : public TField {
 public:
  explicit TFloatField(std::string field_name) : TField(std::move(field_name), FieldKind::kFloat) {}
};

// Serves date, time and timestamp columns.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(std::string field_name)
      : TField(std::move(field_name), FieldKind::kDateTime) {}
};

}  // namespace quoldex::tables

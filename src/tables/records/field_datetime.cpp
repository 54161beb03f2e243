#include "tables/records/field_datetime.h"

#include <cmath>

#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

// TDateTime bounds of the years 1 to 9999.
constexpr double kMinDateTime = 1 - kDateDelta;        // 1 January 0001
constexpr double kEndDateTime = 3652060 - kDateDelta;  // 1 January 10000

class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}
  bool AtEnd() const { return pos_ == s_.size(); }
  void SkipBlanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  bool Eat(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // 1 to max_digits decimal digits.
  bool Number(int max_digits, int* out) {
    int n = 0, v = 0;
    while (n < max_digits && pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
      v = v * 10 + (s_[pos_] - '0');
      ++pos_;
      ++n;
    }
    *out = v;
    return n > 0;
  }
  size_t Pos() const { return pos_; }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

bool ScanDate(Scanner& sc, TDateTime* out) {
  int a, b, c;
  if (!sc.Number(4, &a)) return false;
  if (sc.Eat('-')) {
    if (!sc.Number(2, &b) || !sc.Eat('-') || !sc.Number(2, &c)) return false;
    return EncodeDate(a, b, c, out);  // YYYY-MM-DD
  }
  if (!sc.Eat('/') || !sc.Number(2, &b) || !sc.Eat('/') || !sc.Number(4, &c)) return false;
  return EncodeDate(c, a, b, out);  // M/D/YYYY
}

bool ScanTime(Scanner& sc, TDateTime* out) {
  int h, m, s = 0, ms = 0;
  if (!sc.Number(2, &h) || !sc.Eat(':') || !sc.Number(2, &m)) return false;
  if (sc.Eat(':')) {
    if (!sc.Number(2, &s)) return false;
    if (sc.Eat('.') && !sc.Number(3, &ms)) return false;
  }
  return EncodeTime(h, m, s, ms, out);
}

template <typename Scan>
bool ParseWhole(std::string_view text, Scan scan, TDateTime* out) {
  Scanner sc(text);
  sc.SkipBlanks();
  if (!scan(sc, out)) return false;
  sc.SkipBlanks();
  return sc.AtEnd();
}

}  // namespace

bool DateTimeToTimeStamp(TDateTime dt, int32_t* day, int32_t* ms) {
  if (!(dt > kMinDateTime - 1 && dt < kEndDateTime)) return false;  // also rejects NaN
  int64_t total = std::llround(dt * kMsPerDay);
  int64_t days = total / kMsPerDay;  // toward zero: the fraction counts from midnight
  int64_t time = (total < 0 ? -total : total) % kMsPerDay;
  int64_t number = days + kDateDelta;
  if (number < 1 || number > 3652059) return false;
  *day = static_cast<int32_t>(number);
  *ms = static_cast<int32_t>(time);
  return true;
}

TDateTime TimeStampToDateTime(int32_t day, int32_t ms) {
  double days = static_cast<double>(int64_t{day} - kDateDelta);
  double fraction = static_cast<double>(ms) / kMsPerDay;
  return days < 0 ? days - fraction : days + fraction;
}

TDateTime TimestampMsToDateTime(double stored) {
  double day = std::floor(stored / kMsPerDay);
  double ms = stored - day * kMsPerDay;
  double days = day - kDateDelta;
  return days < 0 ? days - ms / kMsPerDay : days + ms / kMsPerDay;
}

TDateTime NowLocal() { return text::EncodeDateTime(DiskStorage().LocalNow()); }

bool EncodeDate(int year, int month, int day, TDateTime* out) {
  if (!text::IsValidDate(year, month, day)) return false;
  *out = text::EncodeDateTime({year, month, day});
  return true;
}

bool EncodeTime(int hour, int minute, int second, int ms, TDateTime* out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 ||
      ms > 999)
    return false;
  *out = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + ms) / kMsPerDay;
  return true;
}

bool ParseDateText(std::string_view text, TDateTime* out) {
  return ParseWhole(text, ScanDate, out);
}

bool ParseTimeText(std::string_view text, TDateTime* out) {
  return ParseWhole(text, ScanTime, out);
}

bool ParseDateTimeText(std::string_view text, TDateTime* out) {
  return ParseWhole(
      text,
      [](Scanner& sc, TDateTime* dt) {
        TDateTime date, time = 0;
        if (!ScanDate(sc, &date)) return false;
        size_t before = sc.Pos();
        sc.SkipBlanks();
        if (!sc.AtEnd()) {
          if (sc.Pos() == before || !ScanTime(sc, &time)) return false;
        }
        // Before 30 December 1899 the fraction still counts forward from midnight.
        *dt = date < 0 ? date - time : date + time;
        return true;
      },
      out);
}

}  // namespace quoldex::tables

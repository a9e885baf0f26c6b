// File: platform/ole/date_text.cpp
//
// DATE arithmetic and en-US date text (formatting and parsing). The calendar
// under the DATE is platform/civil_date.h; the 1899-12-30 zero and the
// unsigned time-of-day fraction are the DATE's own and stay here.
//
// Decisions where the platform's behaviour is not pinned down:
// - Two-digit years 30-49 are 20xx, as current platform versions read them.
// - A month and day with no year ("1/2") is refused rather than given the
//   current year, so a conversion never depends on the clock.
// - Times are rounded to the nearest second when formatting; a time that
//   rounds up to midnight moves to the next day (9999-12-31 stays 23:59:59).
#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/civil_date.h"
#include "platform/ole/internal/date_calc.h"

namespace mvcomm::ole::internal {
namespace {

// The DATE's zero, 1899-12-30, in days since 1970-01-01 (-25569).
constexpr long long kEpochFrom1970 = civil::daysFromCivil(1899, 12, 30);

}  // namespace

long long dayNumber(int year, int month, int day) {
  return civil::daysFromCivil(year, month, day) - kEpochFrom1970;
}

bool dateToCivil(DATE date, CivilTime* out) {
  if (!(date > kMinDate - 1.0 && date < kMaxDateExclusive)) return false;
  long long day = static_cast<long long>(std::trunc(date));
  double frac = std::fabs(date - static_cast<double>(day));
  long long secs = std::llround(frac * 86400.0);
  if (secs >= 86400) {
    if (day + 1 < static_cast<long long>(kMaxDateExclusive)) {
      ++day;
      secs = 0;
    } else {
      secs = 86399;
    }
  }
  const civil::YearMonthDay c = civil::civilFromDays(day + kEpochFrom1970);
  out->year = c.year;
  out->month = c.month;
  out->day = c.day;
  out->hour = static_cast<int>(secs / 3600);
  out->minute = static_cast<int>(secs / 60 % 60);
  out->second = static_cast<int>(secs % 60);
  out->dayOfWeek = civil::weekdayFromDays(day + kEpochFrom1970);
  out->dayOfYear = static_cast<int>(day - dayNumber(out->year, 1, 1) + 1);
  return true;
}

DATE dateFromParts(long long day, int secondsOfDay) {
  double t = secondsOfDay / 86400.0;
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

bool formatDate(DATE date, ULONG flags, std::string* out) {
  CivilTime c;
  if (!dateToCivil(date, &c)) return false;
  const bool midnight = c.hour == 0 && c.minute == 0 && c.second == 0;
  const bool baseDay = c.year == 1899 && c.month == 12 && c.day == 30;
  bool showDate = !baseDay;
  bool showTime = !midnight || baseDay;
  if (flags & VAR_DATEVALUEONLY) {
    showDate = true;
    showTime = false;
  } else if (flags & VAR_TIMEVALUEONLY) {
    showDate = false;
    showTime = true;
  }
  char buf[64];
  out->clear();
  if (showDate) {
    std::snprintf(buf, sizeof buf, "%d/%d/%d", c.month, c.day, c.year);
    *out += buf;
  }
  if (showTime) {
    int h12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
    std::snprintf(buf, sizeof buf, "%s%d:%02d:%02d %s", showDate ? " " : "", h12, c.minute,
                  c.second, c.hour < 12 ? "AM" : "PM");
    *out += buf;
  }
  return true;
}

// ---- parsing -------------------------------------------------------------------

namespace {

struct Item {
  bool number = false;
  long value = 0;     // numbers
  int digits = 0;     // numbers: how many digits were written
  std::string word;   // words, lower case (short: no allocation)
};

// A fixed-capacity list: date text has a handful of parts, and parsing
// runs on every text-to-date conversion, so it stays off the heap.
template <typename T>
class Parts {
 public:
  static constexpr std::size_t kCapacity = 16;
  bool push_back(const T& v) {
    if (n_ == kCapacity) return false;
    items_[n_++] = v;
    return true;
  }
  std::size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  T& operator[](std::size_t i) { return items_[i]; }
  const T& operator[](std::size_t i) const { return items_[i]; }
  T& back() { return items_[n_ - 1]; }
  void pop_back() { --n_; }

 private:
  T items_[kCapacity];
  std::size_t n_ = 0;
};

// The text as items with one separator string between each pair ("" for
// white space or nothing, else the separator characters without spaces).
bool tokenize(const OLECHAR* s, std::size_t n, Parts<Item>* items, Parts<std::string>* seps) {
  std::size_t i = 0;
  auto isSpace = [](OLECHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < n && isSpace(s[i])) ++i;
  while (n > i && isSpace(s[n - 1])) --n;
  std::string pending;
  bool havePending = false;
  while (i < n) {
    OLECHAR c = s[i];
    if (c >= u'0' && c <= u'9') {
      Item it;
      it.number = true;
      while (i < n && s[i] >= u'0' && s[i] <= u'9') {
        if (++it.digits > 9) return false;
        it.value = it.value * 10 + (s[i] - u'0');
        ++i;
      }
      if (!items->empty()) {
        if (!seps->push_back(pending)) return false;
      } else if (havePending) {
        return false;
      }
      if (!items->push_back(it)) return false;
      pending.clear();
      havePending = false;
    } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
      Item it;
      while (i < n && ((s[i] >= u'a' && s[i] <= u'z') || (s[i] >= u'A' && s[i] <= u'Z'))) {
        if (it.word.size() > 16) return false;
        it.word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(s[i]))));
        ++i;
      }
      if (!items->empty()) {
        if (!seps->push_back(pending)) return false;
      } else if (havePending) {
        return false;
      }
      if (!items->push_back(it)) return false;
      pending.clear();
      havePending = false;
    } else if (isSpace(c)) {
      ++i;
    } else if (c == u'/' || c == u'-' || c == u':' || c == u',' || c == u'.') {
      if (pending.size() > 8) return false;
      pending.push_back(static_cast<char>(c));
      havePending = true;
      ++i;
    } else {
      return false;
    }
  }
  return !havePending && !items->empty();
}

int monthFromWord(const std::string& w) {
  static const char* const kNames[] = {"january", "february", "march",     "april",
                                       "may",     "june",     "july",      "august",
                                       "september", "october", "november", "december"};
  for (int m = 0; m < 12; ++m) {
    std::string full = kNames[m];
    if (w == full || (w.size() == 3 && full.compare(0, 3, w) == 0)) return m + 1;
  }
  if (w == "sept") return 9;
  return 0;
}

int fullYear(const Item& y) {
  if (y.digits <= 2) return y.value < 50 ? 2000 + static_cast<int>(y.value)
                                         : 1900 + static_cast<int>(y.value);
  return static_cast<int>(y.value);
}

bool validDate(int y, int m, int d) {
  return y >= 100 && y <= 9999 && civil::isCalendarDay(y, m, d);
}

// The date part: items with the separators between them.
bool parseDatePart(const Parts<Item>& it, const Parts<std::string>& sep, int* y, int* m,
                   int* d) {
  if (it.size() != 3) return false;
  if (it[0].number && it[1].number && it[2].number) {
    if (sep[0] != sep[1] || (sep[0] != "/" && sep[0] != "-")) return false;
    if (it[0].digits >= 3) {  // year first: ISO and Y/M/D
      *y = static_cast<int>(it[0].value);
      *m = static_cast<int>(it[1].value);
      *d = static_cast<int>(it[2].value);
    } else {
      *m = static_cast<int>(it[0].value);
      *d = static_cast<int>(it[1].value);
      *y = fullYear(it[2]);
    }
    return validDate(*y, *m, *d);
  }
  auto nameSep = [](const std::string& s) { return s.empty() || s == "," || s == "-"; };
  if (!nameSep(sep[0]) || !nameSep(sep[1])) return false;
  if (it[0].number && !it[1].number && it[2].number) {  // 2 Jan 1970
    *m = monthFromWord(it[1].word);
    *d = static_cast<int>(it[0].value);
    *y = fullYear(it[2]);
  } else if (!it[0].number && it[1].number && it[2].number) {  // Jan 2, 1970
    *m = monthFromWord(it[0].word);
    *d = static_cast<int>(it[1].value);
    *y = fullYear(it[2]);
  } else {
    return false;
  }
  return *m != 0 && validDate(*y, *m, *d);
}

}  // namespace

DateParse parseDate(const OLECHAR* text, std::size_t length, DATE* out) {
  if (text == nullptr) return DateParse::Mismatch;
  Parts<Item> items;
  Parts<std::string> seps;
  if (!tokenize(text, length, &items, &seps)) return DateParse::Mismatch;

  // The time group: h:mm[:ss] [AM|PM].
  std::size_t first = items.size(), last = items.size();
  for (std::size_t i = 0; i + 1 < items.size(); ++i) {
    if (items[i].number && seps[i] == ":" && items[i + 1].number) {
      first = i;
      last = i + 1;
      break;
    }
  }
  bool haveTime = first < items.size();
  int secondsOfDay = 0;
  if (haveTime) {
    long h = items[first].value, mi = items[last].value, se = 0;
    if (last + 1 < items.size() && seps[last] == ":") {
      if (!items[last + 1].number) return DateParse::Mismatch;
      se = items[++last].value;
    }
    if (last + 1 < items.size() && seps[last] == ".") return DateParse::Mismatch;  // fractions
    if (last + 1 < items.size() && seps[last].empty() &&
        (items[last + 1].word == "am" || items[last + 1].word == "pm")) {
      if (h > 12) return DateParse::Mismatch;
      h = h % 12 + (items[last + 1].word == "pm" ? 12 : 0);
      ++last;
    }
    if (h > 23 || mi > 59 || se > 59 || items[first].digits > 2 || items[first + 1].digits > 2)
      return DateParse::Mismatch;
    secondsOfDay = static_cast<int>(h * 3600 + mi * 60 + se);
    if (first > 0 && !seps[first - 1].empty()) return DateParse::Mismatch;
    if (last + 1 < items.size() && !seps[last].empty()) return DateParse::Mismatch;
  }

  Parts<Item> dateItems;
  Parts<std::string> dateSeps;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (haveTime && i >= first && i <= last) continue;
    if (!dateItems.empty()) dateSeps.push_back(i > 0 ? seps[i - 1] : std::string());
    dateItems.push_back(items[i]);
  }
  // An ISO 'T' between date and time.
  if (haveTime && !dateItems.empty() && !dateItems.back().number && dateItems.back().word == "t" &&
      first > 0 && items[first - 1].word == "t") {
    dateItems.pop_back();
    if (!dateSeps.empty()) dateSeps.pop_back();
  }

  long long day = 0;
  if (!dateItems.empty()) {
    int y, m, d;
    if (!parseDatePart(dateItems, dateSeps, &y, &m, &d)) return DateParse::Mismatch;
    day = dayNumber(y, m, d);
  } else if (!haveTime) {
    return DateParse::Mismatch;
  }
  *out = dateFromParts(day, secondsOfDay);
  return DateParse::Ok;
}

}  // namespace mvcomm::ole::internal

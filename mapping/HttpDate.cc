// The HTTP date forms, read with a small cursor rather than strptime and
// written without strftime, so that neither the locale nor the time zone of
// the process plays a part.
#include "HttpDate.h"

#include <cstdio>
#include <cstring>

namespace libqvp {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kShortDays[] = {"Mon", "Tue", "Wed", "Thu",
                                      "Fri", "Sat", "Sun"};
constexpr const char* kLongDays[] = {"Monday",   "Tuesday", "Wednesday",
                                     "Thursday", "Friday",  "Saturday",
                                     "Sunday"};

// A position in the text with the few verbs the three grammars need; every
// verb returns false without moving when the text there does not match.
class Cursor {
 public:
  explicit Cursor(const std::string& s) : d_s(s) {}

  bool at_end() const { return d_pos == d_s.size(); }

  bool literal(const char* text) {
    const size_t n = std::strlen(text);
    if (d_s.compare(d_pos, n, text) != 0) return false;
    d_pos += n;
    return true;
  }

  // One of `words` (exactly `count` of them); its index in `index`.
  template <size_t N>
  bool word(const char* const (&words)[N], int& index) {
    for (size_t i = 0; i < N; ++i) {
      if (literal(words[i])) {
        index = static_cast<int>(i);
        return true;
      }
    }
    return false;
  }

  // Exactly `digits` decimal digits; a leading blank may stand for a zero
  // when `blank_pad` (asctime pads the day of the month with a blank).
  bool number(int digits, int& value, bool blank_pad = false) {
    int v = 0;
    size_t p = d_pos;
    for (int i = 0; i < digits; ++i, ++p) {
      if (p >= d_s.size()) return false;
      const char c = d_s[p];
      if (c == ' ' && blank_pad && i == 0) continue;
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    d_pos = p;
    value = v;
    return true;
  }

 private:
  const std::string& d_s;
  size_t d_pos = 0;
};

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool clock_time(Cursor& c, Fields& f) {
  return c.number(2, f.hour) && c.literal(":") && c.number(2, f.minute) &&
         c.literal(":") && c.number(2, f.second);
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
bool rfc1123(const std::string& s, Fields& f) {
  Cursor c(s);
  int ignored = 0;
  return c.word(kShortDays, ignored) && c.literal(", ") && c.number(2, f.day) &&
         c.literal(" ") && c.word(kMonths, f.month) && c.literal(" ") &&
         c.number(4, f.year) && c.literal(" ") && clock_time(c, f) &&
         c.literal(" GMT") && c.at_end();
}

// "Sunday, 06-Nov-94 08:49:37 GMT"
bool rfc850(const std::string& s, Fields& f) {
  Cursor c(s);
  int ignored = 0;
  int yy = 0;
  if (!(c.word(kLongDays, ignored) && c.literal(", ") && c.number(2, f.day) &&
        c.literal("-") && c.word(kMonths, f.month) && c.literal("-") &&
        c.number(2, yy) && c.literal(" ") && clock_time(c, f) &&
        c.literal(" GMT") && c.at_end()))
    return false;
  f.year = yy < 70 ? 2000 + yy : 1900 + yy;
  return true;
}

// "Sun Nov  6 08:49:37 1994"
bool asctime_form(const std::string& s, Fields& f) {
  Cursor c(s);
  int ignored = 0;
  return c.word(kShortDays, ignored) && c.literal(" ") &&
         c.word(kMonths, f.month) && c.literal(" ") &&
         c.number(2, f.day, true) && c.literal(" ") && clock_time(c, f) &&
         c.literal(" ") && c.number(4, f.year) && c.at_end();
}

bool is_leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int year, int month0) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month0 == 1 && is_leap(year) ? 29 : kDays[month0];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const long era = y / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool valid(const Fields& f) {
  return f.year >= 1970 && f.year <= 9999 && f.day >= 1 &&
         f.day <= days_in_month(f.year, f.month) && f.hour <= 23 &&
         f.minute <= 59 && f.second <= 60;
}

}  // namespace

const char* day_abbreviation(int wday) {
  // tm_wday counts from Sunday; the day table starts on Monday.
  return wday >= 0 && wday <= 6 ? kShortDays[(wday + 6) % 7] : nullptr;
}

const char* month_abbreviation(int month) {
  return month >= 0 && month <= 11 ? kMonths[month] : nullptr;
}

namespace {

// The last dates written, which a response asks for again and again (its
// Date, and the Last-Modified of a data set served many times).
struct RecentDates {
  time_t t[2] = {0, 0};
  std::string text[2];
  int next = 0;  // the entry replaced next
};

std::string format_http_date(time_t t) {
  struct tm tm {};
  const char* day = nullptr;
  const char* month = nullptr;
  if (gmtime_r(&t, &tm) == nullptr ||
      (day = day_abbreviation(tm.tm_wday)) == nullptr ||
      (month = month_abbreviation(tm.tm_mon)) == nullptr)
    return "Thu, 01 Jan 1970 00:00:00 GMT";
  // The year is widened before 1900 is added, which an int year near its
  // limit overflows.
  char buf[64];
  snprintf(buf, sizeof buf, "%s, %02d %s %4lld %02d:%02d:%02d GMT", day,
           tm.tm_mday, month, tm.tm_year + 1900LL, tm.tm_hour, tm.tm_min,
           tm.tm_sec);
  return buf;
}

}  // namespace

std::string http_date(time_t t) {
  thread_local RecentDates recent;
  for (int i = 0; i < 2; ++i)
    if (!recent.text[i].empty() && recent.t[i] == t) return recent.text[i];
  const int i = recent.next;
  recent.next = 1 - i;
  recent.t[i] = t;
  recent.text[i] = format_http_date(t);
  return recent.text[i];
}

bool parse_http_date(const std::string& text, time_t& t) {
  Fields f;
  if (!rfc1123(text, f) && !rfc850(text, f) && !asctime_form(text, f))
    return false;
  if (!valid(f)) return false;
  const long days = days_from_civil(f.year, f.month + 1, f.day);
  t = static_cast<time_t>(days) * 86400 + f.hour * 3600 + f.minute * 60 +
      f.second;
  return true;
}

}  // namespace libqvp

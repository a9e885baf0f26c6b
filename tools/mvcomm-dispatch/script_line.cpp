// File: tools/mvcomm-dispatch/script_line.cpp
//
// Sections: scanning; literals; statements; values.
#include "tools/mvcomm-dispatch/script_line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/civil_date.h"
#include "platform/ole/oleauto.h"
#include "tools/mvcomm-dispatch/late_bound.h"

namespace mvcomm::dispatch {

namespace {

// ---- scanning -----------------------------------------------------------------

struct Scanner {
  std::string_view s;
  size_t pos = 0;

  void skipSpace() {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t' || s[pos] == '\r')) ++pos;
  }
  bool atEnd() {
    skipSpace();
    return pos >= s.size();
  }
  bool take(char c) {
    skipSpace();
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  std::string identifier() {
    skipSpace();
    size_t start = pos;
    if (pos < s.size() && (std::isalpha(static_cast<unsigned char>(s[pos])) || s[pos] == '_')) {
      ++pos;
      while (pos < s.size() && (std::isalnum(static_cast<unsigned char>(s[pos])) || s[pos] == '_')) ++pos;
    }
    return std::string(s.substr(start, pos - start));
  }
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// ---- literals -----------------------------------------------------------------

// Years 100 to 9999, as the automation DATE holds them.
bool validDay(int year, int month, int day) {
  return year >= 100 && year <= 9999 && civil::isCalendarDay(year, month, day);
}

std::string parseDate(std::string_view body, Literal* out) {
  std::string text(body);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, used = 0;
  int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%n %2d:%2d%n:%2d%n", &y, &mo, &d, &used, &h, &mi,
                           &used, &sec, &used);
  if (fields < 3 || static_cast<size_t>(used) != text.size() || fields == 4 ||
      !validDay(y, mo, d) || h > 23 || mi > 59 || sec > 59 || h < 0 || mi < 0 || sec < 0) {
    return "bad date #" + text + "# (want #yyyy-mm-dd# or #yyyy-mm-dd hh:mm[:ss]#)";
  }
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(sec);
  double date = 0;
  if (!SystemTimeToVariantTime(&st, &date)) return "bad date #" + text + "#";
  out->kind = Literal::Kind::kDate;
  out->real = date;
  return {};
}

std::string parseLiteral(Scanner& sc, Literal* out) {
  sc.skipSpace();
  if (sc.pos >= sc.s.size()) return "expected a value";
  char c = sc.s[sc.pos];
  if (c == '"') {
    std::string text;
    for (size_t i = sc.pos + 1; i < sc.s.size(); ++i) {
      if (sc.s[i] != '"') {
        text.push_back(sc.s[i]);
      } else if (i + 1 < sc.s.size() && sc.s[i + 1] == '"') {
        text.push_back('"');
        ++i;
      } else {
        sc.pos = i + 1;
        out->kind = Literal::Kind::kText;
        out->text = std::move(text);
        return {};
      }
    }
    return "unterminated string";
  }
  if (c == '#') {
    size_t close = sc.s.find('#', sc.pos + 1);
    if (close == std::string_view::npos) return "unterminated date";
    std::string_view body = sc.s.substr(sc.pos + 1, close - sc.pos - 1);
    sc.pos = close + 1;
    return parseDate(body, out);
  }
  if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
    size_t start = sc.pos;
    ++sc.pos;
    while (sc.pos < sc.s.size() &&
           (std::isalnum(static_cast<unsigned char>(sc.s[sc.pos])) || sc.s[sc.pos] == '.' ||
            ((sc.s[sc.pos] == '-' || sc.s[sc.pos] == '+') &&
             (sc.s[sc.pos - 1] == 'e' || sc.s[sc.pos - 1] == 'E')))) {
      ++sc.pos;
    }
    std::string number(sc.s.substr(start, sc.pos - start));
    char* end = nullptr;
    errno = 0;
    long long whole = std::strtoll(number.c_str(), &end, 10);
    if (*end == '\0' && errno == 0) {
      out->kind = Literal::Kind::kInteger;
      out->integer = whole;
      return {};
    }
    errno = 0;
    double real = std::strtod(number.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(real)) return "bad number " + number;
    out->kind = Literal::Kind::kReal;
    out->real = real;
    return {};
  }
  std::string word = sc.identifier();
  if (equalsIgnoringCase(word, "true") || equalsIgnoringCase(word, "false")) {
    out->kind = Literal::Kind::kBool;
    out->flag = equalsIgnoringCase(word, "true");
    return {};
  }
  if (word.empty()) return std::string("unexpected '") + c + "'";
  return "expected a value, found the name " + word;
}

// Arguments separated by commas, up to the end or a closing parenthesis.
std::string parseArguments(Scanner& sc, bool parenthesised, std::vector<Literal>* args) {
  if (parenthesised && sc.take(')')) return {};
  if (!parenthesised && sc.atEnd()) return {};
  for (;;) {
    Literal value;
    if (std::string why = parseLiteral(sc, &value); !why.empty()) {
      return "argument " + std::to_string(args->size() + 1) + ": " + why;
    }
    args->push_back(std::move(value));
    if (sc.take(',')) continue;
    if (parenthesised && !sc.take(')')) return "expected ',' or ')' after argument " + std::to_string(args->size());
    if (!sc.atEnd()) return "expected ',' after argument " + std::to_string(args->size());
    return {};
  }
}

}  // namespace

// ---- statements ---------------------------------------------------------------

std::string parseLine(std::string_view line, Statement* out) {
  Scanner sc{line};
  Statement st;
  if (sc.atEnd() || sc.s[sc.pos] == '\'') {
    *out = st;
    return {};
  }
  if (sc.take('?')) {
    Scanner probe = sc;
    std::string name = probe.identifier();
    if (!name.empty() && !equalsIgnoringCase(name, "true") && !equalsIgnoringCase(name, "false")) {
      if (!probe.atEnd()) return "expected the end of the line after " + name;
      st.kind = Statement::Kind::kPrintName;
      st.name = std::move(name);
    } else {
      Literal value;
      if (std::string why = parseLiteral(sc, &value); !why.empty()) return why;
      if (!sc.atEnd()) return "expected the end of the line";
      st.kind = Statement::Kind::kPrintLiteral;
      st.args.push_back(std::move(value));
    }
    *out = std::move(st);
    return {};
  }
  std::string name = sc.identifier();
  if (name.empty()) return std::string("expected a member name, found '") + sc.s[sc.pos] + "'";
  if (equalsIgnoringCase(name, "rem") &&
      (sc.pos == sc.s.size() || sc.s[sc.pos] == ' ' || sc.s[sc.pos] == '\t')) {
    *out = st;
    return {};
  }
  st.name = std::move(name);
  if (sc.take('=')) {
    Literal value;
    if (std::string why = parseLiteral(sc, &value); !why.empty()) return why;
    if (!sc.atEnd()) return "expected the end of the line after the value";
    st.kind = Statement::Kind::kPut;
    st.args.push_back(std::move(value));
  } else {
    bool parenthesised = sc.take('(');
    if (std::string why = parseArguments(sc, parenthesised, &st.args); !why.empty()) return why;
    if (!sc.atEnd()) return "expected the end of the line after ')'";
    st.kind = Statement::Kind::kCall;
  }
  *out = std::move(st);
  return {};
}

// ---- values -------------------------------------------------------------------

HRESULT toVariant(const Literal& literal, VARIANT* out) {
  VariantInit(out);
  switch (literal.kind) {
    case Literal::Kind::kText:
      out->bstrVal = utf8ToBstr(literal.text);
      if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    case Literal::Kind::kInteger:
      // 32 bits where it fits, as script hosts do; wider whole numbers go as doubles.
      if (literal.integer >= INT32_MIN && literal.integer <= INT32_MAX) {
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(literal.integer);
      } else {
        out->vt = VT_R8;
        out->dblVal = static_cast<double>(literal.integer);
      }
      return S_OK;
    case Literal::Kind::kReal:
      out->vt = VT_R8;
      out->dblVal = literal.real;
      return S_OK;
    case Literal::Kind::kBool:
      out->vt = VT_BOOL;
      out->boolVal = literal.flag ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case Literal::Kind::kDate:
      out->vt = VT_DATE;
      out->date = literal.real;
      return S_OK;
  }
  return E_INVALIDARG;
}

std::string formatVariant(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
      return {};
    case VT_NULL:
      return "Null";
    case VT_BSTR:
      return bstrToUtf8(value.bstrVal);
    case VT_I2:
      return std::to_string(value.iVal);
    case VT_I4:
      return std::to_string(value.lVal);
    case VT_BOOL:
      return value.boolVal ? "True" : "False";
    case VT_DATE: {
      SYSTEMTIME st{};
      if (!VariantTimeToSystemTime(value.date, &st)) return "#invalid date#";
      char text[64];
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                    st.wHour, st.wMinute, st.wSecond);
      return text;
    }
    default: {
      VARIANT text;
      VariantInit(&text);
      std::string shown = "(value of type " + std::to_string(value.vt) + ")";
      if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR))) shown = bstrToUtf8(text.bstrVal);
      VariantClear(&text);
      return shown;
    }
  }
}

}  // namespace mvcomm::dispatch

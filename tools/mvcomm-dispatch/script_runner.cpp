// File: tools/mvcomm-dispatch/script_runner.cpp
#include "tools/mvcomm-dispatch/script_runner.h"

#include <string>
#include <vector>

#include "tools/mvcomm-dispatch/script_line.h"

namespace mvcomm::dispatch {

namespace {

// The statement's arguments as VARIANTs; cleared again by the destructor.
class Arguments {
 public:
  HRESULT fill(const std::vector<Literal>& literals) {
    values_.resize(literals.size());
    for (VARIANT& v : values_) VariantInit(&v);
    for (size_t i = 0; i < literals.size(); ++i) {
      if (HRESULT hr = toVariant(literals[i], &values_[i]); FAILED(hr)) return hr;
    }
    return S_OK;
  }
  ~Arguments() {
    for (VARIANT& v : values_) VariantClear(&v);
  }
  std::vector<VARIANT>& values() { return values_; }

 private:
  std::vector<VARIANT> values_;
};

// The result of one statement: status, and the text to print (if any).
CallStatus run(LateBound& object, const Statement& st, std::string* shown, bool* print) {
  Arguments args;
  if (HRESULT hr = args.fill(st.args); FAILED(hr)) return {hr};
  VARIANT result;
  VariantInit(&result);
  CallStatus status;
  switch (st.kind) {
    case Statement::Kind::kNothing:
      return status;
    case Statement::Kind::kPut:
      return object.put(st.name, args.values()[0]);
    case Statement::Kind::kPrintLiteral:
      *shown = formatVariant(args.values()[0]);
      *print = true;
      return status;
    case Statement::Kind::kPrintName:
      status = object.get(st.name, &result);
      *print = status.ok();
      break;
    case Statement::Kind::kCall:
      status = object.call(st.name, args.values(), &result);
      // A call prints only when the member gives a value back.
      *print = status.ok() && result.vt != VT_EMPTY;
      break;
  }
  if (*print) *shown = formatVariant(result);
  VariantClear(&result);
  return status;
}

}  // namespace

int runScript(LateBound& object, std::istream& in, std::ostream& out, std::ostream& err) {
  int failures = 0;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    Statement st;
    if (std::string why = parseLine(line, &st); !why.empty()) {
      err << "line " << number << ": " << why << '\n';
      ++failures;
      continue;
    }
    std::string shown;
    bool print = false;
    CallStatus status = run(object, st, &shown, &print);
    if (!status.ok()) {
      err << "line " << number << ": " << st.name << ": " << status.describe() << '\n';
      ++failures;
      continue;
    }
    if (print) out << shown << '\n';
  }
  out.flush();
  return failures;
}

}  // namespace mvcomm::dispatch

// File: tools/mvcomm/automation_session.cpp
//
// Sections: finding and registering the module; values; the session.
#include "tools/mvcomm/automation_session.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/ole/activation/objbase.h"
#include "tools/mvcomm-dispatch/hresult_name.h"

namespace mvcomm::cli {

namespace {

constexpr const char16_t* kProgId = u"MVComm.MVComm";

bool isFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ownDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

// Whether the ProgID leads to a module that gives a class object.
bool isRegistered() {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(kProgId, &clsid))) return false;
  // Ask the loader's question directly: a class object from a file that is
  // there. The factory is released at once; loading the module is not
  // wasted, the object is created from it next.
  IUnknown* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (factory != nullptr) factory->Release();
  return SUCCEEDED(hr);
}

// ---- values -------------------------------------------------------------------

VARIANT textValue(const std::string& text) {
  VARIANT v;
  VariantInit(&v);
  v.bstrVal = dispatch::utf8ToBstr(text);
  if (v.bstrVal != nullptr) v.vt = VT_BSTR;
  return v;
}

VARIANT dateValue(const DateTime& moment) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(moment.date.year);
  st.wMonth = static_cast<WORD>(moment.date.month);
  st.wDay = static_cast<WORD>(moment.date.day);
  st.wHour = static_cast<WORD>(moment.hour);
  st.wMinute = static_cast<WORD>(moment.minute);
  st.wSecond = static_cast<WORD>(moment.second);
  VARIANT v;
  VariantInit(&v);
  double date = 0;
  if (SystemTimeToVariantTime(&st, &date)) {
    v.vt = VT_DATE;
    v.date = date;
  }
  return v;
}

VARIANT longValue(std::int32_t n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

VARIANT shortValue(std::int16_t n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = n;
  return v;
}

NullableDateTime dateTimeOf(DATE date) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st)) return std::nullopt;
  DateTime moment;
  moment.date = Date{st.wYear, st.wMonth, st.wDay};
  moment.hour = st.wHour;
  moment.minute = st.wMinute;
  moment.second = st.wSecond;
  return moment;
}

// Clears a list of argument VARIANTs on every path.
struct Args {
  std::vector<VARIANT> values;
  ~Args() {
    for (VARIANT& v : values) VariantClear(&v);
  }
};

}  // namespace

// ---- finding and registering the module ----------------------------------------

std::string findOwnModule() {
  const std::string dir = ownDirectory();
  if (dir.empty()) return {};
  for (const char* relative : {"/libMVComm.so", "/../server/libMVComm.so", "/../lib/libMVComm.so",
                               "/../lib/mvcomm/libMVComm.so"}) {
    std::string candidate = dir + relative;
    if (isFile(candidate)) {
      char resolved[PATH_MAX];
      return realpath(candidate.c_str(), resolved) != nullptr ? resolved : candidate;
    }
  }
  return {};
}

std::string ensureRegistered(const std::string& module) {
  if (isRegistered()) return {};
  if (module.empty()) return "MVComm.MVComm is not registered and libMVComm.so was not found";
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return "cannot load " + module + ": " + dlerror();
  using Entry = HRESULT (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(handle, "DllRegisterServer"));
  HRESULT hr = entry != nullptr ? entry() : E_FAIL;
  dlclose(handle);
  if (FAILED(hr)) return "registering " + module + " failed: " + dispatch::describeHresult(hr);
  return {};
}

// ---- the session -----------------------------------------------------------------

std::unique_ptr<AutomationSession> AutomationSession::create(
    std::shared_ptr<serial::PortOpener> opener, std::shared_ptr<Clock> clock,
    const SessionSettings& settings, std::string& error) {
  if (error = ensureRegistered(findOwnModule()); !error.empty()) return nullptr;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
  // Objects built inside the module take the line from the default environment.
  n_cst_mvcomm::Environment previous =
      n_cst_mvcomm::setDefaultEnvironment({std::move(opener), std::move(clock)});
  IDispatch* object = nullptr;
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
  }
  if (FAILED(hr)) {
    n_cst_mvcomm::setDefaultEnvironment(previous);
    error = "cannot create MVComm.MVComm: " + dispatch::describeHresult(hr);
    return nullptr;
  }
  std::unique_ptr<AutomationSession> session(new AutomationSession(object, previous));
  object->Release();  // the session holds its own reference

  dispatch::CallStatus st = session->object_.put("commport", shortValue(settings.commport));
  if (st.ok()) st = session->object_.put("bautrate", shortValue(settings.bautrate));
  if (st.ok()) st = session->object_.put("receivedatatimelapse", longValue(settings.timelapseMs));
  if (!st.ok()) {
    error = "setting the port properties failed: " + st.describe();
    return nullptr;
  }
  return session;
}

AutomationSession::AutomationSession(IDispatch* object, n_cst_mvcomm::Environment previous)
    : object_(object), previous_(std::move(previous)) {}

AutomationSession::~AutomationSession() {
  // object_ is released after this body; the environment it was built with
  // lives on in the object itself.
  n_cst_mvcomm::setDefaultEnvironment(previous_);
}

void AutomationSession::noteOutcome() {
  std::int32_t code = 0;
  std::string message;
  dispatch::CallStatus st = object_.getLong("errorcode", &code);
  if (st.ok()) st = object_.getText("errormessage", &message);
  if (!st.ok()) {
    // The object could not be asked: report that as the outcome.
    outcome_ = Outcome{-1, "automation call failed: " + st.describe()};
    return;
  }
  outcome_ = Outcome{code, message};
}

void AutomationSession::run(const char* name, std::span<const VARIANT> args) {
  dispatch::CallStatus st = object_.call(name, args, nullptr);
  if (!st.ok()) {
    outcome_ = Outcome{-1, std::string(name) + " failed: " + st.describe()};
    return;
  }
  noteOutcome();
}

void AutomationSession::setclock(const std::string& machine, const DateTime& clock) {
  Args a{{textValue(machine), dateValue(clock)}};
  run("setclock", a.values);
}

void AutomationSession::readdata(const std::string& machine, const Date& from, const Date& to) {
  Args a{{textValue(machine), dateValue(DateTime{from}), dateValue(DateTime{to})}};
  run("readdata", a.values);
}

void AutomationSession::cleardata(const std::string& machine) {
  Args a{{textValue(machine)}};
  run("cleardata", a.values);
}

void AutomationSession::readrefertable(const std::string& machine) {
  Args a{{textValue(machine)}};
  run("readrefertable", a.values);
}

void AutomationSession::writerefertable(const std::string& machine,
                                        const std::vector<str_referrecord>& rows) {
  // The same steps as the direct session: no rows, the download reports the empty table.
  if (!rows.empty()) {
    Args begin{{longValue(static_cast<std::int32_t>(rows.size()))}};
    run("rtbeginwrite", begin.values);
    if (!outcome_.ok()) return;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      Args row{{longValue(static_cast<std::int32_t>(i + 1)), longValue(rows[i].employeeid),
                longValue(rows[i].cardid)}};
      run("rtwriterecord", row.values);
      if (!outcome_.ok()) return;
    }
  }
  Args a{{textValue(machine)}};
  run("writerefertable", a.values);
}

Outcome AutomationSession::outcome() { return outcome_; }

// Walking the sets moves the cursors and makes moverecord report, so the
// outcome of the last operation is kept aside above, not read back here.
std::vector<str_record> AutomationSession::records() {
  std::vector<str_record> rows;
  std::int32_t count = 0;
  if (!object_.getLong("rsrows", &count).ok()) return rows;
  for (std::int32_t i = 1; i <= count; ++i) {
    Args move{{longValue(i), longValue(1)}};
    if (!object_.call("moverecord", move.values, nullptr).ok()) break;
    str_record r;
    DATE when = 0;
    if (!object_.getLong("rsemployeeid", &r.employeeid).ok()) break;
    if (!object_.getText("rsworkclass", &r.workclass).ok()) break;
    // A record without a valid time has a null time, which no DATE holds:
    // the get fails, and the row shows no time, as it does directly.
    if (object_.getDate("rscardedtime", &when).ok()) r.cardedtime = dateTimeOf(when);
    rows.push_back(std::move(r));
  }
  return rows;
}

std::vector<str_referrecord> AutomationSession::refertable() {
  std::vector<str_referrecord> rows;
  std::int32_t count = 0;
  if (!object_.getLong("rtrows", &count).ok()) return rows;
  for (std::int32_t i = 1; i <= count; ++i) {
    Args move{{longValue(i), longValue(2)}};
    if (!object_.call("moverecord", move.values, nullptr).ok()) break;
    str_referrecord r;
    if (!object_.getLong("rtemployeeid", &r.employeeid).ok()) break;
    if (!object_.getLong("rtcardid", &r.cardid).ok()) break;
    rows.push_back(r);
  }
  return rows;
}

}  // namespace mvcomm::cli

// File: tests/activation/activation_test.cpp
//
// ProgID lookups, CoGetClassObject / CoCreateInstance against a toy server
// module, the loader's failures, and unloading through DllCanUnloadNow.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ole/activation/objbase.h"
#include "platform/ole/ole_testing.h"
#include "platform/registry/winreg.h"
#include "testing/temp_registry.h"

namespace {

// {6A1D3C20-5B7E-4F0A-9C11-2E8D4B6F7A01}, the toy server's class.
const CLSID kToyClass = {0x6A1D3C20, 0x5B7E, 0x4F0A,
                         {0x9C, 0x11, 0x2E, 0x8D, 0x4B, 0x6F, 0x7A, 0x01}};
const char* const kToyClassText = "{6A1D3C20-5B7E-4F0A-9C11-2E8D4B6F7A01}";
// A class the toy server does not serve.
const CLSID kOtherClass = {0x6A1D3C20, 0x5B7E, 0x4F0A,
                           {0x9C, 0x11, 0x2E, 0x8D, 0x4B, 0x6F, 0x7A, 0x02}};
const char* const kOtherClassText = "{6A1D3C20-5B7E-4F0A-9C11-2E8D4B6F7A02}";

void setDefault(const std::string& key, const std::string& value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &h, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(h);
}

void registerClass(const char* clsidText, const std::string& module, const char* progId) {
  std::string key = std::string("CLSID\\") + clsidText;
  setDefault(key + "\\InProcServer32", module);
  if (progId != nullptr) {
    setDefault(key + "\\ProgID", progId);
    setDefault(std::string(progId) + "\\CLSID", clsidText);
  }
}

template <typename Fn>
Fn toyExport(const char* name) {
  void* h = dlopen(TOY_SERVER, RTLD_NOW | RTLD_NOLOAD);
  if (h == nullptr) return nullptr;
  auto fn = reinterpret_cast<Fn>(dlsym(h, name));
  dlclose(h);
  return fn;
}

bool toyLoaded() {
  void* h = dlopen(TOY_SERVER, RTLD_NOW | RTLD_NOLOAD);
  if (h != nullptr) dlclose(h);
  return h != nullptr;
}

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = mvcomm::ole::LiveCounts::now();
    registerClass(kToyClassText, TOY_SERVER, "Toy.Object.1");
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_EQ(mvcomm::ole::loadedServerCount(), 0);
    EXPECT_EQ(mvcomm::ole::LiveCounts::now(), before_);
  }
  mvcomm::testing::TempRegistry registry_;
  mvcomm::ole::LiveCounts before_;
};

TEST_F(Activation, ProgIdLookupsInBothDirections) {
  CLSID found = kOtherClass;
  ASSERT_EQ(CLSIDFromProgID(u"Toy.Object.1", &found), S_OK);
  EXPECT_TRUE(IsEqualCLSID(found, kToyClass));
  // Key names ignore case, as ProgIDs do.
  ASSERT_EQ(CLSIDFromProgID(u"TOY.OBJECT.1", &found), S_OK);
  EXPECT_TRUE(IsEqualCLSID(found, kToyClass));

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(kToyClass, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"Toy.Object.1");
  CoTaskMemFree(progId);
}

TEST_F(Activation, ProgIdLookupFailures) {
  setDefault("Bad.Text\\CLSID", "6A1D3C20-5B7E-4F0A-9C11-2E8D4B6F7A01");  // no braces
  setDefault("No.Clsid", "just a name");
  struct Case {
    const char16_t* progId;
    HRESULT expected;
  };
  const Case cases[] = {
      {u"Not.Registered", CO_E_CLASSSTRING},
      {u"Bad.Text", CO_E_CLASSSTRING},
      {u"No.Clsid", CO_E_CLASSSTRING},
      {u"", CO_E_CLASSSTRING},
      {u"Toy.Object.1\\CLSID", CO_E_CLASSSTRING},  // no walking below the ProgID
      {nullptr, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.progId == nullptr ? std::string("null")
                                     : std::string(c.progId, c.progId + std::char_traits<char16_t>::length(c.progId)));
    CLSID found = kToyClass;
    EXPECT_EQ(CLSIDFromProgID(c.progId, &found), c.expected);
    if (c.progId != nullptr) {
      EXPECT_TRUE(IsEqualCLSID(found, CLSID_NULL));
    }
  }
  EXPECT_EQ(CLSIDFromProgID(u"Toy.Object.1", nullptr), E_INVALIDARG);

  LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ProgIDFromCLSID(kOtherClass, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
  EXPECT_EQ(ProgIDFromCLSID(kToyClass, nullptr), E_INVALIDARG);
  mvcomm::ole::failAllocation(mvcomm::ole::AllocKind::CoTaskMem, 1);
  EXPECT_EQ(ProgIDFromCLSID(kToyClass, &progId), E_OUTOFMEMORY);
  mvcomm::ole::clearAllocationFailures();
  EXPECT_EQ(progId, nullptr);
}

TEST_F(Activation, CreateInstanceReleasesTheFactoryAndLoadsOnce) {
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  ASSERT_EQ(CoCreateInstance(kToyClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(CoCreateInstance(kToyClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<void**>(&second)),
            S_OK);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(mvcomm::ole::loadedServerCount(), 1);
  EXPECT_EQ(toyExport<long (*)()>("ToyLiveObjects")(), 2);
  EXPECT_EQ(toyExport<long (*)()>("ToyFactoryRefs")(), 0);
  first->Release();
  second->Release();
}

TEST_F(Activation, CreateInstanceRefusalsLeaveNoObject) {
  struct Case {
    const char* what;
    const CLSID* clsid;
    bool aggregate;
    const IID* iid;
    DWORD context;
    HRESULT expected;
  };
  const Case cases[] = {
      {"interface the object lacks", &kToyClass, false, &IID_IDispatch, CLSCTX_INPROC_SERVER,
       E_NOINTERFACE},
      {"aggregation", &kToyClass, true, &IID_IUnknown, CLSCTX_INPROC_SERVER,
       CLASS_E_NOAGGREGATION},
      {"unregistered class", &kOtherClass, false, &IID_IUnknown, CLSCTX_INPROC_SERVER,
       REGDB_E_CLASSNOTREG},
      {"no in-process context", &kToyClass, false, &IID_IUnknown, CLSCTX_LOCAL_SERVER,
       REGDB_E_CLASSNOTREG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    void* object = reinterpret_cast<void*>(1);
    // The toy refuses any outer unknown before calling it.
    IUnknown* outer = c.aggregate ? reinterpret_cast<IUnknown*>(&object) : nullptr;
    EXPECT_EQ(CoCreateInstance(*c.clsid, outer, c.context, *c.iid, &object), c.expected);
    EXPECT_EQ(object, nullptr);
    if (auto live = toyExport<long (*)()>("ToyLiveObjects")) {
      EXPECT_EQ(live(), 0);
    }
  }
  EXPECT_EQ(CoCreateInstance(kToyClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
            E_POINTER);
}

TEST_F(Activation, LoaderFailuresAsTheSystemGivesThem) {
  std::string textFile = registry_.folder() + "/not-a-module.so";
  std::ofstream(textFile) << "plain text, not a shared object\n";
  struct Case {
    const char* what;
    std::string module;
    HRESULT expected;
  };
  const Case cases[] = {
      {"missing file", registry_.folder() + "/absent.so", MVCOMM_E_MOD_NOT_FOUND},
      {"relative name", "libm.so.6", MVCOMM_E_MOD_NOT_FOUND},
      {"not a module", textFile, MVCOMM_E_BAD_EXE_FORMAT},
      {"no DllGetClassObject", NO_ENTRY_SERVER, CO_E_ERRORINDLL},
      {"module serves another class", TOY_SERVER, CLASS_E_CLASSNOTAVAILABLE},
      {"empty path", "", REGDB_E_CLASSNOTREG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    registerClass(kOtherClassText, c.module, nullptr);
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoGetClassObject(kOtherClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               &factory),
              c.expected);
    EXPECT_EQ(factory, nullptr);
  }
  EXPECT_EQ(CoGetClassObject(kToyClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr),
            E_INVALIDARG);
}

TEST_F(Activation, UnloadWaitsForObjectsAndLocks) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kToyClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  factory->LockServer(TRUE);
  factory->Release();

  CoFreeUnusedLibraries();
  EXPECT_TRUE(toyLoaded()) << "unloaded under a live object";
  object->Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(toyLoaded()) << "unloaded under a server lock";
  EXPECT_EQ(mvcomm::ole::loadedServerCount(), 1);

  // The factory is the module's own static: it is still usable to unlock.
  factory->LockServer(FALSE);
  CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(mvcomm::ole::loadedServerCount(), 0);
  EXPECT_FALSE(toyLoaded());

  // And activation loads it again afterwards.
  ASSERT_EQ(CoCreateInstance(kToyClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  object->Release();
}

TEST_F(Activation, ThreadsCreatingAtOnceLoadTheModuleOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&failures] {
      for (int i = 0; i < 50; ++i) {
        IUnknown* object = nullptr;
        if (FAILED(CoCreateInstance(kToyClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&object)))) {
          ++failures;
          continue;
        }
        object->Release();
        if (i % 10 == 0) CoFreeUnusedLibraries();  // unloading races with loading
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_LE(mvcomm::ole::loadedServerCount(), 1);
}

// Runs `step` in a child process, as another program changing the registry
// would; true when the child finished it.
template <typename Step>
bool inChild(Step step) {
  const pid_t pid = fork();
  if (pid == 0) {
    step();
    _exit(0);
  }
  int status = -1;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Activation remembers the keys it read while the registry stays unchanged;
// a change made by another process counts from the next call on.
TEST_F(Activation, RegistrationsChangedByAnotherProcessCountAtOnce) {
  CLSID clsid{};
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CLSIDFromProgID(u"Toy.Object.1", &clsid), S_OK);
  ASSERT_EQ(CoGetClassObject(kToyClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->Release();

  ASSERT_TRUE(inChild([] {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kToyClassText).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Toy.Object.1");
  }));
  EXPECT_EQ(CLSIDFromProgID(u"Toy.Object.1", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CoGetClassObject(kToyClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            REGDB_E_CLASSNOTREG);

  ASSERT_TRUE(inChild([] { registerClass(kToyClassText, TOY_SERVER, "Toy.Object.1"); }));
  EXPECT_EQ(CLSIDFromProgID(u"Toy.Object.1", &clsid), S_OK);
  ASSERT_EQ(CoGetClassObject(kToyClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->Release();
}

TEST(CoInitialize, PairsCountPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
  CoUninitialize();  // one too many is harmless
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

}  // namespace

// File: tests/typelib/reg_type_lib_test.cpp
//
// RegisterTypeLib, LoadRegTypeLib and UnRegisterTypeLib against a private
// registry: the keys written, version matching, and refusals.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/registry/winreg.h"
#include "testing/temp_registry.h"
#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

std::optional<std::string> Value(const std::string& key, const char* name = nullptr) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
  char buf[4096];
  DWORD size = sizeof buf, type = 0;
  LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::string(buf);
}

bool KeyExists(const std::string& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

class RegTypeLib : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLib(typelib::Utf8ToUtf16(MVCOMM_TLB_FILE).c_str(), lib_.out()), S_OK);
    TLIBATTR* a = nullptr;
    ASSERT_EQ(lib_->GetLibAttr(&a), S_OK);
    libId_ = a->guid;
    lib_->ReleaseTLibAttr(a);
    libKey_ = "TypeLib\\" + Text(libId_);
    Ref<ITypeInfo> iface;
    ASSERT_EQ(lib_->GetTypeInfo(0, iface.out()), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(iface->GetTypeAttr(&ta), S_OK);
    ifaceKey_ = "Interface\\" + Text(ta->guid);
    iface->ReleaseTypeAttr(ta);
  }
  static std::string Text(REFGUID g) {
    typelib::Guid b;
    std::memcpy(b.data(), &g, 16);
    return typelib::GuidToText(b);
  }
  HRESULT Register(const char16_t* path = u"/opt/mvcomm/lib/libMVComm.so", const char16_t* help = nullptr) {
    return RegisterTypeLib(lib_.get(), path, help);
  }

  TempRegistry registry_;
  Ref<ITypeLib> lib_;
  GUID libId_{};
  std::string libKey_;
  std::string ifaceKey_;
};

TEST_F(RegTypeLib, NeverRegisteredIsLibNotRegistered) {
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, lib.out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_FALSE(lib);
}

TEST_F(RegTypeLib, RegistrationWritesTheKeysTheLoaderReads) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(Value(libKey_ + "\\1.0"), "Morvane Communication Component 1.0 TypeLib");
  EXPECT_EQ(Value(libKey_ + "\\1.0\\FLAGS"), "0");
  EXPECT_EQ(Value(libKey_ + "\\1.0\\HELPDIR"), "/opt/mvcomm/lib");
  EXPECT_EQ(Value(libKey_ + "\\1.0\\409\\win32"), "/opt/mvcomm/lib/libMVComm.so");
  EXPECT_EQ(Value(ifaceKey_), "IMVComm");
  EXPECT_EQ(Value(ifaceKey_ + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Value(ifaceKey_ + "\\TypeLib"), Text(libId_));
  EXPECT_EQ(Value(ifaceKey_ + "\\TypeLib", "Version"), "1.0");
  ASSERT_EQ(Register(u"/x/y.tlb", u"/help"), S_OK);
  EXPECT_EQ(Value(libKey_ + "\\1.0\\HELPDIR"), "/help");
}

TEST_F(RegTypeLib, LongPathsAreKeptWhole) {
  std::u16string path = u"/";
  for (int i = 0; i < 60; ++i) path += u"very-long-folder-name/";
  path += u"libMVComm.so";
  ASSERT_EQ(Register(path.c_str()), S_OK);
  EXPECT_EQ(Value(libKey_ + "\\1.0\\409\\win32"), typelib::Utf16ToUtf8(path));
}

TEST_F(RegTypeLib, LoadRegTypeLibMatchesMajorExactlyAndMinorAtLeast) {
  ASSERT_EQ(Register(typelib::Utf8ToUtf16(MVCOMM_TLB_FILE).c_str()), S_OK);
  struct Row {
    WORD major, minor;
    LCID lcid;
    HRESULT expected;
  } rows[] = {
      {1, 0, 0, S_OK},       {1, 0, 0x0409, S_OK},  {1, 0, 0x0809, TYPE_E_LIBNOTREGISTERED},
      {1, 1, 0, TYPE_E_LIBNOTREGISTERED},           {2, 0, 0, TYPE_E_LIBNOTREGISTERED},
      {0, 0, 0, TYPE_E_LIBNOTREGISTERED},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << r.major << "." << r.minor << " lcid " << r.lcid);
    Ref<ITypeLib> lib;
    EXPECT_EQ(LoadRegTypeLib(libId_, r.major, r.minor, r.lcid, lib.out()), r.expected);
    EXPECT_EQ(static_cast<bool>(lib), r.expected == S_OK);
  }
}

TEST_F(RegTypeLib, HighestMinorIsChosen) {
  // Another minor version registered by hand, pointing at a missing file.
  for (const char* v : {"1.5", "1.a"}) {
    HKEY k = nullptr;
    std::string key = libKey_ + "\\" + v + "\\0\\win32";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    std::string file = std::string("/missing/") + v;
    RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>(file.size() + 1));
    RegCloseKey(k);
  }
  ASSERT_EQ(Register(typelib::Utf8ToUtf16(MVCOMM_TLB_FILE).c_str()), S_OK);
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, lib.out()), TYPE_E_CANTLOADLIBRARY);  // 1.a, whose file is gone
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 11, 0, lib.out()), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(RegTypeLib, RegisteredFileHoldingAnotherLibraryIsNotUsed) {
  ASSERT_EQ(Register(u"stdole2.tlb"), S_OK);
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, lib.out()), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(RegTypeLib, UnregisterRemovesWhatRegistrationWrote) {
  ASSERT_EQ(Register(typelib::Utf8ToUtf16(MVCOMM_TLB_FILE).c_str()), S_OK);
  ASSERT_EQ(UnRegisterTypeLib(libId_, 1, 0, 0x0409, SYS_WIN32), S_OK);
  EXPECT_FALSE(KeyExists(libKey_));
  EXPECT_FALSE(KeyExists(ifaceKey_));
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, lib.out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(libId_, 1, 0, 0x0409, SYS_WIN32), TYPE_E_REGISTRYACCESS);
}

TEST_F(RegTypeLib, LoadingByBareFileNameRegistersTheLibrary) {
  std::filesystem::copy_file(MVCOMM_TLB_FILE, registry_.folder() + "/bare.tlb");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(registry_.folder().c_str()), 0);
  Ref<ITypeLib> lib;
  HRESULT hr = LoadTypeLib(u"bare.tlb", lib.out());
  ASSERT_EQ(chdir(previous), 0);
  ASSERT_EQ(hr, S_OK);
  char resolved[4096];
  ASSERT_NE(realpath((registry_.folder() + "/bare.tlb").c_str(), resolved), nullptr);
  EXPECT_EQ(Value(libKey_ + "\\1.0\\409\\win32"), std::string(resolved));
  // A path with a folder is only loaded.
  ASSERT_EQ(UnRegisterTypeLib(libId_, 1, 0, 0x0409, SYS_WIN32), S_OK);
  ASSERT_EQ(LoadTypeLib(typelib::Utf8ToUtf16(resolved).c_str(), lib.out()), S_OK);
  EXPECT_FALSE(KeyExists(libKey_));
}

TEST_F(RegTypeLib, BadArgumentsAreRefused) {
  EXPECT_EQ(RegisterTypeLib(nullptr, u"/x", nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterTypeLib(lib_.get(), nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterTypeLib(lib_.get(), u"", nullptr), E_INVALIDARG);
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, nullptr), E_INVALIDARG);
}

// Another process changes the registration between two loads: the loader
// follows at once, though it remembers what it read while nothing changed.
TEST_F(RegTypeLib, LoadFollowsRegistrationsChangedByAnotherProcess) {
  char pattern[] = "/tmp/mvcomm-regtlb-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string a = dir + "/a.tlb", b = dir + "/b.tlb";
  std::filesystem::copy_file(MVCOMM_TLB_FILE, a);
  std::filesystem::copy_file(MVCOMM_TLB_FILE, b);
  ASSERT_EQ(Register(typelib::Utf8ToUtf16(a).c_str()), S_OK);
  Ref<ITypeLib> loaded;
  ASSERT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, loaded.out()), S_OK);

  // Runs `step` in a child process; true when it gave S_OK.
  auto inChild = [](auto step) {
    const pid_t pid = fork();
    if (pid == 0) _exit(step() == S_OK ? 0 : 1);
    int status = -1;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };

  ASSERT_TRUE(inChild([&] { return Register(typelib::Utf8ToUtf16(b).c_str()); }));
  std::filesystem::remove(a);  // a stale answer would now fail to load
  Ref<ITypeLib> moved;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, moved.out()), S_OK);

  ASSERT_TRUE(inChild([&] { return UnRegisterTypeLib(libId_, 1, 0, 0x0409, SYS_WIN32); }));
  Ref<ITypeLib> none;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, none.out()), TYPE_E_LIBNOTREGISTERED);

  ASSERT_TRUE(inChild([&] { return Register(typelib::Utf8ToUtf16(b).c_str()); }));
  Ref<ITypeLib> again;
  EXPECT_EQ(LoadRegTypeLib(libId_, 1, 0, 0, again.out()), S_OK);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mvcomm::testing

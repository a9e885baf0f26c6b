// File: tests/typelib/load_type_lib_test.cpp
//
// LoadTypeLib: stand-alone .tlb files, the ELF section of a module (this test
// binary links the component's resource object), the built-in standard
// library, and the cache that follows changes of the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

std::u16string Wide(const std::string& s) { return typelib::Utf8ToUtf16(s); }

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/mvcomm-tlb-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::u16string LibraryName(ITypeLib* lib) {
  Bstr name;
  EXPECT_EQ(lib->GetDocumentation(-1, name.out(), nullptr, nullptr, nullptr), S_OK);
  return name.str();
}

TEST(LoadTypeLib, ReadsTheBuiltStandAloneLibrary) {
  Ref<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(Wide(MVCOMM_TLB_FILE).c_str(), lib.out()), S_OK);
  EXPECT_EQ(LibraryName(lib.get()), u"MVComm");
  EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
}

TEST(LoadTypeLib, ReadsTheSectionOfAModule) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  Ref<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(Wide(self).c_str(), lib.out()), S_OK);
  EXPECT_EQ(LibraryName(lib.get()), u"MVComm");
  // The section holds exactly the bytes of the stand-alone file.
  typelib::Library fromModule, fromFile;
  std::string why;
  ASSERT_TRUE(typelib::ReadLibraryFile(self, &fromModule, &why)) << why;
  ASSERT_TRUE(typelib::ReadLibraryFile(MVCOMM_TLB_FILE, &fromFile, &why)) << why;
  EXPECT_EQ(fromModule, fromFile);
}

TEST(LoadTypeLib, ModuleWithoutALibraryIsRefused) {
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadTypeLib(u"/bin/sh", lib.out()), TYPE_E_CANTLOADLIBRARY);
  EXPECT_FALSE(lib);
}

TEST(LoadTypeLib, MissingOrUnsuitableFilesAreRefused) {
  TempDir dir;
  WriteBytes(dir.file("text.tlb"), {'h', 'e', 'l', 'l', 'o', '\n', 0, 0, 0, 0});
  WriteBytes(dir.file("empty.tlb"), {});
  std::vector<uint8_t> elf = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0};
  elf.resize(64, 0xFF);  // an ELF header whose section table points anywhere
  WriteBytes(dir.file("bad.so"), elf);
  for (const std::string& path : {dir.file("missing.tlb"), dir.file("text.tlb"), dir.file("empty.tlb"),
                                   dir.file("bad.so"), dir.file("")}) {
    SCOPED_TRACE(path);
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(0x1);
    EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), &lib), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(lib, nullptr);
  }
  Ref<ITypeLib> lib;
  EXPECT_EQ(LoadTypeLib(nullptr, lib.out()), E_INVALIDARG);
  EXPECT_EQ(LoadTypeLib(u"", lib.out()), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(u"x", nullptr), E_INVALIDARG);
}

TEST(LoadTypeLib, StandardLibraryIsBuiltIn) {
  Ref<ITypeLib> lib;
  ASSERT_EQ(LoadTypeLib(u"stdole2.tlb", lib.out()), S_OK);
  Ref<ITypeInfo> dispatch;
  EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, dispatch.out()), S_OK);
  EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IUnknown, dispatch.out()), S_OK);
}

TEST(LoadTypeLib, CacheHandsOutTheSameLibraryUntilTheFileChanges) {
  TempDir dir;
  const std::string path = dir.file("lib.tlb");
  WriteBytes(path, TlbBytes(ComponentIdl()));
  Ref<ITypeLib> first, second, third;
  ASSERT_EQ(LoadTypeLib(Wide(path).c_str(), first.out()), S_OK);
  ASSERT_EQ(LoadTypeLib(Wide(path).c_str(), second.out()), S_OK);
  EXPECT_EQ(first.get(), second.get());

  // Rewrite with another library under the same name: the next load sees it.
  std::string idl = ComponentIdl();
  idl.replace(idl.find("library MVComm"), 14, "library Renamed");
  std::filesystem::remove(path);  // a new inode, whatever the clock's resolution
  WriteBytes(path, TlbBytes(idl));
  ASSERT_EQ(LoadTypeLib(Wide(path).c_str(), third.out()), S_OK);
  EXPECT_NE(third.get(), first.get());
  EXPECT_EQ(LibraryName(third.get()), u"Renamed");
  EXPECT_EQ(LibraryName(first.get()), u"MVComm");  // clients keep what they hold

  // A damaged rewrite is refused; it does not hand out the stale copy.
  std::filesystem::remove(path);
  WriteBytes(path, {'M', 'V', 'T', 'L', 'B'});
  Ref<ITypeLib> fourth;
  EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), fourth.out()), TYPE_E_CANTLOADLIBRARY);
}

TEST(LoadTypeLib, CacheFollowsALinkMovedToAnotherFile) {
  TempDir dir;
  std::string idl = ComponentIdl();
  WriteBytes(dir.file("a.tlb"), TlbBytes(idl));
  idl.replace(idl.find("library MVComm"), 14, "library Renamed");
  WriteBytes(dir.file("b.tlb"), TlbBytes(idl));
  const std::string link = dir.file("current.tlb");
  std::filesystem::create_symlink(dir.file("a.tlb"), link);

  Ref<ITypeLib> first, second;
  ASSERT_EQ(LoadTypeLib(Wide(link).c_str(), first.out()), S_OK);
  EXPECT_EQ(LibraryName(first.get()), u"MVComm");
  // The same path now names another file: the path asked for before must
  // not bring back the library it named then.
  std::filesystem::remove(link);
  std::filesystem::create_symlink(dir.file("b.tlb"), link);
  ASSERT_EQ(LoadTypeLib(Wide(link).c_str(), second.out()), S_OK);
  EXPECT_EQ(LibraryName(second.get()), u"Renamed");

  std::filesystem::remove(link);
  Ref<ITypeLib> gone;
  EXPECT_EQ(LoadTypeLib(Wide(link).c_str(), gone.out()), TYPE_E_CANTLOADLIBRARY);
}

}  // namespace
}  // namespace mvcomm::testing

// File: tests/component/load_type_library_test.cpp
//
// loadTypeLibrary over descriptors other than the module's: the file it
// picks when the registry lacks the library, and failures passed back.

#include <filesystem>
#include <system_error>

#include "server/load_type_library.h"
#include "tests/component/component_fixture.h"

namespace mvcomm::server {
namespace {

namespace fs = std::filesystem;

// A library identifier nobody registers.
constexpr GUID kStrangerLibid = {0x5EED0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
// {719FD99B-2836-423E-B549-75CBDC092206}
constexpr GUID kLibid = {0x719FD99B, 0x2836, 0x423E, {0xB5, 0x49, 0x75, 0xCB, 0xDC, 0x09, 0x22, 0x06}};

registration::ServerDescriptor descriptorFor(const std::string* serverPath, uint32_t inServer,
                                             const GUID* libid) {
  registration::ServerDescriptor d;
  d.serverPath = serverPath;
  d.libraryPath = serverPath;
  d.typeLibraryInServer = inServer;
  d.typeLibraryMajor = 1;
  d.typeLibraryMinor = 0;
  d.typeLibraryId = libid;
  return d;
}

TEST(LoadTypeLibrary, MissingFileFailsWithTheLoadersResult) {
  (void)component::testing::kPrivateRegistry;
  const std::string path = "/nonexistent/dir/libMissing.so";
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(loadTypeLibrary(descriptorFor(&path, 1, &kStrangerLibid), &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(lib, nullptr);
  EXPECT_EQ(loadTypeLibrary(descriptorFor(&path, 1, &kStrangerLibid), nullptr), E_POINTER);
}

TEST(LoadTypeLibrary, LibraryBesideTheServerIsTakenByItsTlbName) {
  (void)component::testing::kPrivateRegistry;
  (void)UnRegisterTypeLib(kLibid, 1, 0, 0x0409, SYS_WIN32);
  char tmpl[] = "/tmp/mvcomm-tlb-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  fs::copy_file(MVCOMM_TLB, dir / "server.v2.tlb");
  const std::string server = (dir / "server.v2.so").string();

  ITypeLib* lib = nullptr;
  ASSERT_EQ(loadTypeLibrary(descriptorFor(&server, 0, &kLibid), &lib), S_OK);
  ASSERT_NE(lib, nullptr);
  lib->Release();
  ITypeLib* registered = nullptr;
  ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &registered), S_OK) << "registered under the whole path";
  registered->Release();

  EXPECT_EQ(UnRegisterTypeLib(kLibid, 1, 0, 0x0409, SYS_WIN32), S_OK);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace mvcomm::server

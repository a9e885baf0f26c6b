// File: platform/ole/typelib/load_type_lib.cpp
//
// LoadTypeLib: a library from a stand-alone .tlb file, or from the
// ".mvtypelib" section of a module (an ELF shared object), or the built-in
// standard library for "stdole2.tlb". Parsed libraries are cached by file and
// handed out again while the file is unchanged (same device, inode, size,
// modification and change times), so creating objects, which asks for the
// library each time, does not re-read and re-check the file: a path asked
// for before costs one stat().
//
// Sections: file reading; ELF section lookup; the cache; LoadTypeLib.
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/text16.h"
#include "platform/ole/typelib/tlb_format.h"
#include "platform/ole/typelib/tlb_io.h"
#include "platform/ole/typelib/type_lib.h"

namespace mvcomm::typelib {

namespace {

// ---- file reading ----------------------------------------------------------

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly n bytes at offset; false on a short read or an error.
bool readAt(int fd, void* buf, size_t n, uint64_t offset) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

// ---- ELF section lookup --------------------------------------------------------

// Finds the type library section of a 64-bit little-endian ELF file of
// `fileSize` bytes. Every header field is checked against the file size.
bool findElfSection(int fd, uint64_t fileSize, uint64_t* offset, uint64_t* size) {
  Elf64_Ehdr eh;
  if (fileSize < sizeof eh || !readAt(fd, &eh, sizeof eh, 0)) return false;
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB) return false;
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum)
    return false;
  uint64_t tableBytes = uint64_t{eh.e_shnum} * sizeof(Elf64_Shdr);
  if (eh.e_shoff > fileSize || tableBytes > fileSize - eh.e_shoff) return false;
  std::vector<Elf64_Shdr> sh(eh.e_shnum);
  if (!readAt(fd, sh.data(), tableBytes, eh.e_shoff)) return false;
  const Elf64_Shdr& names = sh[eh.e_shstrndx];
  constexpr uint64_t kMaxNames = 1u << 20;
  if (names.sh_type != SHT_STRTAB || names.sh_size == 0 || names.sh_size > kMaxNames ||
      names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset)
    return false;
  std::string strtab(names.sh_size, '\0');
  if (!readAt(fd, strtab.data(), strtab.size(), names.sh_offset)) return false;
  const std::string want = format::kElfSection;
  for (const Elf64_Shdr& s : sh) {
    if (s.sh_name >= strtab.size()) continue;
    const char* name = strtab.c_str() + s.sh_name;  // the string table is NUL-terminated by std::string
    if (want != name || s.sh_type == SHT_NOBITS) continue;
    if (s.sh_offset > fileSize || s.sh_size > fileSize - s.sh_offset) return false;
    *offset = s.sh_offset;
    *size = s.sh_size;
    return true;
  }
  return false;
}

// Reads and checks the library in the file open on fd; *why says what failed.
HRESULT parseFile(int fd, uint64_t fileSize, Library* lib, std::string* why) {
  char head[sizeof format::kMagic];
  if (fileSize < sizeof head || !readAt(fd, head, sizeof head, 0)) {
    *why = "too short to be a type library";
    return TYPE_E_CANTLOADLIBRARY;
  }
  uint64_t offset = 0, size = fileSize;
  if (std::memcmp(head, ELFMAG, SELFMAG) == 0) {
    if (!findElfSection(fd, fileSize, &offset, &size)) {
      *why = std::string("module without a readable ") + format::kElfSection + " section";
      return TYPE_E_CANTLOADLIBRARY;
    }
  } else if (std::memcmp(head, format::kMagic, 4) != 0) {
    *why = "not a type library";
    return TYPE_E_CANTLOADLIBRARY;
  }
  if (size > format::kMaxFileSize) {
    *why = "type library too large";
    return TYPE_E_CANTLOADLIBRARY;
  }
  std::vector<uint8_t> bytes(size);
  if (!readAt(fd, bytes.data(), bytes.size(), offset)) {
    *why = "read error";
    return TYPE_E_CANTLOADLIBRARY;
  }
  switch (ReadLibrary(bytes.data(), bytes.size(), lib, why)) {
    case ReadResult::kOk: return S_OK;
    case ReadResult::kUnsupportedVersion: return TYPE_E_UNSUPFORMAT;
    case ReadResult::kDamaged: break;
  }
  return TYPE_E_CANTLOADLIBRARY;
}

// Opens a regular file for reading; -1 with *why set on failure.
int openFile(const std::string& path, struct stat* st, std::string* why) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *why = std::strerror(errno);
    return -1;
  }
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    *why = "not a regular file";
    ::close(fd);
    return -1;
  }
  return fd;
}

// ---- the cache -----------------------------------------------------------------

// The change time is part of the stamp so that a file made unreadable
// (chmod) is opened again, and refused, rather than served from memory.
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  struct timespec mtime = {};
  struct timespec ctime = {};
  bool operator==(const FileStamp& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileStamp stampOf(const struct stat& st) {
  return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

struct CacheEntry {
  FileStamp stamp;
  TypeLib* lib = nullptr;  // one reference held by the cache
};

std::mutex& cacheLock() {
  static std::mutex m;
  return m;
}

// Never destroyed: libraries handed out may outlive static destruction.
std::map<std::string, CacheEntry>& cache() {
  static auto* c = new std::map<std::string, CacheEntry>;
  return *c;
}

// Paths as callers gave them -> cache key (the resolved path), so that a
// library asked for again by the same path costs one stat(), not an open and
// a realpath. A bound keeps callers that try many paths from growing it.
constexpr size_t kMaxAliases = 256;
std::unordered_map<std::string, std::string>& aliases() {
  static auto* a = new std::unordered_map<std::string, std::string>;
  return *a;
}

// The cached library for `path` when the file there is still the one it was
// read from; null otherwise. Takes the cache lock.
TypeLib* cachedByAlias(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const FileStamp stamp = stampOf(st);
  std::lock_guard<std::mutex> g(cacheLock());
  auto alias = aliases().find(path);
  if (alias == aliases().end()) return nullptr;
  auto it = cache().find(alias->second);
  if (it == cache().end() || !(it->second.stamp == stamp)) return nullptr;
  it->second.lib->AddRef();
  return it->second.lib;
}

// Caller holds the cache lock.
void rememberAlias(const std::string& path, const std::string& key) {
  if (aliases().size() >= kMaxAliases && aliases().count(path) == 0) aliases().clear();
  aliases()[path] = key;
}

}  // namespace

bool IsStdOleFileName(const std::string& path) {
  if (path.size() != 11 && path.size() != 12) return false;  // every load asks: answer most at once
  std::string lower;
  for (char c : path) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower == "stdole2.tlb" || lower == "stdole32.tlb";
}

HRESULT LoadTypeLibFromPath(const std::string& path, ITypeLib** pptlib) try {
  *pptlib = nullptr;
  if (IsStdOleFileName(path)) {
    TypeLib* std = StdOleLibrary();
    if (!std) return E_OUTOFMEMORY;
    std->AddRef();
    *pptlib = std;
    return S_OK;
  }
  if (TypeLib* cached = cachedByAlias(path)) {
    *pptlib = cached;
    return S_OK;
  }
  struct stat st;
  std::string why;
  Fd fd(openFile(path, &st, &why));
  if (fd.get() < 0) return TYPE_E_CANTLOADLIBRARY;
  const FileStamp stamp = stampOf(st);
  char resolved[PATH_MAX];
  std::string key = ::realpath(path.c_str(), resolved) ? resolved : path;
  {
    std::lock_guard<std::mutex> g(cacheLock());
    auto it = cache().find(key);
    if (it != cache().end() && it->second.stamp == stamp) {
      rememberAlias(path, key);
      it->second.lib->AddRef();
      *pptlib = it->second.lib;
      return S_OK;
    }
  }
  Library model;
  HRESULT hr = parseFile(fd.get(), static_cast<uint64_t>(st.st_size), &model, &why);
  if (FAILED(hr)) return hr;
  TypeLib* lib = TypeLib::Create(std::move(model));
  if (!lib) return E_OUTOFMEMORY;
  {
    std::lock_guard<std::mutex> g(cacheLock());
    CacheEntry& e = cache()[key];
    if (e.lib) e.lib->Release();  // the stale copy; clients keep theirs alive
    e.stamp = stamp;
    e.lib = lib;
    lib->AddRef();
    rememberAlias(path, key);
  }
  *pptlib = lib;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT LoadTypeLibFromMemory(const uint8_t* data, size_t size, ITypeLib** pptlib) try {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  Library model;
  switch (ReadLibrary(data, size, &model)) {
    case ReadResult::kOk: break;
    case ReadResult::kUnsupportedVersion: return TYPE_E_UNSUPFORMAT;
    case ReadResult::kDamaged: return TYPE_E_CANTLOADLIBRARY;
  }
  TypeLib* lib = TypeLib::Create(std::move(model));
  if (!lib) return E_OUTOFMEMORY;
  *pptlib = lib;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

bool ReadLibraryFile(const std::string& path, Library* lib, std::string* why) {
  struct stat st;
  Fd fd(openFile(path, &st, why));
  return fd.get() >= 0 && SUCCEEDED(parseFile(fd.get(), static_cast<uint64_t>(st.st_size), lib, why));
}

void DropTypeLibCache() {
  {
    std::lock_guard<std::mutex> g(cacheLock());
    for (auto& [path, e] : cache()) e.lib->Release();
    cache().clear();
    aliases().clear();
  }
  ForgetRegisteredPaths();
}

}  // namespace mvcomm::typelib

// ---- LoadTypeLib -------------------------------------------------------------

WINOLEAUTAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) try {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  if (!szFile) return E_INVALIDARG;
  size_t n = mvcomm::typelib::BoundedLength(szFile, PATH_MAX);
  if (n == 0 || n > PATH_MAX) return TYPE_E_CANTLOADLIBRARY;
  std::string path = mvcomm::typelib::Utf16ToUtf8(std::u16string_view(szFile, n));
  if (path.find('\0') != std::string::npos) return TYPE_E_CANTLOADLIBRARY;
  HRESULT hr = mvcomm::typelib::LoadTypeLibFromPath(path, pptlib);
  // A bare file name is registered, as the platform's loader does for it.
  if (SUCCEEDED(hr) && path.find('/') == std::string::npos &&
      !mvcomm::typelib::IsStdOleFileName(path)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) {
      std::u16string full = mvcomm::typelib::Utf8ToUtf16(resolved);
      (void)RegisterTypeLib(*pptlib, full.c_str(), nullptr);
    }
  }
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

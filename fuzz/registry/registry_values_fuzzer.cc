// Drives the registry functions with arbitrary names, types, data and buffer
// sizes, on a private in-memory registry, and checks that every value reads
// back as it was stored (strings terminated) and that no call misbehaves.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry/winreg.h"

namespace {

// Reads the input front to back; runs dry with zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  std::uint8_t byte() { return size_ > 0 ? (--size_, *data_++) : 0; }
  std::string bytes(std::size_t most) {
    std::size_t n = byte() % (most + 1);
    if (n > size_) n = size_;
    std::string out(reinterpret_cast<const char*>(data_), n);
    data_ += n;
    size_ -= n;
    return out;
  }
  // A name: short, NULs cut off (C strings end there anyway).
  std::string name() {
    std::string s = bytes(24);
    std::size_t nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "registry fuzzer: %s\n", what);
    abort();
  }
}

const LONG kKnownErrors[] = {ERROR_SUCCESS,     ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
                             ERROR_INVALID_PARAMETER, ERROR_BAD_PATHNAME, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS,
                             ERROR_KEY_DELETED};

void known(LONG err) {
  for (LONG e : kKnownErrors) {
    if (e == err) return;
  }
  std::fprintf(stderr, "registry fuzzer: unexpected error %d\n", static_cast<int>(err));
  abort();
}

std::string stored(DWORD type, const std::string& data) {
  std::string bytes = data;
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    if (bytes.empty() || bytes.back() != '\0') bytes += '\0';
    if (type == REG_MULTI_SZ && bytes.size() > 1 && bytes[bytes.size() - 2] != '\0') bytes += '\0';
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("MVCOMM_REGISTRY", ":memory:", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  std::vector<HKEY> handles{HKEY_CLASSES_ROOT};
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    HKEY base = handles[in.byte() % handles.size()];
    switch (in.byte() % 9) {
      case 0: {  // create or open
        std::string path = in.name() + (in.byte() & 1 ? "\\" + in.name() : "");
        HKEY key = nullptr;
        REGSAM access = (in.byte() & 1) ? KEY_ALL_ACCESS : KEY_READ;
        LONG err = (in.byte() & 1) ? RegCreateKeyExA(base, path.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr)
                                   : RegOpenKeyExA(base, path.c_str(), 0, access, &key);
        known(err);
        check((err == ERROR_SUCCESS) == (key != nullptr), "handle and result disagree");
        if (key != nullptr) handles.push_back(key);
        break;
      }
      case 1: {  // set, then read back
        std::string name = in.name();
        DWORD type = in.byte() % 12;
        std::string value = in.bytes(64);
        LONG err = RegSetValueExA(base, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.data()),
                                  static_cast<DWORD>(value.size()));
        known(err);
        if (err != ERROR_SUCCESS) break;
        DWORD gotType = 0;
        DWORD gotSize = 0;
        err = RegQueryValueExA(base, name.c_str(), nullptr, &gotType, nullptr, &gotSize);
        if (err == ERROR_ACCESS_DENIED) break;  // a handle with write rights only
        check(err == ERROR_SUCCESS, "value just set cannot be read");
        std::string back(gotSize, '\0');
        err = RegQueryValueExA(base, name.c_str(), nullptr, &gotType, reinterpret_cast<BYTE*>(back.data()), &gotSize);
        check(err == ERROR_SUCCESS && gotType == type && back == stored(type, value), "value reads back changed");
        break;
      }
      case 2: {  // query with an arbitrary buffer
        std::string name = in.name();
        DWORD capacity = in.byte() % 80;
        std::vector<BYTE> buffer(capacity + 1, 0xEE);
        DWORD size = capacity;
        LONG err = RegQueryValueExA(base, name.c_str(), nullptr, nullptr, buffer.data(), &size);
        known(err);
        check(buffer[capacity] == 0xEE, "query wrote past the buffer");
        if (err == ERROR_SUCCESS) check(size <= capacity, "size beyond the buffer");
        if (err == ERROR_MORE_DATA) check(size > capacity, "more data but it fitted");
        break;
      }
      case 3: {  // enumerate subkeys
        DWORD capacity = in.byte() % 40;
        std::vector<char> buffer(capacity + 1, '\x7F');
        DWORD length = capacity;
        LONG err = RegEnumKeyExA(base, in.byte() % 8, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        known(err);
        check(buffer[capacity] == '\x7F', "key enumeration wrote past the buffer");
        if (err == ERROR_SUCCESS) check(length < capacity && buffer[length] == '\0', "bad key name length");
        break;
      }
      case 4: {  // enumerate values
        DWORD nameCapacity = in.byte() % 40;
        DWORD dataCapacity = in.byte() % 80;
        std::vector<char> name(nameCapacity + 1, '\x7F');
        std::vector<BYTE> value(dataCapacity + 1, 0xEE);
        DWORD nameLength = nameCapacity;
        DWORD size = dataCapacity;
        LONG err = RegEnumValueA(base, in.byte() % 8, name.data(), &nameLength, nullptr, nullptr, value.data(), &size);
        known(err);
        check(name[nameCapacity] == '\x7F' && value[dataCapacity] == 0xEE, "value enumeration overran");
        break;
      }
      case 5:
        known(RegDeleteValueA(base, in.name().c_str()));
        break;
      case 6:
        known(RegDeleteKeyA(base, in.name().c_str()));
        break;
      case 7: {
        std::string path = in.name();
        known(RegDeleteTreeA(base, (in.byte() & 1) ? path.c_str() : nullptr));
        break;
      }
      case 8: {  // close one handle, sometimes twice
        std::size_t index = in.byte() % handles.size();
        if (index == 0) break;
        check(RegCloseKey(handles[index]) == ERROR_SUCCESS, "close of a live handle failed");
        check(RegCloseKey(handles[index]) == ERROR_INVALID_HANDLE, "double close accepted");
        handles.erase(handles.begin() + static_cast<long>(index));
        break;
      }
    }
  }
  for (std::size_t i = 1; i < handles.size(); ++i) RegCloseKey(handles[i]);
  check(RegDeleteTreeA(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS, "cannot empty the registry");
  return 0;
}

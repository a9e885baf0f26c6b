// File: platform/registry/winreg.h
//
// The registry under HKEY_CLASSES_ROOT: the narrow registry functions with
// their usual signatures, error numbers and constants, kept in one SQLite
// database (see registry_path.h for where it lives).
//
// Behaviour callers rely on:
//   - Key and value names compare case-insensitively (ASCII letters) and are
//     printable: control characters are refused.
//   - Every function that writes is one transaction: it happens whole or not
//     at all, also when the process dies in the middle.
//   - Several processes and threads may read and write at once; a writer that
//     finds the database locked waits (up to 5 s) instead of failing.
//   - A key with subkeys cannot be deleted (ERROR_ACCESS_DENIED): children go
//     first. RegDeleteTreeA removes a whole tree in one transaction.
//   - String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are always stored
//     with their terminator, so a reader never gets an unterminated string.
//   - REG_OPTION_VOLATILE is accepted but the key is kept like any other
//     (nothing here restarts to forget it); access rights are checked per
//     handle (KEY_SET_VALUE, KEY_QUERY_VALUE, KEY_ENUMERATE_SUB_KEYS).
//   - Handles are checked: a closed, unknown or null handle gives
//     ERROR_INVALID_HANDLE, never a crash; a handle whose key was deleted
//     gives ERROR_KEY_DELETED.
//
// The basic typedefs match the automation layer's (32-bit LONG and DWORD).
#pragma once

#include <stdint.h>

#ifndef MVCOMM_WINDOWS_BASIC_TYPES
#define MVCOMM_WINDOWS_BASIC_TYPES
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef unsigned char BYTE;
typedef int BOOL;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef void* LPVOID;
typedef uintptr_t ULONG_PTR;
#endif

#ifndef _FILETIME_
#define _FILETIME_
typedef struct _FILETIME {
  DWORD dwLowDateTime;   // 100 ns intervals since 1601-01-01 UTC, low half
  DWORD dwHighDateTime;  // high half
} FILETIME, *PFILETIME, *LPFILETIME;
#endif

struct HKEY__;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
struct _SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The one predefined root this registry holds.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))

// Error numbers (the system's, so callers can compare with the usual names).
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2L
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5L
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY 8L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_BUSY
#define ERROR_BUSY 170L
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif
#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259L
#endif
#ifndef ERROR_BADDB
#define ERROR_BADDB 1009L
#endif
#ifndef ERROR_CANTOPEN
#define ERROR_CANTOPEN 1011L
#endif
#ifndef ERROR_CANTREAD
#define ERROR_CANTREAD 1012L
#endif
#ifndef ERROR_CANTWRITE
#define ERROR_CANTWRITE 1013L
#endif
#ifndef ERROR_REGISTRY_IO_FAILED
#define ERROR_REGISTRY_IO_FAILED 1016L
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif

// Access rights (samDesired).
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

// Key options and dispositions.
#define REG_OPTION_NON_VOLATILE 0x0000
#define REG_OPTION_VOLATILE 0x0001
#define REG_CREATED_NEW_KEY 0x0001
#define REG_OPENED_EXISTING_KEY 0x0002

// Value types. Every type is stored as given; the strings get a terminator.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Longest key name component and value name, in characters.
#define MVCOMM_REG_MAX_KEY_NAME 255
#define MVCOMM_REG_MAX_VALUE_NAME 16383
// Largest value data, in bytes; more is refused with ERROR_INVALID_PARAMETER.
#define MVCOMM_REG_MAX_VALUE_DATA (16u * 1024u * 1024u)

#ifdef __cplusplus
extern "C" {
#endif

// Opens hKey\lpSubKey, creating it and any missing parents. A null or empty
// lpSubKey opens hKey itself. *lpdwDisposition (optional) tells whether the
// key was created. Errors: ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER (null
// phkResult, a component over 255 characters or with a control character), ERROR_BAD_PATHNAME (leading
// backslash or an empty component), ERROR_KEY_DELETED, database errors
// (ERROR_BUSY, ERROR_CANTOPEN, ERROR_BADDB, ...). *phkResult is null on failure.
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);

// Opens an existing key. Errors: as RegCreateKeyExA, and ERROR_FILE_NOT_FOUND
// when the key does not exist.
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);

// Sets a value (null or empty name: the key's default value). Needs
// KEY_SET_VALUE. Errors: ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED,
// ERROR_INVALID_PARAMETER (null data with a nonzero size, name or data too
// long, a control character in the name),
// ERROR_KEY_DELETED, database errors.
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);

// Reads a value. With lpData null, only the size goes to *lpcbData. A buffer
// too small gives ERROR_MORE_DATA with the size needed in *lpcbData and the
// buffer untouched. Needs KEY_QUERY_VALUE. Errors: ERROR_FILE_NOT_FOUND (no
// such value; also a default value never set), ERROR_MORE_DATA,
// ERROR_INVALID_PARAMETER (lpData without lpcbData), ERROR_INVALID_HANDLE,
// ERROR_ACCESS_DENIED, ERROR_KEY_DELETED, database errors.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);

// The dwIndex-th subkey in case-insensitive name order. *lpcchName is the
// buffer size in characters on entry and the name length without terminator
// on return. Needs KEY_ENUMERATE_SUB_KEYS. Errors: ERROR_NO_MORE_ITEMS,
// ERROR_MORE_DATA (name buffer too small; *lpcchName then holds the length
// needed without terminator), ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE,
// ERROR_ACCESS_DENIED, ERROR_KEY_DELETED, database errors.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);

// The dwIndex-th value in the order the values were first set. Name and data
// buffers as in RegEnumKeyExA and RegQueryValueExA. Needs KEY_QUERY_VALUE.
// Errors: ERROR_NO_MORE_ITEMS, ERROR_MORE_DATA (either buffer too small;
// the sizes needed are returned), and those of RegQueryValueExA.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Deletes hKey\lpSubKey (an empty lpSubKey: hKey's own key) with its values.
// Errors: ERROR_ACCESS_DENIED (the key has subkeys, or is the root),
// ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER (null lpSubKey),
// ERROR_INVALID_HANDLE, ERROR_BAD_PATHNAME, database errors.
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

// Deletes hKey\lpSubKey with every key and value below it, in one
// transaction. A null lpSubKey empties hKey (its subkeys and values) and
// keeps it. Errors: as RegDeleteKeyA, less the subkey refusal.
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);

// Deletes one value. Needs KEY_SET_VALUE. Errors: ERROR_FILE_NOT_FOUND,
// ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED, ERROR_KEY_DELETED, database errors.
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Closes a handle; closing the predefined root does nothing. Errors:
// ERROR_INVALID_HANDLE (null, unknown or already closed).
LONG RegCloseKey(HKEY hKey);

#ifdef __cplusplus
}
#endif

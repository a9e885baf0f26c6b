"""Late-bound automation objects from Python, with the standard library only.

    import mvcomm_automation
    comm = mvcomm_automation.Dispatch("MVComm.MVComm")
    comm.commport = 1
    comm.readdata("5", datetime.datetime(2002, 10, 27), datetime.datetime(2002, 10, 28))
    print(comm.errorcode, comm.rsrows)

Every attribute read, write and call goes through the object's IDispatch
(GetIDsOfNames once per name, then Invoke). Dates travel as
datetime.datetime. A failed call raises AutomationError with the HRESULT.

The automation library (libmvole.so) is found through MVCOMM_MVOLE when set,
else by the system's library search.
"""

import ctypes
import datetime
import math
import os

__all__ = ["Dispatch", "AutomationError", "hresult_name", "free_unused_libraries"]

# ---- the library and its types ---------------------------------------------------

HRESULT = ctypes.c_int32


class GUID(ctypes.Structure):
    _fields_ = [("Data1", ctypes.c_uint32), ("Data2", ctypes.c_uint16),
                ("Data3", ctypes.c_uint16), ("Data4", ctypes.c_ubyte * 8)]


def _guid(d1, d2, d3, *d4):
    return GUID(d1, d2, d3, (ctypes.c_ubyte * 8)(*d4))


IID_NULL = GUID()
IID_IDispatch = _guid(0x00020400, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)


class _VariantValue(ctypes.Union):
    _fields_ = [("llVal", ctypes.c_int64), ("lVal", ctypes.c_int32), ("iVal", ctypes.c_int16),
                ("bVal", ctypes.c_uint8), ("fltVal", ctypes.c_float), ("dblVal", ctypes.c_double),
                ("boolVal", ctypes.c_int16), ("bstrVal", ctypes.c_void_p),
                ("pad", ctypes.c_ubyte * 16)]


class VARIANT(ctypes.Structure):
    _fields_ = [("vt", ctypes.c_uint16), ("r1", ctypes.c_uint16), ("r2", ctypes.c_uint16),
                ("r3", ctypes.c_uint16), ("v", _VariantValue)]


assert ctypes.sizeof(VARIANT) == 24


class DISPPARAMS(ctypes.Structure):
    _fields_ = [("rgvarg", ctypes.POINTER(VARIANT)), ("rgdispidNamedArgs", ctypes.POINTER(ctypes.c_int32)),
                ("cArgs", ctypes.c_uint), ("cNamedArgs", ctypes.c_uint)]


class EXCEPINFO(ctypes.Structure):
    _fields_ = [("wCode", ctypes.c_uint16), ("wReserved", ctypes.c_uint16),
                ("bstrSource", ctypes.c_void_p), ("bstrDescription", ctypes.c_void_p),
                ("bstrHelpFile", ctypes.c_void_p), ("dwHelpContext", ctypes.c_uint32),
                ("pvReserved", ctypes.c_void_p), ("pfnDeferredFillIn", ctypes.c_void_p),
                ("scode", ctypes.c_int32)]


VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8 = 0, 1, 2, 3, 4, 5
VT_DATE, VT_BSTR, VT_BOOL, VT_I1, VT_UI1, VT_UI2, VT_UI4 = 7, 8, 11, 16, 17, 18, 19
VT_I8, VT_UI8, VT_INT, VT_UINT = 20, 21, 22, 23

DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT = 1, 2, 4
DISPID_PROPERTYPUT = -3
CLSCTX_INPROC_SERVER = 1
LOCALE_EN_US = 0x0409
E_POINTER = 0x80004003 - (1 << 32)

_lib = None


def _library():
    global _lib
    if _lib is None:
        lib = ctypes.CDLL(os.environ.get("MVCOMM_MVOLE") or "libmvole.so")
        for name, res, args in [
            ("CLSIDFromProgID", HRESULT, [ctypes.c_void_p, ctypes.POINTER(GUID)]),
            ("CoCreateInstance", HRESULT, [ctypes.POINTER(GUID), ctypes.c_void_p, ctypes.c_uint32,
                                          ctypes.POINTER(GUID), ctypes.POINTER(ctypes.c_void_p)]),
            ("CoFreeUnusedLibraries", None, []),
            ("SysAllocStringLen", ctypes.c_void_p, [ctypes.c_void_p, ctypes.c_uint]),
            ("SysStringLen", ctypes.c_uint, [ctypes.c_void_p]),
            ("SysFreeString", None, [ctypes.c_void_p]),
            ("VariantInit", None, [ctypes.POINTER(VARIANT)]),
            ("VariantClear", HRESULT, [ctypes.POINTER(VARIANT)]),
        ]:
            fn = getattr(lib, name)
            fn.restype, fn.argtypes = res, args
        _lib = lib
    return _lib


# ---- errors ------------------------------------------------------------------------

_NAMES = {
    0x80004001: "E_NOTIMPL", 0x80004002: "E_NOINTERFACE", 0x80004003: "E_POINTER",
    0x80004005: "E_FAIL", 0x8000FFFF: "E_UNEXPECTED", 0x8007000E: "E_OUTOFMEMORY",
    0x80070057: "E_INVALIDARG", 0x80040110: "CLASS_E_NOAGGREGATION",
    0x80040111: "CLASS_E_CLASSNOTAVAILABLE", 0x80040154: "REGDB_E_CLASSNOTREG",
    0x800401F3: "CO_E_CLASSSTRING", 0x800401F9: "CO_E_ERRORINDLL",
    0x8007007E: "ERROR_MOD_NOT_FOUND", 0x800700C1: "ERROR_BAD_EXE_FORMAT",
    0x80020003: "DISP_E_MEMBERNOTFOUND", 0x80020004: "DISP_E_PARAMNOTFOUND",
    0x80020005: "DISP_E_TYPEMISMATCH", 0x80020006: "DISP_E_UNKNOWNNAME",
    0x80020007: "DISP_E_NONAMEDARGS", 0x80020008: "DISP_E_BADVARTYPE",
    0x80020009: "DISP_E_EXCEPTION", 0x8002000A: "DISP_E_OVERFLOW",
    0x8002000E: "DISP_E_BADPARAMCOUNT", 0x8002000F: "DISP_E_PARAMNOTOPTIONAL",
    0x80020011: "DISP_E_NOTACOLLECTION", 0x8002801D: "TYPE_E_LIBNOTREGISTERED",
    0x80029C4A: "TYPE_E_CANTLOADLIBRARY",
}


def hresult_name(hr):
    """'DISP_E_MEMBERNOTFOUND' and the like; '' for a value without a name."""
    return _NAMES.get(hr & 0xFFFFFFFF, "")


def _describe(hr):
    text = "0x%08X" % (hr & 0xFFFFFFFF)
    name = hresult_name(hr)
    return text + (" " + name if name else "")


class AutomationError(Exception):
    """A failed automation call. `hresult` is the call's result; with
    DISP_E_EXCEPTION, `scode` is the member's own failure (for MVComm a
    status such as -8201)."""

    def __init__(self, what, hresult, scode=0):
        self.hresult = hresult
        self.scode = scode
        text = "%s: %s" % (what, _describe(hresult))
        if scode:
            text += ", member failed: %s (%d)" % (_describe(scode), scode)
        super().__init__(text)


# ---- values ------------------------------------------------------------------------

_DATE_ZERO = datetime.datetime(1899, 12, 30)


def _date_from_datetime(value):
    if not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    days = (value.date() - _DATE_ZERO.date()).days
    seconds = value.hour * 3600 + value.minute * 60 + value.second + value.microsecond / 1e6
    fraction = seconds / 86400.0
    # Before the zero day the fraction still counts forward from midnight.
    return days - fraction if days < 0 else days + fraction


def _datetime_from_date(date):
    whole = math.trunc(date)
    fraction = abs(date - whole)
    ms = round(fraction * 86400000)
    return _DATE_ZERO + datetime.timedelta(days=whole, milliseconds=ms)


def _bstr(text):
    data = text.encode("utf-16-le")
    buf = ctypes.create_string_buffer(data, len(data) + 2)
    b = _library().SysAllocStringLen(ctypes.cast(buf, ctypes.c_void_p), len(data) // 2)
    if not b:
        raise MemoryError("no memory for a BSTR")
    return b


def _text(bstr):
    if not bstr:
        return ""
    n = _library().SysStringLen(bstr)
    return ctypes.string_at(bstr, n * 2).decode("utf-16-le", errors="replace")


def _to_variant(value, out):
    if value is None:
        out.vt = VT_NULL
    elif isinstance(value, bool):
        out.vt, out.v.boolVal = VT_BOOL, -1 if value else 0
    elif isinstance(value, int):
        if -2**31 <= value < 2**31:
            out.vt, out.v.lVal = VT_I4, value
        else:
            out.vt, out.v.dblVal = VT_R8, float(value)
    elif isinstance(value, float):
        out.vt, out.v.dblVal = VT_R8, value
    elif isinstance(value, str):
        out.v.bstrVal = _bstr(value)
        out.vt = VT_BSTR
    elif isinstance(value, (datetime.datetime, datetime.date)):
        out.vt, out.v.dblVal = VT_DATE, _date_from_datetime(value)
    else:
        raise TypeError("no automation type for %r" % type(value).__name__)


def _from_variant(v):
    vt = v.vt
    if vt in (VT_EMPTY, VT_NULL):
        return None
    if vt == VT_I2:
        return v.v.iVal
    if vt in (VT_I4, VT_INT):
        return v.v.lVal
    if vt in (VT_I8,):
        return v.v.llVal
    if vt in (VT_UI1, VT_I1):
        return v.v.bVal
    if vt in (VT_UI2,):
        return v.v.iVal & 0xFFFF
    if vt in (VT_UI4, VT_UINT):
        return v.v.lVal & 0xFFFFFFFF
    if vt == VT_R4:
        return v.v.fltVal
    if vt == VT_R8:
        return v.v.dblVal
    if vt == VT_BOOL:
        return v.v.boolVal != 0
    if vt == VT_BSTR:
        return _text(v.v.bstrVal)
    if vt == VT_DATE:
        return _datetime_from_date(v.v.dblVal)
    raise TypeError("no Python type for variant type %d" % vt)


# ---- calls through the interface table -----------------------------------------------

def _method(pointer, slot, restype, *argtypes):
    table = ctypes.cast(pointer, ctypes.POINTER(ctypes.POINTER(ctypes.c_void_p)))[0]
    return ctypes.CFUNCTYPE(restype, ctypes.c_void_p, *argtypes)(table[slot])


_GetIDsOfNames = (5, HRESULT, ctypes.POINTER(GUID), ctypes.POINTER(ctypes.c_void_p), ctypes.c_uint,
                  ctypes.c_uint32, ctypes.POINTER(ctypes.c_int32))
_Invoke = (6, HRESULT, ctypes.c_int32, ctypes.POINTER(GUID), ctypes.c_uint32, ctypes.c_uint16,
           ctypes.POINTER(DISPPARAMS), ctypes.POINTER(VARIANT), ctypes.POINTER(EXCEPINFO),
           ctypes.POINTER(ctypes.c_uint))


class _Method:
    def __init__(self, owner, name):
        self._owner, self._name = owner, name

    def __call__(self, *args):
        return self._owner._invoke(self._name, DISPATCH_METHOD, args)

    def __repr__(self):
        return "<automation method %s>" % self._name


class Dispatch:
    """An automation object created from its ProgID, or wrapped from a raw
    IDispatch pointer (whose reference it takes over)."""

    def __init__(self, progid=None, pointer=None):
        object.__setattr__(self, "_ids", {})
        object.__setattr__(self, "_methods", set())  # names found to be methods
        object.__setattr__(self, "_ptr", None)
        if pointer is None:
            pointer = self._create(progid)
        object.__setattr__(self, "_ptr", pointer)

    @staticmethod
    def _create(progid):
        lib = _library()
        clsid = GUID()
        name = ctypes.create_string_buffer((progid + "\0").encode("utf-16-le"))
        hr = lib.CLSIDFromProgID(ctypes.cast(name, ctypes.c_void_p), ctypes.byref(clsid))
        if hr < 0:
            raise AutomationError("CLSIDFromProgID(%s)" % progid, hr)
        out = ctypes.c_void_p()
        hr = lib.CoCreateInstance(ctypes.byref(clsid), None, CLSCTX_INPROC_SERVER,
                                  ctypes.byref(IID_IDispatch), ctypes.byref(out))
        if hr < 0:
            raise AutomationError("CoCreateInstance(%s)" % progid, hr)
        return out.value

    def close(self):
        """Releases the object now (otherwise when this wrapper is collected)."""
        if self._ptr:
            _method(self._ptr, 2, ctypes.c_uint32)(self._ptr)
            object.__setattr__(self, "_ptr", None)

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _live_pointer(self, name):
        if not self._ptr:
            raise AutomationError("%s on a closed object" % name, E_POINTER)
        return self._ptr

    def _dispid(self, name):
        self._live_pointer(name)  # also for a name whose id is known: a closed object has no members
        key = name.lower()
        if key in self._ids:
            return self._ids[key]
        wide = ctypes.create_string_buffer((name + "\0").encode("utf-16-le"))
        names = (ctypes.c_void_p * 1)(ctypes.cast(wide, ctypes.c_void_p).value)
        dispid = ctypes.c_int32(-1)
        hr = _method(self._ptr, *_GetIDsOfNames)(self._ptr, ctypes.byref(IID_NULL), names, 1,
                                                 LOCALE_EN_US, ctypes.byref(dispid))
        if hr < 0:
            raise AutomationError(name, hr)
        self._ids[key] = dispid.value
        return dispid.value

    def _invoke(self, name, flags, args):
        dispid = self._dispid(name)
        pointer = self._live_pointer(name)
        lib = _library()
        count = len(args)
        variants = (VARIANT * max(count, 1))()
        try:
            for i, value in enumerate(reversed(args)):  # Invoke takes the last first
                _to_variant(value, variants[i])
            params = DISPPARAMS(variants if count else None, None, count, 0)
            named = ctypes.c_int32(DISPID_PROPERTYPUT)
            if flags == DISPATCH_PROPERTYPUT:
                params.rgdispidNamedArgs = ctypes.pointer(named)
                params.cNamedArgs = 1
            result = VARIANT()
            info = EXCEPINFO()
            arg_err = ctypes.c_uint(0)
            hr = _method(pointer, *_Invoke)(pointer, dispid, ctypes.byref(IID_NULL), LOCALE_EN_US,
                                              flags, ctypes.byref(params), ctypes.byref(result),
                                              ctypes.byref(info), ctypes.byref(arg_err))
            for b in (info.bstrSource, info.bstrDescription, info.bstrHelpFile):
                lib.SysFreeString(b)
            try:
                if hr < 0:
                    raise AutomationError(name, hr, info.scode or info.wCode)
                return _from_variant(result)
            finally:
                lib.VariantClear(ctypes.byref(result))
        finally:
            for i in range(count):
                lib.VariantClear(ctypes.byref(variants[i]))

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        key = name.lower()
        if key in self._methods:
            return _Method(self, name)
        try:
            return self._invoke(name, DISPATCH_PROPERTYGET, ())
        except AutomationError as e:
            # A method asked for as a property: hand back something to call,
            # and remember, so the next call goes straight to Invoke.
            if (e.hresult & 0xFFFFFFFF) in (0x80020003, 0x8002000E):
                self._methods.add(key)
                return _Method(self, name)
            raise

    def __setattr__(self, name, value):
        if name.startswith("_"):
            raise AttributeError("cannot set %s" % name)
        self._invoke(name, DISPATCH_PROPERTYPUT, (value,))


def free_unused_libraries():
    """Unloads server modules that say they can go (CoFreeUnusedLibraries)."""
    _library().CoFreeUnusedLibraries()

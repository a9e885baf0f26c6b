// File: component/imvcomm.h
//
// IMVComm, the dual interface clients hold: IDispatch followed by the 23
// members in the virtual-table order of MVComm.idl (slots 7 to 29). The type
// information's Invoke calls these slots, so the order here and the order in
// the interface definition must stay the same.
#pragma once

#include "platform/ole/oaidl.h"

namespace mvcomm::component {

// {0F1C3F31-D181-4A5A-AA9A-6DE4B1A268B0}, the uuid of IMVComm in MVComm.idl.
inline constexpr IID IID_IMVComm = {0x0F1C3F31, 0xD181, 0x4A5A, {0xAA, 0x9A, 0x6D, 0xE4, 0xB1, 0xA2, 0x68, 0xB0}};

struct IMVComm : public IDispatch {
  STDMETHOD(put_commport)(SHORT value) PURE;                   // 7
  STDMETHOD(get_commport)(SHORT* argvalue) PURE;               // 8
  STDMETHOD(put_bautrate)(SHORT value) PURE;                   // 9
  STDMETHOD(get_bautrate)(SHORT* argvalue) PURE;               // 10
  STDMETHOD(get_errormessage)(BSTR* argvalue) PURE;            // 11
  STDMETHOD(get_errorcode)(LONG* argvalue) PURE;               // 12
  STDMETHOD(get_rsrows)(LONG* argvalue) PURE;                  // 13
  STDMETHOD(get_rsemployeeid)(LONG* argvalue) PURE;            // 14
  STDMETHOD(get_rsworkclass)(BSTR* argvalue) PURE;             // 15
  STDMETHOD(get_rscardedtime)(DATE* argvalue) PURE;            // 16
  STDMETHOD(get_rtrows)(LONG* argvalue) PURE;                  // 17
  STDMETHOD(get_rtemployeeid)(LONG* argvalue) PURE;            // 18
  STDMETHOD(get_rtcardid)(LONG* argvalue) PURE;                // 19
  STDMETHOD(put_receivedatatimelapse)(LONG value) PURE;        // 20
  STDMETHOD(get_receivedatatimelapse)(LONG* argvalue) PURE;    // 21
  STDMETHOD(setclock)(BSTR machinenum, DATE clock) PURE;       // 22
  STDMETHOD(moverecord)(LONG numrecord, LONG flag) PURE;       // 23
  STDMETHOD(readdata)(BSTR machinenum, DATE startdate, DATE enddate) PURE;  // 24
  STDMETHOD(cleardata)(BSTR machinenum) PURE;                  // 25
  STDMETHOD(rtbeginwrite)(LONG recordcount) PURE;              // 26
  STDMETHOD(rtwriterecord)(LONG numrecord, LONG employeeid, LONG cardid) PURE;  // 27
  STDMETHOD(readrefertable)(BSTR machinenum) PURE;             // 28
  STDMETHOD(writerefertable)(BSTR machinenum) PURE;            // 29

 protected:
  ~IMVComm() = default;
};

}  // namespace mvcomm::component

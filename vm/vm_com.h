// File: vm/vm_com.h
//
// The automation base the VM's products stand on: GUID, HRESULT and IUnknown
// from the platform's automation layer, and IDispatch for the automation
// interface of VM objects.
#pragma once

#include "platform/ole/oaidl.h"
#include "platform/ole/unknwn.h"
#include "platform/ole/winerror.h"
#include "platform/ole/wtypes.h"

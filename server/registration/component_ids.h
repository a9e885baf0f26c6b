// File: server/registration/component_ids.h
//
// The component's identity: type library, class MVComm, interface IMVComm
// and application identifiers. Chosen once; registry entries, stored type
// libraries and clients depend on them, so they never change.
// component/MVComm.idl carries the same values (its uuid attributes).
#pragma once

#include "platform/ole/wtypes.h"

namespace mvcomm::registration {

// {719FD99B-2836-423E-B549-75CBDC092206}
inline constexpr GUID kLibidMVComm = {0x719FD99B, 0x2836, 0x423E, {0xB5, 0x49, 0x75, 0xCB, 0xDC, 0x09, 0x22, 0x06}};
// {B17D7DC8-C9DA-4A37-A124-83D255E871A5}
inline constexpr GUID kClsidMVComm = {0xB17D7DC8, 0xC9DA, 0x4A37, {0xA1, 0x24, 0x83, 0xD2, 0x55, 0xE8, 0x71, 0xA5}};
// {0F1C3F31-D181-4A5A-AA9A-6DE4B1A268B0}
inline constexpr GUID kIidIMVComm = {0x0F1C3F31, 0xD181, 0x4A5A, {0xAA, 0x9A, 0x6D, 0xE4, 0xB1, 0xA2, 0x68, 0xB0}};
// {D8D6A02B-98C7-4E66-89F6-9BB731062B08}
inline constexpr GUID kAppidMVComm = {0xD8D6A02B, 0x98C7, 0x4E66, {0x89, 0xF6, 0x9B, 0xB7, 0x31, 0x06, 0x2B, 0x08}};

// The same identifiers as registry text.
inline constexpr char kLibidMVCommText[] = "{719FD99B-2836-423E-B549-75CBDC092206}";
inline constexpr char kClsidMVCommText[] = "{B17D7DC8-C9DA-4A37-A124-83D255E871A5}";
inline constexpr char kIidIMVCommText[] = "{0F1C3F31-D181-4A5A-AA9A-6DE4B1A268B0}";
inline constexpr char kAppidMVCommText[] = "{D8D6A02B-98C7-4E66-89F6-9BB731062B08}";

}  // namespace mvcomm::registration

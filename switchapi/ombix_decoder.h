// The decoder: one received datagram becomes one message object of the class that its dwMsgType
// selects (ombix_msg.h, ombix_events.h); a type it does not know becomes a bare COmbixMsg with
// nothing of the body read. No datagram is refused: missing fields read as 0 or empty.
//
// The element readers and the smallest encoded size of each kind of array element are shared with
// the protocol trace, which bounds its loops by the same counts.
#pragma once

#include <memory>

#include "platform/wintypes.h"
#include "switchapi/ombix_events.h"
#include "switchapi/ombix_msg.h"
#include "switchapi/ombix_wire.h"

// Smallest encoded size of each array element (every string empty).
inline constexpr DWORD kOmbixConnectionMinSize = 20;             // time, 2 strings, 2 u32
inline constexpr DWORD kOmbixMeetMeCallMinSize = 28;             // ObjectId, time, 2 strings, u32
inline constexpr DWORD kOmbixVoiceMailEntryMinSize = 24;         // u32, 2 strings, time, 2 u32
inline constexpr DWORD kOmbixRTPStatisticsMinSize = 60;          // 2 ObjectIds, string, 2 times,
                                                                 // string, 5 u32
inline constexpr DWORD kOmbixLineAppearanceMinSize = 12;         // 2 strings, u32
inline constexpr DWORD kOmbixDataInterfaceInstanceMinSize = 12;  // 3 strings
inline constexpr DWORD kOmbixDataByteSize = 1;                   // a data-interface data byte

// A new message object for the datagram (never null; a datagram shorter than its header reads as
// type 0). The caller owns it.
std::unique_ptr<COmbixMsg> DecodeMessage(const BYTE* pDatagram, DWORD dwLength);

// Element readers: every field in wire order, missing fields as 0 or empty.
void ReadConnection(COmbixReader& reader, COmbixConnection& connection);
void ReadMeetMeCall(COmbixReader& reader, COmbixMeetMeCall& call);
void ReadVoiceMailEntry(COmbixReader& reader, COmbixVoiceMailEntry& entry);

// Internal to the trace: the body layouts it knows, as field lists in wire order. Each field is
// read with the wire readers and printed in its style; the list kinds read and print their
// elements, taking their element count from the last Count field.
#pragma once

#include <span>

#include "platform/wintypes.h"

enum class OmbixField : BYTE {
  Number,          // "%24s: %d"
  Count,           // a Number that is also the count of the list field after it
  Named,           // the name of the value, by pfnName
  Selector,        // a Named that also chooses the MeetMe event's tail
  String,          // capacity 1024
  ObjectId,        // 12 bytes as six dotted groups of hex
  ClockTime,       // local "%H:%M:%S"
  DateTime,        // local time in asctime form
  CallOptions,     // CALL_OPTION_NONE or 0x%02X, then the set options
  Features,        // PHONE_FEATURES_* flag word
  CollectOptions,  // COLLECT_DIGITS_* flag word
  PromptOptions,   // PLAY_PROMPT_* flag word
  Connections,     // count (not printed) and the connections of a call-connection event
  LineAppearances,
  VoiceMailEntries,
  RtpEntries,
  StringList,  // strings with an empty label
  PhoneList,   // strings labelled strPhone
  EventList,   // "dwEvents" and the event types
  Instances,   // data-interface instances
  Hex,         // Count bytes as hex
  MeetMeTail,  // the call list, or the conference data when the selector was 4
};

struct OMBIXTRACEFIELD {
  OmbixField eKind;
  LPCSTR pszLabel;
  LPCSTR (*pfnName)(DWORD) = nullptr;  // Named and Selector only
};

using OmbixTraceLayout = std::span<const OMBIXTRACEFIELD>;

// The body layout of a received or a sent message type; FALSE when the trace knows none.
BOOL FindReceivedLayout(DWORD dwMsgType, OmbixTraceLayout& layout);
BOOL FindSentLayout(DWORD dwMsgType, OmbixTraceLayout& layout);

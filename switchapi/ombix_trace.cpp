#include "switchapi/ombix_trace.h"

#include <cstdarg>
#include <cstring>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_trace_layout.h"
#include "switchapi/ombix_values.h"

namespace {

// Room for the longest line: a data-interface instance, a label padded to 24 and three
// 1023-character strings with their separators and the newline (3102 characters).
constexpr std::size_t kLineSize = 4096;
// Strings are read with this capacity unless a layout says otherwise.
constexpr DWORD kStringCapacity = 1024;

struct FLAGNAME {
  DWORD dwBit;
  LPCSTR pszName;
};

// clang-format off
constexpr FLAGNAME kCallOptions[] = {
    {CALL_OPTION_NETWORK_PREFIX, "CALL_OPTION_NETWORK_PREFIX"}, {CALL_OPTION_URGENT, "CALL_OPTION_URGENT"},
    {CALL_OPTION_INTERCOM, "CALL_OPTION_INTERCOM"}, {CALL_OPTION_BLOCK_CALLERID, "CALL_OPTION_BLOCK_CALLERID"}};
// In the order the trace has always listed them, not by bit.
constexpr FLAGNAME kPhoneFeatures[] = {
    {PHONE_FEATURES_DO_NOT_DISTURB, "PHONE_FEATURES_DO_NOT_DISTURB"},
    {PHONE_FEATURES_CALL_FORWARD_ALL, "PHONE_FEATURES_CALL_FORWARD_ALL"},
    {PHONE_FEATURES_CALL_FORWARD_NO_ANSWER, "PHONE_FEATURES_CALL_FORWARD_NO_ANSWER"},
    {PHONE_FEATURES_CALL_FORWARD_BUSY, "PHONE_FEATURES_CALL_FORWARD_BUSY"},
    {PHONE_FEATURES_CALL_FORWARD_OUT_OF_SERVICE, "PHONE_FEATURES_CALL_FORWARD_OUT_OF_SERVICE"},
    {PHONE_FEATURES_VOICE_MAIL, "PHONE_FEATURES_VOICE_MAIL"},
    {PHONE_FEATURES_PARK, "PHONE_FEATURES_PARK"},
    {PHONE_FEATURES_ALTERNATE_CALL, "PHONE_FEATURES_ALTERNATE_CALL"},
    {PHONE_FEATURES_ANSWER_CALL, "PHONE_FEATURES_ANSWER_CALL"},
    {PHONE_FEATURES_DIAL_DIGITS, "PHONE_FEATURES_DIAL_DIGITS"},
    {PHONE_FEATURES_DROP_CONNECTION, "PHONE_FEATURES_DROP_CONNECTION"},
    {PHONE_FEATURES_HOLD_CALL, "PHONE_FEATURES_HOLD_CALL"},
    {PHONE_FEATURES_MAKE_CALL, "PHONE_FEATURES_MAKE_CALL"},
    {PHONE_FEATURES_PICKUP_CALL, "PHONE_FEATURES_PICKUP_CALL"},
    {PHONE_FEATURES_RECONNECT_CALL, "PHONE_FEATURES_RECONNECT_CALL"},
    {PHONE_FEATURES_REDIRECT_CALL, "PHONE_FEATURES_REDIRECT_CALL"},
    {PHONE_FEATURES_RETRIEVE_CALL, "PHONE_FEATURES_RETRIEVE_CALL"},
    {PHONE_FEATURES_TRANSFER, "PHONE_FEATURES_TRANSFER"},
    {PHONE_FEATURES_CONFERENCE, "PHONE_FEATURES_CONFERENCE"},
    {PHONE_FEATURES_SINGLE_STEP_TRANSFER, "PHONE_FEATURES_SINGLE_STEP_TRANSFER"},
    {PHONE_FEATURES_SINGLE_STEP_CONFERENCE, "PHONE_FEATURES_SINGLE_STEP_CONFERENCE"},
    {PHONE_FEATURES_SETUP_CONFERENCE, "PHONE_FEATURES_SETUP_CONFERENCE"},
    {PHONE_FEATURES_SETUP_TRANSFER, "PHONE_FEATURES_SETUP_TRANSFER"},
    {PHONE_FEATURES_SET_REMOTE_MODE, "PHONE_FEATURES_SET_REMOTE_MODE"},
    {PHONE_FEATURES_SET_RTP_STATISTICS_MODE, "PHONE_FEATURES_SET_RTP_STATISTICS_MODE"},
    {PHONE_FEATURES_CALL_RECORDING, "PHONE_FEATURES_CALL_RECORDING"},
    {PHONE_FEATURES_VIRTUAL_RING, "PHONE_FEATURES_VIRTUAL_RING"},
    {PHONE_FEATURES_VIDEO, "PHONE_FEATURES_VIDEO"}};
constexpr FLAGNAME kVoiceMailFlags[] = {
    {VOICEMAIL_MSG_FLAG_READ, "VOICEMAIL_MSG_FLAG_READ"},
    {VOICEMAIL_MSG_FLAG_FORWARDED, "VOICEMAIL_MSG_FLAG_FORWARDED"},
    {VOICEMAIL_MSG_FLAG_DELETED, "VOICEMAIL_MSG_FLAG_DELETED"},
    {VOICEMAIL_MSG_FLAG_IS_REPLY, "VOICEMAIL_MSG_FLAG_IS_REPLY"},
    {VOICEMAIL_MSG_FLAG_REPLIED, "VOICEMAIL_MSG_FLAG_REPLIED"},
    {VOICEMAIL_MSG_FLAG_PRIORITY, "VOICEMAIL_MSG_FLAG_PRIORITY"},
    {VOICEMAIL_MSG_FLAG_PRIVATE, "VOICEMAIL_MSG_FLAG_PRIVATE"},
    {VOICEMAIL_MSG_FLAG_RETURN_RECEIPT_REQUEST, "VOICEMAIL_MSG_FLAG_RETURN_RECEIPT_REQUEST"},
    {VOICEMAIL_MSG_FLAG_RETURN_RECEIPT, "VOICEMAIL_MSG_FLAG_RETURN_RECEIPT"}};
constexpr FLAGNAME kCollectOptions[] = {
    {COLLECT_DIGITS_FROM_SRC, "COLLECT_DIGITS_FROM_SRC"}, {COLLECT_DIGITS_FROM_DST, "COLLECT_DIGITS_FROM_DST"},
    {COLLECT_DIGITS_STOP_PROMPT, "COLLECT_DIGITS_STOP_PROMPT"}, {COLLECT_DIGITS_PASSTHRU, "COLLECT_DIGITS_PASSTHRU"}};
constexpr FLAGNAME kPromptOptions[] = {
    {PLAY_PROMPT_LOOP, "PLAY_PROMPT_LOOP"}, {PLAY_PROMPT_NON_BILLABLE, "PLAY_PROMPT_NON_BILLABLE"}};
// clang-format on

// The names are the trace's own, not the host's: a process that sets LC_TIME changes no line.
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum class TimeForm { Clock, DateTime };

// Local time as "hh:mm:ss", or as asctime writes it ("Thu Jan  1 00:00:00 1970\n"); empty
// when the time cannot be converted.
void FormatTime(OMBIXTIME t, TimeForm eForm, char* pszText, std::size_t cbText) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm;
  pszText[0] = '\0';
  if (localtime_r(&tt, &tm) == nullptr) return;
  if (eForm == TimeForm::Clock) {
    std::snprintf(pszText, cbText, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return;
  }
  if (tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 || tm.tm_mon > 11) return;
  std::snprintf(pszText, cbText, "%s %s %2d %02d:%02d:%02d %d\n", kDayNames[tm.tm_wday],
                kMonthNames[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                tm.tm_year + 1900);
}

// Reads and prints one body layout.
class CTraceDump {
 public:
  CTraceDump(COmbixTrace& trace, COmbixReader& reader) : m_trace(trace), m_reader(reader) {}

  void Run(OmbixTraceLayout layout) {
    for (const OMBIXTRACEFIELD& field : layout) Field(field);
  }

 private:
  void Field(const OMBIXTRACEFIELD& f);
  void Number(LPCSTR pszLabel) { Line(pszLabel, static_cast<int>(m_reader.ReadDword())); }
  void Line(LPCSTR pszLabel, int nValue) { m_trace.Trace("%24s: %d\n", pszLabel, nValue); }
  void Line(LPCSTR pszLabel, LPCSTR pszValue) { m_trace.Trace("%24s: %s\n", pszLabel, pszValue); }
  void String(LPCSTR pszLabel) {
    char szValue[kStringCapacity];
    m_reader.ReadString(szValue);
    Line(pszLabel, szValue);
  }
  void ClockTime(LPCSTR pszLabel) {
    char szText[16];
    FormatTime(m_reader.ReadTime(), TimeForm::Clock, szText, sizeof(szText));
    Line(pszLabel, szText);
  }
  void DateTime(LPCSTR pszLabel) {
    char szText[64];
    FormatTime(m_reader.ReadTime(), TimeForm::DateTime, szText, sizeof(szText));
    m_trace.Trace("%24s: %s", pszLabel, szText);
  }
  void FlagLines(DWORD dwValue, std::span<const FLAGNAME> names) {
    for (const FLAGNAME& flag : names) {
      if (dwValue & flag.dwBit) Line("", flag.pszName);
    }
  }
  void FlagWord(LPCSTR pszLabel, LPCSTR pszFormat, std::span<const FLAGNAME> names) {
    const DWORD dwValue = m_reader.ReadDword();
    char szValue[16];
    std::snprintf(szValue, sizeof(szValue), pszFormat, static_cast<unsigned>(dwValue));
    Line(pszLabel, szValue);
    FlagLines(dwValue, names);
  }
  void CallOptions(LPCSTR pszLabel) {
    const DWORD dwValue = m_reader.ReadDword();
    char szValue[16];
    std::snprintf(szValue, sizeof(szValue), "0x%02X", static_cast<unsigned>(dwValue));
    Line(pszLabel, dwValue == CALL_OPTION_NONE ? "CALL_OPTION_NONE" : szValue);
    FlagLines(dwValue, kCallOptions);
  }
  // The list count of the last Count field, bounded by what one datagram can hold.
  DWORD ListCount(DWORD dwMinElementSize) const {
    return OmbixBoundCount(m_dwCount, dwMinElementSize);
  }
  void Connections();
  void LineAppearances();
  void VoiceMailEntries();
  void RtpEntries();
  void MeetMeTail();
  void EventList(LPCSTR pszLabel);
  void Instances();

  COmbixTrace& m_trace;
  COmbixReader& m_reader;
  DWORD m_dwCount = 0;     // the last Count field
  DWORD m_dwSelector = 0;  // the last Selector field
};

void CTraceDump::Field(const OMBIXTRACEFIELD& f) {
  switch (f.eKind) {
    case OmbixField::Number:
      Number(f.pszLabel);
      break;
    case OmbixField::Count:
      m_dwCount = m_reader.ReadDword();
      Line(f.pszLabel, static_cast<int>(m_dwCount));
      break;
    case OmbixField::Named:
      Line(f.pszLabel, f.pfnName(m_reader.ReadDword()));
      break;
    case OmbixField::Selector:
      m_dwSelector = m_reader.ReadDword();
      Line(f.pszLabel, f.pfnName(m_dwSelector));
      break;
    case OmbixField::String:
      String(f.pszLabel);
      break;
    case OmbixField::ObjectId:
      m_trace.TraceObjectId(m_reader, f.pszLabel);
      break;
    case OmbixField::ClockTime:
      ClockTime(f.pszLabel);
      break;
    case OmbixField::DateTime:
      DateTime(f.pszLabel);
      break;
    case OmbixField::CallOptions:
      CallOptions(f.pszLabel);
      break;
    case OmbixField::Features:
      FlagWord(f.pszLabel, "0x%08X", kPhoneFeatures);
      break;
    case OmbixField::CollectOptions:
      FlagWord(f.pszLabel, "0x%02X", kCollectOptions);
      break;
    case OmbixField::PromptOptions:
      FlagWord(f.pszLabel, "0x%08X", kPromptOptions);
      break;
    case OmbixField::Connections:
      Connections();
      break;
    case OmbixField::LineAppearances:
      LineAppearances();
      break;
    case OmbixField::VoiceMailEntries:
      VoiceMailEntries();
      break;
    case OmbixField::RtpEntries:
      RtpEntries();
      break;
    case OmbixField::StringList:
      for (DWORD i = 0; i < ListCount(kOmbixStringMinSize); ++i) String("");
      break;
    case OmbixField::PhoneList:
      for (DWORD i = 0; i < ListCount(kOmbixStringMinSize); ++i) String(f.pszLabel);
      break;
    case OmbixField::EventList:
      EventList(f.pszLabel);
      break;
    case OmbixField::Instances:
      Instances();
      break;
    case OmbixField::Hex:
      m_trace.TraceHex(m_reader, m_dwCount, f.pszLabel);
      break;
    case OmbixField::MeetMeTail:
      MeetMeTail();
      break;
  }
}

void CTraceDump::Connections() {
  m_dwCount = m_reader.ReadDword();  // read, not printed
  for (DWORD i = 0; i < ListCount(kOmbixConnectionMinSize); ++i) {
    char szTime[16];
    FormatTime(m_reader.ReadTime(), TimeForm::Clock, szTime, sizeof(szTime));
    char szNumber[32];
    m_reader.ReadString(szNumber);
    char szName[64];
    m_reader.ReadString(szName);
    const DWORD dwDeviceType = m_reader.ReadDword();
    const LONG lState = static_cast<LONG>(m_reader.ReadDword());
    char szLabel[32];
    std::snprintf(szLabel, sizeof(szLabel), "Connection%d", static_cast<int>(i));
    m_trace.Trace("%24s: %s/%s/%s/%s/%s\n", szLabel, szTime, szNumber,
                  szName[0] != '\0' ? szName : "Unknown", DeviceTypeName(dwDeviceType),
                  ConnectionStateName(lState));
  }
}

void CTraceDump::LineAppearances() {
  for (DWORD i = 0; i < ListCount(kOmbixLineAppearanceMinSize); ++i) {
    char szNumber[32];
    m_reader.ReadString(szNumber);
    char szName[64];
    m_reader.ReadString(szName);
    const DWORD dwDeviceType = m_reader.ReadDword();
    char szLabel[32];
    std::snprintf(szLabel, sizeof(szLabel), "LineAppearance%d", static_cast<int>(i));
    m_trace.Trace("%24s: %s/%s/%s\n", szLabel, szNumber, szName[0] != '\0' ? szName : "Unknown",
                  DeviceTypeName(dwDeviceType));
  }
}

void CTraceDump::VoiceMailEntries() {
  for (DWORD i = 0; i < ListCount(kOmbixVoiceMailEntryMinSize); ++i) {
    Line("", "");
    Number("dwMsgID");
    String("strNumber");
    String("strName");
    DateTime("tTime");
    const DWORD dwSeconds = m_reader.ReadDword();
    m_trace.Trace("%24s: %02d:%02d\n", "dwDuration", static_cast<int>(dwSeconds / 60),
                  static_cast<int>(dwSeconds % 60));
    const DWORD dwFlags = m_reader.ReadDword();
    m_trace.Trace("%24s: 0x%02X\n", "dwFlags", static_cast<unsigned>(dwFlags));
    FlagLines(dwFlags, kVoiceMailFlags);
  }
}

void CTraceDump::RtpEntries() {
  for (DWORD i = 0; i < ListCount(kOmbixRTPStatisticsMinSize); ++i) {
    m_trace.Trace("\n");
    m_trace.TraceObjectId(m_reader, "oidCall");
    m_trace.TraceObjectId(m_reader, "oidEnd");
    String("strNumber");
    DateTime("tBeginTime");
    DateTime("tEndTime");
    String("strCodec");
    for (LPCSTR pszLabel :
         {"dwPacketsSent", "dwPacketsReceived", "dwPacketsLost", "dwJitter", "dwAvgLatency"}) {
      Number(pszLabel);
    }
  }
}

void CTraceDump::MeetMeTail() {
  if (m_dwSelector == MEETME_CONF_MODIFIED) {
    DateTime("dwStartTime");
    Number("dwDuration");
    Number("dwPorts");
    Number("dwMaxPortsJoined");
    String("strTopic");
    Number("dwLocked");
    return;
  }
  m_dwCount = m_reader.ReadDword();
  Line("dwCalls", static_cast<int>(m_dwCount));
  for (DWORD i = 0; i < ListCount(kOmbixMeetMeCallMinSize); ++i) {
    m_trace.Trace("\n");
    char szLabel[32];
    std::snprintf(szLabel, sizeof(szLabel), "Call %d", static_cast<int>(i));
    Line(szLabel, "");
    m_trace.TraceObjectId(m_reader, "m_oidCall");
    DateTime("tConnect");
    String("strCallerID");
    String("strCallerInfo");
    Number("dwState");
  }
}

void CTraceDump::EventList(LPCSTR pszLabel) {
  Line(pszLabel, "");
  for (DWORD i = 0; i < ListCount(kOmbixDwordSize); ++i) {
    const DWORD dwType = m_reader.ReadDword();
    char szValue[16];
    std::snprintf(szValue, sizeof(szValue), "0x%02X", static_cast<unsigned>(dwType));
    const BOOL bNamed = dwType >= OMBIX_AGENT_EVENT && dwType <= OMBIX_CLIENT_MONITOR_EVENT;
    Line("", bNamed ? MessageTypeName(dwType) : szValue);
  }
}

void CTraceDump::Instances() {
  for (DWORD i = 0; i < ListCount(kOmbixDataInterfaceInstanceMinSize); ++i) {
    char szFirst[kStringCapacity];
    m_reader.ReadString(szFirst);
    char szSecond[kStringCapacity];
    m_reader.ReadString(szSecond);
    char szThird[kStringCapacity];
    m_reader.ReadString(szThird);
    char szLabel[32];
    std::snprintf(szLabel, sizeof(szLabel), "Instance[%d]", static_cast<int>(i));
    m_trace.Trace("%24s: %s / %s / %s\n", szLabel, szFirst, szSecond, szThird);
  }
}

}  // namespace

void COmbixTrace::Trace(LPCSTR pszFormat, ...) {
  char szLine[kLineSize];
  va_list args;
  va_start(args, pszFormat);
  std::vsnprintf(szLine, sizeof(szLine), pszFormat, args);
  va_end(args);
  if ((GetFlags() & kOmbixTracePrint) != 0 && m_pOutput != nullptr) std::fputs(szLine, m_pOutput);
}

void COmbixTrace::TraceReceived(const BYTE* pDatagram, DWORD dwLength) {
  TraceDatagram(pDatagram, dwLength, FALSE);
}

void COmbixTrace::TraceSent(const BYTE* pDatagram, DWORD dwLength) {
  TraceDatagram(pDatagram, dwLength, TRUE);
}

void COmbixTrace::TraceHex(COmbixReader& reader, DWORD dwCount, LPCSTR pszLabel) {
  dwCount = OmbixBoundCount(dwCount, kOmbixDataByteSize);
  BOOL bFirst = TRUE;
  for (DWORD dwDone = 0; dwDone < dwCount; bFirst = FALSE) {
    char szLine[128] = "";
    std::size_t cch = 0;
    for (DWORD i = 0; i < 16 && dwDone < dwCount; ++i, ++dwDone) {
      BYTE b;
      reader.ReadBytes(&b, 1);
      cch += std::snprintf(szLine + cch, sizeof(szLine) - cch, "%02X ", b);
    }
    Trace("%24s: %s\n", bFirst ? pszLabel : "", szLine);
  }
}

void COmbixTrace::TraceObjectId(COmbixReader& reader, LPCSTR pszLabel) {
  ObjectId oid = {};
  reader.ReadObjectId(oid);
  const BYTE* b = oid.abId;
  Trace("%24s: %02X%02X.%02X%02X.%02X%02X.%02X%02X.%02X%02X.%02X%02X\n", pszLabel, b[0], b[1], b[2],
        b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11]);
}

void COmbixTrace::TraceDatagram(const BYTE* pDatagram, DWORD dwLength, BOOL bSent) {
  const DWORD dwFlags = GetFlags();
  if ((dwFlags & kOmbixTraceDumps) == 0) return;
  COmbixReader reader(pDatagram, dwLength);
  const DWORD dwMsgSeq = reader.ReadDword();
  const DWORD dwMsgType = reader.ReadDword();
  if ((dwMsgType == OMBIX_ACK && (dwFlags & kOmbixTraceAcks) == 0) ||
      (dwMsgType == OMBIX_PING && (dwFlags & kOmbixTracePings) == 0)) {
    return;
  }

  CSingleLock lock(&m_csTrace, TRUE);
  char szNow[16];
  FormatTime(m_pfnNow != nullptr ? m_pfnNow() : std::time(nullptr), TimeForm::Clock, szNow,
             sizeof(szNow));
  Trace("%s: %s %4d bytes ----------------------------------------------------\n\n", szNow,
        bSent ? "Send" : "Recv", static_cast<int>(dwLength));
  Trace("%24s: %d\n", "dwMsgSeq", static_cast<int>(dwMsgSeq));
  Trace("%24s: %s\n", "dwMsgType", MessageTypeName(dwMsgType));
  OmbixTraceLayout layout;
  if (bSent ? FindSentLayout(dwMsgType, layout) : FindReceivedLayout(dwMsgType, layout)) {
    CTraceDump dump(*this, reader);
    dump.Run(layout);
  } else {
    Trace("Unrecognized OmbixAPI message!\n");
  }
  Trace("\n\n");
}

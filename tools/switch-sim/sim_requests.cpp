// What the sim reads from requests and writes into its answers.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "switchapi/ombix_wire.h"
#include "tools/switch-sim/sim_state.h"

namespace {

using Kind = SimField::Kind;

struct FieldSpec {
  const char* pszName;
  Kind kind;
};

struct RequestLayout {
  DWORD dwType;
  std::initializer_list<FieldSpec> fields;
};

constexpr Kind S = Kind::kString;
constexpr Kind D = Kind::kDword;
constexpr Kind O = Kind::kObjectId;

// The wire format keeps a monitor's device name in 32 characters with its terminator.
constexpr std::size_t kDeviceNameKept = 31;

// The requests the client sends, fields after dwInvokeID in wire order.
const RequestLayout kLayouts[] = {
    {OMBIX_ALTERNATE_CALL_REQ, {{"strDevice", S}, {"oidActiveCall", O}, {"oidOtherCall", O}}},
    {OMBIX_ANSWER_CALL_REQ, {{"strDevice", S}, {"oidCall", O}, {"strPhone", S}}},
    {OMBIX_COMPLETE_TRANSFER_REQ, {{"strDevice", S}, {"oidActiveCall", O}, {"oidHeldCall", O}}},
    {OMBIX_DIAL_DIGITS_REQ, {{"strDevice", S}, {"oidCall", O}, {"strDigits", S}}},
    {OMBIX_DROP_CONNECTION_REQ, {{"strDevice", S}, {"oidCall", O}, {"dwReason", D}}},
    {OMBIX_HOLD_CALL_REQ, {{"strDevice", S}, {"oidCall", O}, {"strPhone", S}}},
    {OMBIX_LOGIN_REQ, {{"strAPIVersion", S}, {"strClient", S}, {"strClientVersion", S}}},
    {OMBIX_MAKE_CALL_REQ, {{"strDevice", S}, {"strNumber", S}, {"dwOptions", D}, {"strPhone", S}}},
    {OMBIX_MONITOR_START_REQ, {{"strDID", S}, {"strPassword", S}, {"strNewPassword", S}}},
    {OMBIX_MONITOR_STOP_REQ, {{"strDevice", S}}},
    {OMBIX_PARK_CALL_REQ, {{"strDevice", S}, {"oidCall", O}, {"dwAutoComplete", D}}},
    {OMBIX_PICKUP_CALL_REQ, {{"strDevice", S}, {"strFromDevice", S}, {"strPhone", S}}},
    {OMBIX_QUERY_PHONE_STATE_REQ, {{"strAgent", S}, {"strPhone", S}}},
    {OMBIX_REDIRECT_CALL_REQ,
     {{"strDevice", S}, {"oidCall", O}, {"dwRedirectTo", D}, {"strDigits", S}, {"dwOptions", D}}},
    {OMBIX_RETRIEVE_CALL_REQ, {{"strDevice", S}, {"oidCall", O}, {"strPhone", S}}},
    {OMBIX_SET_CALL_FORWARDING_REQ, {{"strDevice", S}, {"dwForwardMode", D}, {"strForwardTo", S}}},
    {OMBIX_SET_DO_NOT_DISTURB_REQ, {{"strDevice", S}, {"dwOn", D}, {"strPhone", S}}},
    {OMBIX_SETUP_TRANSFER_REQ,
     {{"strDevice", S}, {"oidCall", O}, {"strNumber", S}, {"dwOptions", D}}},
    {OMBIX_SETUP_CONFERENCE_REQ,
     {{"strDevice", S}, {"oidCall", O}, {"strNumber", S}, {"dwOptions", D}}},
    {OMBIX_SINGLE_STEP_TRANSFER_REQ,
     {{"strDevice", S}, {"oidCall", O}, {"strNumber", S}, {"dwOptions", D}}},
    {OMBIX_GET_CALL_FORWARDING_REQ, {{"strDevice", S}}},
    {OMBIX_CONFERENCE_CALL_REQ, {{"strDevice", S}, {"oidActiveCall", O}, {"oidOtherCall", O}}},
    {OMBIX_DROP_CONFERENCE_CONNECTION_REQ,
     {{"strDevice", S}, {"oidCall", O}, {"strDropDevice", S}}},
    {OMBIX_QUERY_PHONE_CONFIG_REQ, {{"strAgent", S}, {"strPhone", S}}},
};

// The whole string, unlike COmbixReader::ReadString, which cuts to a buffer; one that runs past
// the end of the datagram reads as empty, as the codec reads it.
std::string ReadWholeString(COmbixReader& reader) {
  const DWORD dwLength = reader.ReadDword();
  if (dwLength == 0 || dwLength > reader.GetRemaining()) return {};
  std::string str(dwLength, '\0');
  reader.ReadBytes(reinterpret_cast<BYTE*>(str.data()), dwLength);
  return str;
}

ObjectId CallObjectId(DWORD dwCallNumber) {
  ObjectId oid{};
  for (int i = 0; i < 4; ++i) oid.abId[8 + i] = static_cast<BYTE>(dwCallNumber >> (24 - 8 * i));
  return oid;
}

// The fields after dwError of the responses that carry more than a result, with empty values:
// D a u32 (or a time), S an empty string, O a zero ObjectId, N an empty counted array.
struct ResponseFields {
  DWORD dwType;
  const char* pszFields;
};

const ResponseFields kResponseFields[] = {
    {OMBIX_GET_CALL_DATA_RSP, "OSSD"},
    {OMBIX_SET_CALL_DATA_RSP, "OSSD"},
    {OMBIX_GET_REMOTE_MODE_RSP, "SDDD"},
    {OMBIX_QUERY_RTP_STATISTICS_RSP, "N"},
    {OMBIX_VOICE_MAIL_RSP, "DDDDDN"},
    {OMBIX_PLAY_PROMPT_RSP, "SS"},
    {OMBIX_VALIDATE_PROMPT_RSP, "SS"},
    {OMBIX_COLLECT_DIGITS_RSP, "S"},
    {OMBIX_QUERY_AGENT_LIST_RSP, "DDN"},
    {OMBIX_GET_EVENT_FILTER_RSP, "N"},
    {OMBIX_SET_EVENT_FILTER_RSP, "N"},
    {OMBIX_QUERY_AGENT_STATS_RSP, "SDDSDDDDDDDDDDDDDDDDD"},
    {OMBIX_QUERY_SECONDARY_PHONES_RSP, "N"},
    {OMBIX_GET_PERSONAL_DIRECTORY_RSP, "DDN"},
    {OMBIX_GET_GLOBAL_DIRECTORY_RSP, "DDN"},
    {OMBIX_GET_APPLICATION_DATA_RSP, "SS"},
    {OMBIX_DATA_INTERFACE_QUERY_RSP, "SSN"},
    {OMBIX_MEETME_DROP_CALL_RSP, "D"},
    {OMBIX_MEETME_LOCK_RSP, "D"},
    {OMBIX_MEETME_MODIFY_RSP, "D"},
    {OMBIX_MEETME_MUTE_RSP, "D"},
    {OMBIX_MEETME_ROLL_CALL_RSP, "D"},
    {OMBIX_MEETME_SET_CALL_INFO_RSP, "D"},
    {OMBIX_MEETME_MONITOR_START_RSP, "DD"},
    {OMBIX_MEETME_QUERY_RSP, "DDDDDDSSD"},
};

void WriteEmptyFields(COmbixWriter& w, DWORD dwResponseType) {
  for (const ResponseFields& entry : kResponseFields) {
    if (entry.dwType != dwResponseType) continue;
    for (const char* p = entry.pszFields; *p != '\0'; ++p) {
      if (*p == 'S') {
        w.WriteString("");
      } else if (*p == 'O') {
        w.WriteObjectId(ObjectId{});
      } else {
        w.WriteDword(0);  // a u32, a time, or the count of an empty array
      }
    }
    return;
  }
}

std::vector<BYTE> Finish(const BYTE* pBuffer, const COmbixWriter& writer) {
  return std::vector<BYTE>(pBuffer, pBuffer + writer.GetLength());
}

}  // namespace

std::vector<SimField> DecodeRequestFields(DWORD dwMsgType, const BYTE* pData, DWORD dwLength) {
  std::vector<SimField> fields;
  for (const RequestLayout& layout : kLayouts) {
    if (layout.dwType != dwMsgType) continue;
    COmbixReader reader(pData, dwLength, kOmbixHeaderSize + kOmbixDwordSize);
    for (const FieldSpec& spec : layout.fields) {
      SimField field;
      field.strName = spec.pszName;
      field.kind = spec.kind;
      switch (spec.kind) {
        case Kind::kDword:
          field.dwValue = reader.ReadDword();
          break;
        case Kind::kString:
          field.strValue = ReadWholeString(reader);
          break;
        case Kind::kObjectId:
          reader.ReadObjectId(field.oidValue);
          break;
      }
      fields.push_back(std::move(field));
    }
    break;
  }
  return fields;
}

bool IsRequestType(DWORD dwMsgType) {
  if (dwMsgType % 2 != 0) return false;
  if (dwMsgType == 276 || dwMsgType == 364) return false;  // unassigned
  return (dwMsgType >= 256 && dwMsgType <= 368) || (dwMsgType >= 512 && dwMsgType <= 528) ||
         (dwMsgType >= 768 && dwMsgType <= 788);
}

std::vector<BYTE> BuildResponseBody(DWORD dwRequestType, const SimReceived& request, DWORD dwError,
                                    SwitchSimState& state) {
  BYTE buffer[kOmbixMaxBody];
  COmbixWriter w(buffer, sizeof(buffer));
  if (!IsRequestType(dwRequestType)) {
    // Whatever the message is, its first field stands where a request's dwInvokeID stands.
    return BuildFailureRspBody(
        COmbixReader(request.body.data(), static_cast<DWORD>(request.body.size()), 0).ReadDword(),
        OMBIX_ERROR_INVALID_MSG_TYPE);
  }
  w.WriteDword(dwRequestType + 1);
  w.WriteDword(request.dwInvokeID);
  w.WriteDword(dwError);
  switch (dwRequestType + 1) {
    case OMBIX_MAKE_CALL_RSP:
    case OMBIX_SETUP_TRANSFER_RSP:
    case OMBIX_SETUP_CONFERENCE_RSP:
    case OMBIX_MAKE_AUTODIAL_CALL_RSP:
      w.WriteObjectId(dwError == 0 ? CallObjectId(state.dwNextCallNumber++) : ObjectId{});
      break;
    case OMBIX_MONITOR_START_RSP:
    case OMBIX_MONITOR_START_SECURE_RSP:
      w.WriteDword(dwError == 0 ? state.dwNextMonitorID++ : 0);
      w.WriteString(request.Str("strDID").substr(0, kDeviceNameKept).c_str());
      w.WriteDword(DEVICE_TYPE_PHONE);
      if (dwRequestType + 1 == OMBIX_MONITOR_START_SECURE_RSP) w.WriteString("");
      break;
    case OMBIX_GET_CALL_FORWARDING_RSP:
      for (int i = 0; i < 4; ++i) w.WriteString("");
      break;
    case OMBIX_QUERY_PHONE_CONFIG_RSP:
      w.WriteString("switch-sim");
      w.WriteDword(4);                              // dwMaxCalls
      w.WriteDword(3);                              // dwConfLimit
      for (int i = 0; i < 3; ++i) w.WriteDword(0);  // dwFeatures, dwFeaturesEx, dwTimeZone
      w.WriteDword(0);                              // no line appearances
      w.WriteString("");                            // strPhonePassword
      w.WriteString(request.Str("strPhone").c_str());
      break;
    default:
      WriteEmptyFields(w, dwRequestType + 1);
      break;
  }
  return Finish(buffer, w);
}

std::vector<BYTE> BuildLoginRspBody(DWORD dwError, const SimReceived& login) {
  BYTE buffer[kOmbixMaxBody];
  COmbixWriter w(buffer, sizeof(buffer));
  w.WriteDword(OMBIX_LOGIN_RSP);
  w.WriteDword(login.dwInvokeID);
  w.WriteDword(dwError);
  w.WriteString(kOmbixApiVersion);
  w.WriteString("switch-sim");
  w.WriteString("");                                     // strMinimumClientVersion
  w.WriteString(login.Str("strClientVersion").c_str());  // strCurrentClientVersion
  return Finish(buffer, w);
}

std::vector<BYTE> BuildFailureRspBody(DWORD dwInvokeID, DWORD dwError) {
  BYTE buffer[3 * kOmbixDwordSize];
  COmbixWriter w(buffer, sizeof(buffer));
  w.WriteDword(OMBIX_FAILURE_RSP);
  w.WriteDword(dwInvokeID);
  w.WriteDword(dwError);
  return Finish(buffer, w);
}

bool ParseRequestType(const std::string& strText, DWORD& dwType) {
  if (!strText.empty() && strText.find_first_not_of("0123456789") == std::string::npos) {
    dwType = static_cast<DWORD>(std::strtoul(strText.c_str(), nullptr, 10));
    return strText.size() <= 4 && IsRequestType(dwType);
  }
  std::string strName;
  for (char c : strText) strName += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (strName.rfind("OMBIX_", 0) != 0) strName = "OMBIX_" + strName;
  if (strName.size() < 4 || strName.compare(strName.size() - 4, 4, "_REQ") != 0) strName += "_REQ";
  for (DWORD dwCandidate = 0; dwCandidate < 1024; ++dwCandidate) {
    if (IsRequestType(dwCandidate) && strName == MessageTypeName(dwCandidate)) {
      dwType = dwCandidate;
      return true;
    }
  }
  return false;
}

std::string FormatEndpoint(const SimEndpoint& peer) {
  return std::to_string(peer.dwAddr >> 24) + "." + std::to_string((peer.dwAddr >> 16) & 0xFF) +
         "." + std::to_string((peer.dwAddr >> 8) & 0xFF) + "." +
         std::to_string(peer.dwAddr & 0xFF) + ":" + std::to_string(peer.wPort);
}

const SimField* SimReceived::Find(std::string_view name) const {
  for (const SimField& field : fields) {
    if (field.strName == name) return &field;
  }
  return nullptr;
}

std::string SimReceived::Str(std::string_view name) const {
  const SimField* pField = Find(name);
  return pField ? pField->strValue : std::string();
}

DWORD SimReceived::Dword(std::string_view name) const {
  const SimField* pField = Find(name);
  return pField ? pField->dwValue : 0;
}

ObjectId SimReceived::Oid(std::string_view name) const {
  const SimField* pField = Find(name);
  return pField ? pField->oidValue : ObjectId{};
}

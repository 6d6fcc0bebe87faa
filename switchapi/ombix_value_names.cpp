// The value-to-name operations: one selection per value set. The decimal fallback goes into a
// buffer of the operation and the calling thread, so concurrent traces never overwrite each
// other's text.
#include <cstdio>

#include "switchapi/ombix_values.h"

namespace {

// Formats the fallback of one operation; each operation passes its own thread-local buffer.
LPCSTR Decimal(char (&szBuffer)[32], LONG lValue) {
  std::snprintf(szBuffer, sizeof(szBuffer), "%d", static_cast<int>(lValue));
  return szBuffer;
}

}  // namespace

LPCSTR AgentStateName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case AGENT_UNKNOWN: return "AGENT_UNKNOWN";
    case AGENT_LOGIN: return "AGENT_LOGIN";
    case AGENT_READY: return "AGENT_READY";
    case AGENT_NOT_READY: return "AGENT_NOT_READY";
    case AGENT_ALERTING: return "AGENT_ALERTING";
    case AGENT_CONNECTED: return "AGENT_CONNECTED";
    case AGENT_OTHER_ACD: return "AGENT_OTHER_ACD";
    case AGENT_OTHER_IN: return "AGENT_OTHER_IN";
    case AGENT_OTHER_OUT: return "AGENT_OTHER_OUT";
    case AGENT_DND: return "AGENT_DND";
    case AGENT_LOGOUT: return "AGENT_LOGOUT";
    case AGENT_SUPERVISOR: return "AGENT_SUPERVISOR";
    case AGENT_WRAP: return "AGENT_WRAP";
    case AGENT_DIRECT: return "AGENT_DIRECT";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR ForwardModeName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case CALL_FORWARD_ALL: return "CALL_FORWARD_ALL";
    case CALL_FORWARD_BUSY: return "CALL_FORWARD_BUSY";
    case CALL_FORWARD_NO_ANSWER: return "CALL_FORWARD_NO_ANSWER";
    case CALL_FORWARD_OUT_OF_SERVICE: return "CALL_FORWARD_OUT_OF_SERVICE";
  }
  // clang-format on
  return "UNKNOWN";
}

LPCSTR ClientMonitorEventName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case CLIENT_MONITOR_START: return "CLIENT_MONITOR_START";
    case CLIENT_MONITOR_STOP: return "CLIENT_MONITOR_STOP";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR CallConnectionEventName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case CALL_CONNECTION_LIST: return "CALL_CONNECTION_LIST";
    case CALL_CONNECTION_INITIATED: return "CALL_CONNECTION_INITIATED";
    case CALL_CONNECTION_ATTEMPTING: return "CALL_CONNECTION_ATTEMPTING";
    case CALL_CONNECTION_ALERTING: return "CALL_CONNECTION_ALERTING";
    case CALL_CONNECTION_ESTABLISHED: return "CALL_CONNECTION_ESTABLISHED";
    case CALL_CONNECTION_HELD: return "CALL_CONNECTION_HELD";
    case CALL_CONNECTION_RETRIEVED: return "CALL_CONNECTION_RETRIEVED";
    case CALL_CONNECTION_IDLED: return "CALL_CONNECTION_IDLED";
    case CALL_CONNECTION_CONFERENCED: return "CALL_CONNECTION_CONFERENCED";
    case CALL_CONNECTION_TRANSFERRED: return "CALL_CONNECTION_TRANSFERRED";
    case CALL_CONNECTION_QUEUED: return "CALL_CONNECTION_QUEUED";
    case CALL_CONNECTION_REDIRECTED: return "CALL_CONNECTION_REDIRECTED";
    case CALL_CONNECTION_FAILED: return "CALL_CONNECTION_FAILED";
    case CALL_CONNECTION_PASSIVE: return "CALL_CONNECTION_PASSIVE";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR ConnectionStateName(LONG lValue) {
  // clang-format off
  switch (lValue) {
    case CS_UNKNOWN: return "CS_UNKNOWN";
    case CS_IDLE: return "CS_IDLE";
    case CS_DIALING: return "CS_DIALING";
    case CS_ALERTING: return "CS_ALERTING";
    case CS_ATTEMPTING: return "CS_ATTEMPTING";
    case CS_CONNECTED: return "CS_CONNECTED";
    case CS_HELD: return "CS_HELD";
    case CS_QUEUED: return "CS_QUEUED";
    case CS_FAILED: return "CS_FAILED";
    case CS_PASSIVE: return "CS_PASSIVE";
    case CS_REMOTE_IDLE: return "CS_REMOTE_IDLE";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(lValue));
}

LPCSTR DeviceTypeName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case DEVICE_TYPE_UNKNOWN: return "DEVICE_TYPE_UNKNOWN";
    case DEVICE_TYPE_EXTERNAL: return "DEVICE_TYPE_EXTERNAL";
    case DEVICE_TYPE_INTERNAL: return "DEVICE_TYPE_INTERNAL";
    case DEVICE_TYPE_PHONE: return "DEVICE_TYPE_PHONE";
    case DEVICE_TYPE_QUEUE: return "DEVICE_TYPE_QUEUE";
    case DEVICE_TYPE_AGENT: return "DEVICE_TYPE_AGENT";
    case DEVICE_TYPE_ROUTE_POINT: return "DEVICE_TYPE_ROUTE_POINT";
    case DEVICE_TYPE_MEETME_CONF: return "DEVICE_TYPE_MEETME_CONF";
    case DEVICE_TYPE_PARK: return "DEVICE_TYPE_PARK";
    case DEVICE_TYPE_PRIVACY_GUARD: return "DEVICE_TYPE_PRIVACY_GUARD";
    case DEVICE_TYPE_VOICEMAIL: return "DEVICE_TYPE_VOICEMAIL";
    case DEVICE_TYPE_MAIN_LINE: return "DEVICE_TYPE_MAIN_LINE";
    case DEVICE_TYPE_BLF_LINE: return "DEVICE_TYPE_BLF_LINE";
    case DEVICE_TYPE_CONFERENCE_ROOM: return "DEVICE_TYPE_CONFERENCE_ROOM";
    case DEVICE_TYPE_INTERCOM_GROUP: return "DEVICE_TYPE_INTERCOM_GROUP";
    case DEVICE_TYPE_MSLA: return "DEVICE_TYPE_MSLA";
    case DEVICE_TYPE_DASG: return "DEVICE_TYPE_DASG";
    case DEVICE_TYPE_HUNT_GROUP: return "DEVICE_TYPE_HUNT_GROUP";
    case DEVICE_TYPE_ANNOUNCEMENT: return "DEVICE_TYPE_ANNOUNCEMENT";
    case DEVICE_TYPE_NUMBER_PLAN: return "DEVICE_TYPE_NUMBER_PLAN";
    case DEVICE_TYPE_TIME_REDIRECT: return "DEVICE_TYPE_TIME_REDIRECT";
    case DEVICE_TYPE_DIRECTORY: return "DEVICE_TYPE_DIRECTORY";
    case DEVICE_TYPE_PHONE_CONFIG: return "DEVICE_TYPE_PHONE_CONFIG";
    case DEVICE_TYPE_FANOUT: return "DEVICE_TYPE_FANOUT";
    case DEVICE_TYPE_BROADCAST: return "DEVICE_TYPE_BROADCAST";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR ErrorName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case OMBIX_ERROR_INVALID_PASSWORD: return "OMBIX_ERROR_INVALID_PASSWORD";
    case OMBIX_ERROR_INVALID_DEVICE: return "OMBIX_ERROR_INVALID_DEVICE";
    case OMBIX_ERROR_INVALID_CALL: return "OMBIX_ERROR_INVALID_CALL";
    case OMBIX_ERROR_INVALID_STATE: return "OMBIX_ERROR_INVALID_STATE";
    case OMBIX_ERROR_INVALID_QUEUE: return "OMBIX_ERROR_INVALID_QUEUE";
    case OMBIX_ERROR_INVALID_AGENT: return "OMBIX_ERROR_INVALID_AGENT";
    case OMBIX_ERROR_INVALID_ADDRESS: return "OMBIX_ERROR_INVALID_ADDRESS";
    case OMBIX_ERROR_INVALID_MSG_TYPE: return "OMBIX_ERROR_INVALID_MSG_TYPE";
    case OMBIX_ERROR_INVALID_MONITORID: return "OMBIX_ERROR_INVALID_MONITORID";
    case OMBIX_ERROR_INVALID_PARAMETER: return "OMBIX_ERROR_INVALID_PARAMETER";
    case OMBIX_ERROR_DUPLICATE_MONITOR: return "OMBIX_ERROR_DUPLICATE_MONITOR";
    case OMBIX_ERROR_NO_MONITOR: return "OMBIX_ERROR_NO_MONITOR";
    case OMBIX_ERROR_LOGIN_DENIED: return "OMBIX_ERROR_LOGIN_DENIED";
    case OMBIX_ERROR_PASSWORD_EXPIRED: return "OMBIX_ERROR_PASSWORD_EXPIRED";
    case OMBIX_ERROR_ACCOUNT_LOCKED: return "OMBIX_ERROR_ACCOUNT_LOCKED";
    case OMBIX_ERROR_PERMISSION_DENIED: return "OMBIX_ERROR_PERMISSION_DENIED";
    case OMBIX_ERROR_RESOURCE_BUSY: return "OMBIX_ERROR_RESOURCE_BUSY";
    case OMBIX_ERROR_OUT_OF_SERVICE: return "OMBIX_ERROR_OUT_OF_SERVICE";
    case OMBIX_ERROR_NO_CALL_TO_ANSWER: return "OMBIX_ERROR_NO_CALL_TO_ANSWER";
    case OMBIX_ERROR_CONFERENCE_FAILURE: return "OMBIX_ERROR_CONFERENCE_FAILURE";
    case OMBIX_ERROR_NOT_SUPPORTED: return "OMBIX_ERROR_NOT_SUPPORTED";
    case OMBIX_ERROR_KEY_NOT_FOUND: return "OMBIX_ERROR_KEY_NOT_FOUND";
    case OMBIX_ERROR_READ_ONLY_KEY: return "OMBIX_ERROR_READ_ONLY_KEY";
    case OMBIX_ERROR_NO_CALL_TO_PICKUP: return "OMBIX_ERROR_NO_CALL_TO_PICKUP";
    case OMBIX_ERROR_NO_DIALTONE: return "OMBIX_ERROR_NO_DIALTONE";
    case OMBIX_ERROR_PENDING_REQUEST: return "OMBIX_ERROR_PENDING_REQUEST";
    case OMBIX_ERROR_SYSTEM_FAILURE: return "OMBIX_ERROR_SYSTEM_FAILURE";
    case OMBIX_ERROR_FEATURE_NOT_ENABLED: return "OMBIX_ERROR_FEATURE_NOT_ENABLED";
    case OMBIX_ERROR_INVALID_NUMBER: return "OMBIX_ERROR_INVALID_NUMBER";
    case OMBIX_ERROR_INVALID_VERSION: return "OMBIX_ERROR_INVALID_VERSION";
    case OMBIX_ERROR_CREATE_CALL_FAILED: return "OMBIX_ERROR_CREATE_CALL_FAILED";
    case OMBIX_ERROR_ALREADY_RECORDING: return "OMBIX_ERROR_ALREADY_RECORDING";
    case OMBIX_ERROR_INVALID_CONFID: return "OMBIX_ERROR_INVALID_CONFID";
    case OMBIX_ERROR_NO_CONF_PORTS: return "OMBIX_ERROR_NO_CONF_PORTS";
    case OMBIX_ERROR_RESOURCE_UNAVAILABLE: return "OMBIX_ERROR_RESOURCE_UNAVAILABLE";
    case OMBIX_ERROR_NO_CONF_MODERATOR: return "OMBIX_ERROR_NO_CONF_MODERATOR";
    case OMBIX_ERROR_ROLL_CALL_FAILED: return "OMBIX_ERROR_ROLL_CALL_FAILED";
    case OMBIX_ERROR_ROLL_CALL_NOT_ENABLED: return "OMBIX_ERROR_ROLL_CALL_NOT_ENABLED";
    case OMBIX_ERROR_ALREADY_HAS_MONITOR: return "OMBIX_ERROR_ALREADY_HAS_MONITOR";
    case OMBIX_ERROR_INVALID_CLIENT: return "OMBIX_ERROR_INVALID_CLIENT";
    case OMBIX_ERROR_TIMEOUT: return "OMBIX_ERROR_TIMEOUT";
    case OMBIX_ERROR_PLAY_STOPPED: return "OMBIX_ERROR_PLAY_STOPPED";
    case OMBIX_ERROR_COLLECT_STOPPED: return "OMBIX_ERROR_COLLECT_STOPPED";
    case OMBIX_ERROR_PASSWORD_UNCHANGED: return "OMBIX_ERROR_PASSWORD_UNCHANGED";
    case OMBIX_ERROR_INVALID_PASSWORD_LENGTH: return "OMBIX_ERROR_INVALID_PASSWORD_LENGTH";
    case OMBIX_ERROR_INVALID_PASSWORD_SUBSET: return "OMBIX_ERROR_INVALID_PASSWORD_SUBSET";
    case OMBIX_ERROR_MAX_PASSWORD_ATTEMPTS: return "OMBIX_ERROR_MAX_PASSWORD_ATTEMPTS";
    case OMBIX_ERROR_AUTHENTICATION_REQUIRED: return "OMBIX_ERROR_AUTHENTICATION_REQUIRED";
    case OMBIX_ERROR_INVALID_NONCE: return "OMBIX_ERROR_INVALID_NONCE";
    case OMBIX_ERROR_STALE_NONCE: return "OMBIX_ERROR_STALE_NONCE";
    case OMBIX_ERROR_REQUEST_NOT_ALLOWED: return "OMBIX_ERROR_REQUEST_NOT_ALLOWED";
    case OMBIX_ERROR_INVALID_PHONE: return "OMBIX_ERROR_INVALID_PHONE";
    case OMBIX_ERROR_INVALID_DATA_INTERFACE: return "OMBIX_ERROR_INVALID_DATA_INTERFACE";
    case OMBIX_ERROR_INVALID_INSTANCE: return "OMBIX_ERROR_INVALID_INSTANCE";
    case OMBIX_ERROR_DATA_INTERFACE_MAX: return "OMBIX_ERROR_DATA_INTERFACE_MAX";
    case OMBIX_ERROR_FILE_DOES_NOT_EXIST: return "OMBIX_ERROR_FILE_DOES_NOT_EXIST";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR EventCauseName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case EC_NONE: return "EC_NONE";
    case EC_REMOTE_IDLE: return "EC_REMOTE_IDLE";
    case EC_OVERFLOW: return "EC_OVERFLOW";
    case EC_NO_ANSWER: return "EC_NO_ANSWER";
    case EC_ABANDON: return "EC_ABANDON";
    case EC_ABANDON_RINGING: return "EC_ABANDON_RINGING";
    case EC_NO_BANDWIDTH: return "EC_NO_BANDWIDTH";
    case EC_REDIRECT: return "EC_REDIRECT";
    case EC_DO_NOT_DISTURB: return "EC_DO_NOT_DISTURB";
    case EC_OUT_OF_SERVICE: return "EC_OUT_OF_SERVICE";
    case EC_INVALID_NUMBER: return "EC_INVALID_NUMBER";
    case EC_BUSY: return "EC_BUSY";
    case EC_CONFERENCE: return "EC_CONFERENCE";
    case EC_FORWARDED: return "EC_FORWARDED";
    case EC_PARK: return "EC_PARK";
    case EC_PICKUP: return "EC_PICKUP";
    case EC_URGENT: return "EC_URGENT";
    case EC_NOT_ALLOWED: return "EC_NOT_ALLOWED";
    case EC_DEFAULT_ROUTE: return "EC_DEFAULT_ROUTE";
    case EC_PARK_TIMEOUT: return "EC_PARK_TIMEOUT";
    case EC_PRIORITY: return "EC_PRIORITY";
    case EC_CAMP: return "EC_CAMP";
    case EC_FINDME: return "EC_FINDME";
    case EC_LINE_APPEARANCE: return "EC_LINE_APPEARANCE";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR CallMediaEventName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case CALL_MEDIA_START: return "CALL_MEDIA_START";
    case CALL_MEDIA_CHANGE: return "CALL_MEDIA_CHANGE";
    case CALL_MEDIA_STOP: return "CALL_MEDIA_STOP";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR PhoneStateEventName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case PHONE_STATE_QUERY: return "PHONE_STATE_QUERY";
    case PHONE_STATE_OUT_OF_SERVICE: return "PHONE_STATE_OUT_OF_SERVICE";
    case PHONE_STATE_IN_SERVICE: return "PHONE_STATE_IN_SERVICE";
    case PHONE_STATE_DO_NOT_DISTURB: return "PHONE_STATE_DO_NOT_DISTURB";
    case PHONE_STATE_CALL_FORWARDING: return "PHONE_STATE_CALL_FORWARDING";
    case PHONE_STATE_MESSAGE_WAITING: return "PHONE_STATE_MESSAGE_WAITING";
    case PHONE_STATE_REMOTE_MODE: return "PHONE_STATE_REMOTE_MODE";
    case PHONE_STATE_RTP_STATISTICS: return "PHONE_STATE_RTP_STATISTICS";
    case PHONE_STATE_CONFIG_CHANGE: return "PHONE_STATE_CONFIG_CHANGE";
    case PHONE_STATE_DELETED: return "PHONE_STATE_DELETED";
  }
  // clang-format on
  return "UNKNOWN";
}

LPCSTR RedirectTargetName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case REDIRECT_TO_NUMBER: return "REDIRECT_TO_NUMBER";
    case REDIRECT_TO_VOICEMAIL: return "REDIRECT_TO_VOICEMAIL";
    case REDIRECT_TO_VIRTUAL_RING: return "REDIRECT_TO_VIRTUAL_RING";
    case REDIRECT_TO_ANNOUNCEMENT: return "REDIRECT_TO_ANNOUNCEMENT";
    case REDIRECT_TO_OID: return "REDIRECT_TO_OID";
    case REDIRECT_TO_MEETME: return "REDIRECT_TO_MEETME";
  }
  // clang-format on
  return "UNKNOWN";
}

LPCSTR MeetMeEventName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case MEETME_PARTY_LIST: return "MEETME_PARTY_LIST";
    case MEETME_PARTY_JOIN: return "MEETME_PARTY_JOIN";
    case MEETME_PARTY_LEAVE: return "MEETME_PARTY_LEAVE";
    case MEETME_PARTY_CHANGE: return "MEETME_PARTY_CHANGE";
    case MEETME_CONF_MODIFIED: return "MEETME_CONF_MODIFIED";
  }
  // clang-format on
  return "UNKNOWN";
}

LPCSTR VoiceMailCommandName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case VOICEMAIL_MAIN_MENU: return "VOICEMAIL_MAIN_MENU";
    case VOICEMAIL_MSG_LIST: return "VOICEMAIL_MSG_LIST";
    case VOICEMAIL_MSG_PLAY: return "VOICEMAIL_MSG_PLAY";
    case VOICEMAIL_MSG_SAVE: return "VOICEMAIL_MSG_SAVE";
    case VOICEMAIL_MSG_DELETE: return "VOICEMAIL_MSG_DELETE";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

LPCSTR VoiceMailFolderName(DWORD dwValue) {
  // clang-format off
  switch (dwValue) {
    case VOICEMAIL_INBOX: return "VOICEMAIL_INBOX";
    case VOICEMAIL_SAVED: return "VOICEMAIL_SAVED";
  }
  // clang-format on
  thread_local char szText[32];
  return Decimal(szText, static_cast<LONG>(dwValue));
}

// The switch protocol's vocabulary: message types, result codes, connection states, call events,
// causes, device types, the smaller value sets and the flag words, with their numbers on the wire,
// and the operations that name a value for the protocol trace.
//
// Contract: every value travels as an unsigned 32-bit field; connection states are read as signed
// (CS_UNKNOWN is -1). A name operation never fails: a value outside its set yields the value in
// signed decimal ("%d") or "UNKNOWN", as each operation says. The decimal text lives in a buffer
// owned by the operation and by the calling thread, valid until that operation names its next
// unknown value on the same thread; other threads never touch it.
#pragma once

#include "platform/wintypes.h"
#include "switchapi/ombix_message_types.h"

// Result codes (dwError of every response); 0 is success and has no name.
inline constexpr DWORD OMBIX_ERROR_INVALID_PASSWORD = 1;
inline constexpr DWORD OMBIX_ERROR_INVALID_DEVICE = 2;
inline constexpr DWORD OMBIX_ERROR_INVALID_CALL = 3;
inline constexpr DWORD OMBIX_ERROR_INVALID_STATE = 4;
inline constexpr DWORD OMBIX_ERROR_INVALID_QUEUE = 5;
inline constexpr DWORD OMBIX_ERROR_INVALID_AGENT = 6;
inline constexpr DWORD OMBIX_ERROR_INVALID_ADDRESS = 7;
inline constexpr DWORD OMBIX_ERROR_INVALID_MSG_TYPE = 8;
inline constexpr DWORD OMBIX_ERROR_INVALID_MONITORID = 9;
inline constexpr DWORD OMBIX_ERROR_INVALID_PARAMETER = 10;
inline constexpr DWORD OMBIX_ERROR_DUPLICATE_MONITOR = 11;
inline constexpr DWORD OMBIX_ERROR_NO_MONITOR = 12;
inline constexpr DWORD OMBIX_ERROR_LOGIN_DENIED = 13;
inline constexpr DWORD OMBIX_ERROR_PASSWORD_EXPIRED = 14;
inline constexpr DWORD OMBIX_ERROR_ACCOUNT_LOCKED = 15;
inline constexpr DWORD OMBIX_ERROR_PERMISSION_DENIED = 16;
inline constexpr DWORD OMBIX_ERROR_RESOURCE_BUSY = 17;
inline constexpr DWORD OMBIX_ERROR_OUT_OF_SERVICE = 18;
inline constexpr DWORD OMBIX_ERROR_NO_CALL_TO_ANSWER = 19;
inline constexpr DWORD OMBIX_ERROR_CONFERENCE_FAILURE = 20;
inline constexpr DWORD OMBIX_ERROR_NOT_SUPPORTED = 21;
inline constexpr DWORD OMBIX_ERROR_KEY_NOT_FOUND = 22;
inline constexpr DWORD OMBIX_ERROR_READ_ONLY_KEY = 23;
inline constexpr DWORD OMBIX_ERROR_NO_CALL_TO_PICKUP = 24;
inline constexpr DWORD OMBIX_ERROR_NO_DIALTONE = 25;
inline constexpr DWORD OMBIX_ERROR_PENDING_REQUEST = 26;
inline constexpr DWORD OMBIX_ERROR_SYSTEM_FAILURE = 27;
inline constexpr DWORD OMBIX_ERROR_FEATURE_NOT_ENABLED = 28;
inline constexpr DWORD OMBIX_ERROR_INVALID_NUMBER = 29;
inline constexpr DWORD OMBIX_ERROR_INVALID_VERSION = 30;
inline constexpr DWORD OMBIX_ERROR_CREATE_CALL_FAILED = 31;
inline constexpr DWORD OMBIX_ERROR_ALREADY_RECORDING = 32;
inline constexpr DWORD OMBIX_ERROR_INVALID_CONFID = 33;
inline constexpr DWORD OMBIX_ERROR_NO_CONF_PORTS = 34;
inline constexpr DWORD OMBIX_ERROR_RESOURCE_UNAVAILABLE = 35;
inline constexpr DWORD OMBIX_ERROR_NO_CONF_MODERATOR = 36;
inline constexpr DWORD OMBIX_ERROR_ROLL_CALL_FAILED = 37;
inline constexpr DWORD OMBIX_ERROR_ROLL_CALL_NOT_ENABLED = 38;
inline constexpr DWORD OMBIX_ERROR_ALREADY_HAS_MONITOR = 39;
inline constexpr DWORD OMBIX_ERROR_INVALID_CLIENT = 40;
inline constexpr DWORD OMBIX_ERROR_TIMEOUT = 41;
inline constexpr DWORD OMBIX_ERROR_PLAY_STOPPED = 42;
inline constexpr DWORD OMBIX_ERROR_COLLECT_STOPPED = 43;
inline constexpr DWORD OMBIX_ERROR_PASSWORD_UNCHANGED = 44;
inline constexpr DWORD OMBIX_ERROR_INVALID_PASSWORD_LENGTH = 45;
inline constexpr DWORD OMBIX_ERROR_INVALID_PASSWORD_SUBSET = 46;
inline constexpr DWORD OMBIX_ERROR_MAX_PASSWORD_ATTEMPTS = 47;
inline constexpr DWORD OMBIX_ERROR_AUTHENTICATION_REQUIRED = 48;
inline constexpr DWORD OMBIX_ERROR_INVALID_NONCE = 49;
inline constexpr DWORD OMBIX_ERROR_STALE_NONCE = 50;
inline constexpr DWORD OMBIX_ERROR_REQUEST_NOT_ALLOWED = 51;
inline constexpr DWORD OMBIX_ERROR_INVALID_PHONE = 52;
inline constexpr DWORD OMBIX_ERROR_INVALID_DATA_INTERFACE = 53;
inline constexpr DWORD OMBIX_ERROR_INVALID_INSTANCE = 54;
inline constexpr DWORD OMBIX_ERROR_DATA_INTERFACE_MAX = 55;
inline constexpr DWORD OMBIX_ERROR_FILE_DOES_NOT_EXIST = 56;

// Connection states (dwState of each connection of OMBIX_CALL_CONNECTION_EVENT); signed.
inline constexpr LONG CS_UNKNOWN = -1;
inline constexpr LONG CS_IDLE = 0;
inline constexpr LONG CS_DIALING = 1;
inline constexpr LONG CS_ALERTING = 2;
inline constexpr LONG CS_ATTEMPTING = 3;
inline constexpr LONG CS_CONNECTED = 4;
inline constexpr LONG CS_HELD = 5;
inline constexpr LONG CS_QUEUED = 6;
inline constexpr LONG CS_FAILED = 7;
inline constexpr LONG CS_PASSIVE = 8;
inline constexpr LONG CS_REMOTE_IDLE = 9;

// Call-connection events (dwEvent of OMBIX_CALL_CONNECTION_EVENT).
inline constexpr DWORD CALL_CONNECTION_LIST = 0;
inline constexpr DWORD CALL_CONNECTION_INITIATED = 1;
inline constexpr DWORD CALL_CONNECTION_ATTEMPTING = 2;
inline constexpr DWORD CALL_CONNECTION_ALERTING = 3;
inline constexpr DWORD CALL_CONNECTION_ESTABLISHED = 4;
inline constexpr DWORD CALL_CONNECTION_HELD = 5;
inline constexpr DWORD CALL_CONNECTION_RETRIEVED = 6;
inline constexpr DWORD CALL_CONNECTION_IDLED = 7;
inline constexpr DWORD CALL_CONNECTION_CONFERENCED = 8;
inline constexpr DWORD CALL_CONNECTION_TRANSFERRED = 9;
inline constexpr DWORD CALL_CONNECTION_QUEUED = 10;
inline constexpr DWORD CALL_CONNECTION_REDIRECTED = 11;
inline constexpr DWORD CALL_CONNECTION_FAILED = 12;
inline constexpr DWORD CALL_CONNECTION_PASSIVE = 13;

// Event causes (dwEventCause of OMBIX_CALL_CONNECTION_EVENT).
inline constexpr DWORD EC_NONE = 0;
inline constexpr DWORD EC_REMOTE_IDLE = 1;
inline constexpr DWORD EC_OVERFLOW = 2;
inline constexpr DWORD EC_NO_ANSWER = 3;
inline constexpr DWORD EC_ABANDON = 4;
inline constexpr DWORD EC_ABANDON_RINGING = 5;
inline constexpr DWORD EC_NO_BANDWIDTH = 6;
inline constexpr DWORD EC_REDIRECT = 7;
inline constexpr DWORD EC_DO_NOT_DISTURB = 8;
inline constexpr DWORD EC_OUT_OF_SERVICE = 9;
inline constexpr DWORD EC_INVALID_NUMBER = 10;
inline constexpr DWORD EC_BUSY = 11;
inline constexpr DWORD EC_CONFERENCE = 12;
inline constexpr DWORD EC_FORWARDED = 13;
inline constexpr DWORD EC_PARK = 14;
inline constexpr DWORD EC_PICKUP = 15;
inline constexpr DWORD EC_URGENT = 16;
inline constexpr DWORD EC_NOT_ALLOWED = 17;
inline constexpr DWORD EC_DEFAULT_ROUTE = 18;
inline constexpr DWORD EC_PARK_TIMEOUT = 19;
inline constexpr DWORD EC_PRIORITY = 20;
inline constexpr DWORD EC_CAMP = 21;
inline constexpr DWORD EC_FINDME = 22;
inline constexpr DWORD EC_LINE_APPEARANCE = 23;

// Device types.
inline constexpr DWORD DEVICE_TYPE_UNKNOWN = 0;
inline constexpr DWORD DEVICE_TYPE_EXTERNAL = 1;
inline constexpr DWORD DEVICE_TYPE_INTERNAL = 2;
inline constexpr DWORD DEVICE_TYPE_PHONE = 3;
inline constexpr DWORD DEVICE_TYPE_QUEUE = 4;
inline constexpr DWORD DEVICE_TYPE_AGENT = 5;
inline constexpr DWORD DEVICE_TYPE_ROUTE_POINT = 6;
inline constexpr DWORD DEVICE_TYPE_MEETME_CONF = 7;
inline constexpr DWORD DEVICE_TYPE_PARK = 8;
inline constexpr DWORD DEVICE_TYPE_PRIVACY_GUARD = 9;
inline constexpr DWORD DEVICE_TYPE_VOICEMAIL = 10;
inline constexpr DWORD DEVICE_TYPE_MAIN_LINE = 11;
inline constexpr DWORD DEVICE_TYPE_BLF_LINE = 12;
inline constexpr DWORD DEVICE_TYPE_CONFERENCE_ROOM = 13;
inline constexpr DWORD DEVICE_TYPE_INTERCOM_GROUP = 14;
inline constexpr DWORD DEVICE_TYPE_MSLA = 15;
inline constexpr DWORD DEVICE_TYPE_DASG = 16;
inline constexpr DWORD DEVICE_TYPE_HUNT_GROUP = 17;
inline constexpr DWORD DEVICE_TYPE_ANNOUNCEMENT = 18;
inline constexpr DWORD DEVICE_TYPE_NUMBER_PLAN = 19;
inline constexpr DWORD DEVICE_TYPE_TIME_REDIRECT = 20;
inline constexpr DWORD DEVICE_TYPE_DIRECTORY = 21;
inline constexpr DWORD DEVICE_TYPE_PHONE_CONFIG = 22;
inline constexpr DWORD DEVICE_TYPE_FANOUT = 23;
inline constexpr DWORD DEVICE_TYPE_BROADCAST = 24;

// Phone-state events (dwEvent of OMBIX_PHONE_STATE_EVENT).
inline constexpr DWORD PHONE_STATE_QUERY = 0;
inline constexpr DWORD PHONE_STATE_OUT_OF_SERVICE = 1;
inline constexpr DWORD PHONE_STATE_IN_SERVICE = 2;
inline constexpr DWORD PHONE_STATE_DO_NOT_DISTURB = 3;
inline constexpr DWORD PHONE_STATE_CALL_FORWARDING = 4;
inline constexpr DWORD PHONE_STATE_MESSAGE_WAITING = 5;
inline constexpr DWORD PHONE_STATE_REMOTE_MODE = 6;
inline constexpr DWORD PHONE_STATE_RTP_STATISTICS = 7;
inline constexpr DWORD PHONE_STATE_CONFIG_CHANGE = 8;
inline constexpr DWORD PHONE_STATE_DELETED = 9;

// Agent states.
inline constexpr DWORD AGENT_UNKNOWN = 0;
inline constexpr DWORD AGENT_LOGIN = 1;
inline constexpr DWORD AGENT_READY = 2;
inline constexpr DWORD AGENT_NOT_READY = 3;
inline constexpr DWORD AGENT_ALERTING = 4;
inline constexpr DWORD AGENT_CONNECTED = 5;
inline constexpr DWORD AGENT_OTHER_ACD = 6;
inline constexpr DWORD AGENT_OTHER_IN = 7;
inline constexpr DWORD AGENT_OTHER_OUT = 8;
inline constexpr DWORD AGENT_DND = 9;
inline constexpr DWORD AGENT_LOGOUT = 10;
inline constexpr DWORD AGENT_SUPERVISOR = 11;
inline constexpr DWORD AGENT_WRAP = 12;
inline constexpr DWORD AGENT_DIRECT = 13;

// Forwarding modes (dwForwardMode of OMBIX_SET_CALL_FORWARDING_REQ).
inline constexpr DWORD CALL_FORWARD_ALL = 0;
inline constexpr DWORD CALL_FORWARD_BUSY = 1;
inline constexpr DWORD CALL_FORWARD_NO_ANSWER = 2;
inline constexpr DWORD CALL_FORWARD_OUT_OF_SERVICE = 3;

// Redirect targets (dwRedirectTo of OMBIX_REDIRECT_CALL_REQ).
inline constexpr DWORD REDIRECT_TO_NUMBER = 1;
inline constexpr DWORD REDIRECT_TO_VOICEMAIL = 2;
inline constexpr DWORD REDIRECT_TO_VIRTUAL_RING = 3;
inline constexpr DWORD REDIRECT_TO_ANNOUNCEMENT = 4;
inline constexpr DWORD REDIRECT_TO_OID = 5;
inline constexpr DWORD REDIRECT_TO_MEETME = 6;

// Client-monitor events (dwEvent of OMBIX_CLIENT_MONITOR_EVENT).
inline constexpr DWORD CLIENT_MONITOR_START = 1;
inline constexpr DWORD CLIENT_MONITOR_STOP = 2;

// Call-media events (dwEvent of OMBIX_CALL_MEDIA_EVENT).
inline constexpr DWORD CALL_MEDIA_START = 1;
inline constexpr DWORD CALL_MEDIA_CHANGE = 2;
inline constexpr DWORD CALL_MEDIA_STOP = 3;

// MeetMe conference events (dwEvent of OMBIX_MEETME_CONFERENCE_EVENT); MEETME_CONF_MODIFIED
// also selects the event's second body layout.
inline constexpr DWORD MEETME_PARTY_LIST = 0;
inline constexpr DWORD MEETME_PARTY_JOIN = 1;
inline constexpr DWORD MEETME_PARTY_LEAVE = 2;
inline constexpr DWORD MEETME_PARTY_CHANGE = 3;
inline constexpr DWORD MEETME_CONF_MODIFIED = 4;

// Voice-mail commands (dwCommand).
inline constexpr DWORD VOICEMAIL_MAIN_MENU = 0;
inline constexpr DWORD VOICEMAIL_MSG_LIST = 1;
inline constexpr DWORD VOICEMAIL_MSG_PLAY = 2;
inline constexpr DWORD VOICEMAIL_MSG_SAVE = 3;
inline constexpr DWORD VOICEMAIL_MSG_DELETE = 4;

// Voice-mail folders (dwFolderID).
inline constexpr DWORD VOICEMAIL_INBOX = 0;
inline constexpr DWORD VOICEMAIL_SAVED = 1;

// Call options (dwOptions of the make-call, transfer, conference and redirect requests).
inline constexpr DWORD CALL_OPTION_NONE = 0;
inline constexpr DWORD CALL_OPTION_NETWORK_PREFIX = 0x1;
inline constexpr DWORD CALL_OPTION_URGENT = 0x2;
inline constexpr DWORD CALL_OPTION_INTERCOM = 0x4;
inline constexpr DWORD CALL_OPTION_BLOCK_CALLERID = 0x8;

// Phone features (dwFeatures of OMBIX_QUERY_PHONE_CONFIG_RSP).
inline constexpr DWORD PHONE_FEATURES_DO_NOT_DISTURB = 0x1;
inline constexpr DWORD PHONE_FEATURES_CALL_FORWARD_ALL = 0x2;
inline constexpr DWORD PHONE_FEATURES_VOICE_MAIL = 0x4;
inline constexpr DWORD PHONE_FEATURES_PARK = 0x8;
inline constexpr DWORD PHONE_FEATURES_ALTERNATE_CALL = 0x10;
inline constexpr DWORD PHONE_FEATURES_ANSWER_CALL = 0x20;
inline constexpr DWORD PHONE_FEATURES_DIAL_DIGITS = 0x40;
inline constexpr DWORD PHONE_FEATURES_DROP_CONNECTION = 0x80;
inline constexpr DWORD PHONE_FEATURES_HOLD_CALL = 0x100;
inline constexpr DWORD PHONE_FEATURES_MAKE_CALL = 0x200;
inline constexpr DWORD PHONE_FEATURES_PICKUP_CALL = 0x400;
inline constexpr DWORD PHONE_FEATURES_RECONNECT_CALL = 0x800;
inline constexpr DWORD PHONE_FEATURES_REDIRECT_CALL = 0x1000;
inline constexpr DWORD PHONE_FEATURES_RETRIEVE_CALL = 0x2000;
inline constexpr DWORD PHONE_FEATURES_TRANSFER = 0x4000;
inline constexpr DWORD PHONE_FEATURES_CONFERENCE = 0x8000;
inline constexpr DWORD PHONE_FEATURES_SINGLE_STEP_TRANSFER = 0x10000;
inline constexpr DWORD PHONE_FEATURES_SINGLE_STEP_CONFERENCE = 0x20000;
inline constexpr DWORD PHONE_FEATURES_SET_REMOTE_MODE = 0x40000;
inline constexpr DWORD PHONE_FEATURES_SET_RTP_STATISTICS_MODE = 0x80000;
inline constexpr DWORD PHONE_FEATURES_VIRTUAL_RING = 0x100000;
inline constexpr DWORD PHONE_FEATURES_CALL_FORWARD_BUSY = 0x800000;
inline constexpr DWORD PHONE_FEATURES_CALL_FORWARD_NO_ANSWER = 0x1000000;
inline constexpr DWORD PHONE_FEATURES_CALL_FORWARD_OUT_OF_SERVICE = 0x2000000;
inline constexpr DWORD PHONE_FEATURES_CALL_RECORDING = 0x4000000;
inline constexpr DWORD PHONE_FEATURES_SETUP_TRANSFER = 0x8000000;
inline constexpr DWORD PHONE_FEATURES_SETUP_CONFERENCE = 0x10000000;
inline constexpr DWORD PHONE_FEATURES_VIDEO = 0x20000000;

// Voice-mail message flags (dwFlags of a voice-mail entry).
inline constexpr DWORD VOICEMAIL_MSG_FLAG_READ = 0x2;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_FORWARDED = 0x4;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_DELETED = 0x8;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_IS_REPLY = 0x10;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_REPLIED = 0x20;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_PRIORITY = 0x40;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_PRIVATE = 0x100;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_RETURN_RECEIPT_REQUEST = 0x200;
inline constexpr DWORD VOICEMAIL_MSG_FLAG_RETURN_RECEIPT = 0x400;

// Digit collection options (dwOptions of OMBIX_COLLECT_DIGITS_REQ).
inline constexpr DWORD COLLECT_DIGITS_FROM_SRC = 0x1;
inline constexpr DWORD COLLECT_DIGITS_FROM_DST = 0x2;
inline constexpr DWORD COLLECT_DIGITS_STOP_PROMPT = 0x4;
inline constexpr DWORD COLLECT_DIGITS_PASSTHRU = 0x8;

// Prompt options (dwOptions of OMBIX_PLAY_PROMPT_REQ).
inline constexpr DWORD PLAY_PROMPT_LOOP = 0x1;
inline constexpr DWORD PLAY_PROMPT_NON_BILLABLE = 0x2;

// Value-to-name operations for the trace.
LPCSTR AgentStateName(DWORD dwValue);           // decimal when unknown
LPCSTR ForwardModeName(DWORD dwValue);          // "UNKNOWN" when unknown
LPCSTR ClientMonitorEventName(DWORD dwValue);   // decimal
LPCSTR CallConnectionEventName(DWORD dwValue);  // decimal
LPCSTR ConnectionStateName(LONG lValue);        // decimal (signed)
LPCSTR DeviceTypeName(DWORD dwValue);           // decimal
LPCSTR ErrorName(DWORD dwValue);                // decimal, so success names "0"
LPCSTR EventCauseName(DWORD dwValue);           // decimal
LPCSTR CallMediaEventName(DWORD dwValue);       // decimal
LPCSTR MessageTypeName(DWORD dwValue);          // decimal
LPCSTR PhoneStateEventName(DWORD dwValue);      // "UNKNOWN"
LPCSTR RedirectTargetName(DWORD dwValue);       // "UNKNOWN"
LPCSTR MeetMeEventName(DWORD dwValue);          // "UNKNOWN"
LPCSTR VoiceMailCommandName(DWORD dwValue);     // decimal
LPCSTR VoiceMailFolderName(DWORD dwValue);      // decimal

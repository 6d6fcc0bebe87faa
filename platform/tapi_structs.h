// Small TAPI 2.1 structures shared by line and phone code: variable strings, dial and
// forwarding parameters, tones, media control, extension IDs and messages.
// Natural alignment gives the published 64-bit layout; the static_asserts hold each size and
// offset to it.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// A variable-size string or data block (device identifiers, device configuration).
struct VARSTRING {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwStringFormat;
  DWORD dwStringSize;
  DWORD dwStringOffset;
};
using LPVARSTRING = VARSTRING*;
static_assert(sizeof(VARSTRING) == 24);
static_assert(offsetof(VARSTRING, dwTotalSize) == 0);
static_assert(offsetof(VARSTRING, dwNeededSize) == 4);
static_assert(offsetof(VARSTRING, dwUsedSize) == 8);
static_assert(offsetof(VARSTRING, dwStringFormat) == 12);
static_assert(offsetof(VARSTRING, dwStringSize) == 16);
static_assert(offsetof(VARSTRING, dwStringOffset) == 20);

// Dialling timings, in milliseconds.
struct LINEDIALPARAMS {
  DWORD dwDialPause;
  DWORD dwDialSpeed;
  DWORD dwDigitDuration;
  DWORD dwWaitForDialtone;
};
using LPLINEDIALPARAMS = LINEDIALPARAMS*;
static_assert(sizeof(LINEDIALPARAMS) == 16);
static_assert(offsetof(LINEDIALPARAMS, dwDialPause) == 0);
static_assert(offsetof(LINEDIALPARAMS, dwDialSpeed) == 4);
static_assert(offsetof(LINEDIALPARAMS, dwDigitDuration) == 8);
static_assert(offsetof(LINEDIALPARAMS, dwWaitForDialtone) == 12);

// One forwarding instruction; the addresses are in the variable part of the list.
struct LINEFORWARD {
  DWORD dwForwardMode;
  DWORD dwCallerAddressSize;
  DWORD dwCallerAddressOffset;
  DWORD dwDestCountryCode;
  DWORD dwDestAddressSize;
  DWORD dwDestAddressOffset;
  // Left out, the provider speaks 2.1: 3.0 adds dwCallerAddressType, dwDestAddressType.
};
using LPLINEFORWARD = LINEFORWARD*;
static_assert(sizeof(LINEFORWARD) == 24);
static_assert(offsetof(LINEFORWARD, dwForwardMode) == 0);
static_assert(offsetof(LINEFORWARD, dwCallerAddressSize) == 4);
static_assert(offsetof(LINEFORWARD, dwCallerAddressOffset) == 8);
static_assert(offsetof(LINEFORWARD, dwDestCountryCode) == 12);
static_assert(offsetof(LINEFORWARD, dwDestAddressSize) == 16);
static_assert(offsetof(LINEFORWARD, dwDestAddressOffset) == 20);

// Forwarding instructions: dwNumEntries LINEFORWARDs run on past the declared one.
struct LINEFORWARDLIST {
  DWORD dwTotalSize;
  DWORD dwNumEntries;
  LINEFORWARD ForwardList[1];
};
using LPLINEFORWARDLIST = LINEFORWARDLIST*;
static_assert(sizeof(LINEFORWARDLIST) == 32);
static_assert(offsetof(LINEFORWARDLIST, dwTotalSize) == 0);
static_assert(offsetof(LINEFORWARDLIST, dwNumEntries) == 4);
static_assert(offsetof(LINEFORWARDLIST, ForwardList) == 8);

// Capabilities of one terminal of a line.
struct LINETERMCAPS {
  DWORD dwTermDev;
  DWORD dwTermModes;
  DWORD dwTermSharing;
};
using LPLINETERMCAPS = LINETERMCAPS*;
static_assert(sizeof(LINETERMCAPS) == 12);
static_assert(offsetof(LINETERMCAPS, dwTermDev) == 0);
static_assert(offsetof(LINETERMCAPS, dwTermModes) == 4);
static_assert(offsetof(LINETERMCAPS, dwTermSharing) == 8);

// One tone to generate: frequency in Hz, cadence in ms, volume.
struct LINEGENERATETONE {
  DWORD dwFrequency;
  DWORD dwCadenceOn;
  DWORD dwCadenceOff;
  DWORD dwVolume;
};
using LPLINEGENERATETONE = LINEGENERATETONE*;
static_assert(sizeof(LINEGENERATETONE) == 16);
static_assert(offsetof(LINEGENERATETONE, dwFrequency) == 0);
static_assert(offsetof(LINEGENERATETONE, dwCadenceOn) == 4);
static_assert(offsetof(LINEGENERATETONE, dwCadenceOff) == 8);
static_assert(offsetof(LINEGENERATETONE, dwVolume) == 12);

// One tone to detect, reported with dwAppSpecific.
struct LINEMONITORTONE {
  DWORD dwAppSpecific;
  DWORD dwDuration;
  DWORD dwFrequency1;
  DWORD dwFrequency2;
  DWORD dwFrequency3;
};
using LPLINEMONITORTONE = LINEMONITORTONE*;
static_assert(sizeof(LINEMONITORTONE) == 20);
static_assert(offsetof(LINEMONITORTONE, dwAppSpecific) == 0);
static_assert(offsetof(LINEMONITORTONE, dwDuration) == 4);
static_assert(offsetof(LINEMONITORTONE, dwFrequency1) == 8);
static_assert(offsetof(LINEMONITORTONE, dwFrequency2) == 12);
static_assert(offsetof(LINEMONITORTONE, dwFrequency3) == 16);

// Media-control action on entering call states.
struct LINEMEDIACONTROLCALLSTATE {
  DWORD dwCallStates;
  DWORD dwMediaControl;
};
using LPLINEMEDIACONTROLCALLSTATE = LINEMEDIACONTROLCALLSTATE*;
static_assert(sizeof(LINEMEDIACONTROLCALLSTATE) == 8);
static_assert(offsetof(LINEMEDIACONTROLCALLSTATE, dwCallStates) == 0);
static_assert(offsetof(LINEMEDIACONTROLCALLSTATE, dwMediaControl) == 4);

// Media-control action on a detected digit.
struct LINEMEDIACONTROLDIGIT {
  DWORD dwDigit;
  DWORD dwDigitModes;
  DWORD dwMediaControl;
};
using LPLINEMEDIACONTROLDIGIT = LINEMEDIACONTROLDIGIT*;
static_assert(sizeof(LINEMEDIACONTROLDIGIT) == 12);
static_assert(offsetof(LINEMEDIACONTROLDIGIT, dwDigit) == 0);
static_assert(offsetof(LINEMEDIACONTROLDIGIT, dwDigitModes) == 4);
static_assert(offsetof(LINEMEDIACONTROLDIGIT, dwMediaControl) == 8);

// Media-control action on a detected media mode.
struct LINEMEDIACONTROLMEDIA {
  DWORD dwMediaModes;
  DWORD dwDuration;
  DWORD dwMediaControl;
};
using LPLINEMEDIACONTROLMEDIA = LINEMEDIACONTROLMEDIA*;
static_assert(sizeof(LINEMEDIACONTROLMEDIA) == 12);
static_assert(offsetof(LINEMEDIACONTROLMEDIA, dwMediaModes) == 0);
static_assert(offsetof(LINEMEDIACONTROLMEDIA, dwDuration) == 4);
static_assert(offsetof(LINEMEDIACONTROLMEDIA, dwMediaControl) == 8);

// Media-control action on a detected tone.
struct LINEMEDIACONTROLTONE {
  DWORD dwAppSpecific;
  DWORD dwDuration;
  DWORD dwFrequency1;
  DWORD dwFrequency2;
  DWORD dwFrequency3;
  DWORD dwMediaControl;
};
using LPLINEMEDIACONTROLTONE = LINEMEDIACONTROLTONE*;
static_assert(sizeof(LINEMEDIACONTROLTONE) == 24);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwAppSpecific) == 0);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwDuration) == 4);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwFrequency1) == 8);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwFrequency2) == 12);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwFrequency3) == 16);
static_assert(offsetof(LINEMEDIACONTROLTONE, dwMediaControl) == 20);

// Identifier of a provider-specific line extension.
struct LINEEXTENSIONID {
  DWORD dwExtensionID0;
  DWORD dwExtensionID1;
  DWORD dwExtensionID2;
  DWORD dwExtensionID3;
};
using LPLINEEXTENSIONID = LINEEXTENSIONID*;
static_assert(sizeof(LINEEXTENSIONID) == 16);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID0) == 0);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID1) == 4);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID2) == 8);
static_assert(offsetof(LINEEXTENSIONID, dwExtensionID3) == 12);

// Identifier of a provider-specific phone extension.
struct PHONEEXTENSIONID {
  DWORD dwExtensionID0;
  DWORD dwExtensionID1;
  DWORD dwExtensionID2;
  DWORD dwExtensionID3;
};
using LPPHONEEXTENSIONID = PHONEEXTENSIONID*;
static_assert(sizeof(PHONEEXTENSIONID) == 16);
static_assert(offsetof(PHONEEXTENSIONID, dwExtensionID0) == 0);
static_assert(offsetof(PHONEEXTENSIONID, dwExtensionID1) == 4);
static_assert(offsetof(PHONEEXTENSIONID, dwExtensionID2) == 8);
static_assert(offsetof(PHONEEXTENSIONID, dwExtensionID3) == 12);

// One application that has the line open (entries of LINEDEVSTATUS's app-info part).
struct LINEAPPINFO {
  DWORD dwMachineNameSize;
  DWORD dwMachineNameOffset;
  DWORD dwUserNameSize;
  DWORD dwUserNameOffset;
  DWORD dwModuleFilenameSize;
  DWORD dwModuleFilenameOffset;
  DWORD dwFriendlyNameSize;
  DWORD dwFriendlyNameOffset;
  DWORD dwMediaModes;
  DWORD dwAddressID;
};
using LPLINEAPPINFO = LINEAPPINFO*;
static_assert(sizeof(LINEAPPINFO) == 40);
static_assert(offsetof(LINEAPPINFO, dwMachineNameSize) == 0);
static_assert(offsetof(LINEAPPINFO, dwMachineNameOffset) == 4);
static_assert(offsetof(LINEAPPINFO, dwUserNameSize) == 8);
static_assert(offsetof(LINEAPPINFO, dwUserNameOffset) == 12);
static_assert(offsetof(LINEAPPINFO, dwModuleFilenameSize) == 16);
static_assert(offsetof(LINEAPPINFO, dwModuleFilenameOffset) == 20);
static_assert(offsetof(LINEAPPINFO, dwFriendlyNameSize) == 24);
static_assert(offsetof(LINEAPPINFO, dwFriendlyNameOffset) == 28);
static_assert(offsetof(LINEAPPINFO, dwMediaModes) == 32);
static_assert(offsetof(LINEAPPINFO, dwAddressID) == 36);

// One call treatment (entries of LINEADDRESSCAPS's call-treatment part).
struct LINECALLTREATMENTENTRY {
  DWORD dwCallTreatmentID;
  DWORD dwCallTreatmentNameSize;
  DWORD dwCallTreatmentNameOffset;
};
using LPLINECALLTREATMENTENTRY = LINECALLTREATMENTENTRY*;
static_assert(sizeof(LINECALLTREATMENTENTRY) == 12);
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentID) == 0);
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameSize) == 4);
static_assert(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameOffset) == 8);

// Quality of service asked for one media mode.
struct LINEQOSSERVICELEVEL {
  DWORD dwMediaMode;
  DWORD dwQOSServiceLevel;
};
using LPLINEQOSSERVICELEVEL = LINEQOSSERVICELEVEL*;
static_assert(sizeof(LINEQOSSERVICELEVEL) == 8);
static_assert(offsetof(LINEQOSSERVICELEVEL, dwMediaMode) == 0);
static_assert(offsetof(LINEQOSSERVICELEVEL, dwQOSServiceLevel) == 4);

// A list of call handles.
struct LINECALLLIST {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwCallsNumEntries;
  DWORD dwCallsSize;
  DWORD dwCallsOffset;
};
using LPLINECALLLIST = LINECALLLIST*;
static_assert(sizeof(LINECALLLIST) == 24);
static_assert(offsetof(LINECALLLIST, dwTotalSize) == 0);
static_assert(offsetof(LINECALLLIST, dwNeededSize) == 4);
static_assert(offsetof(LINECALLLIST, dwUsedSize) == 8);
static_assert(offsetof(LINECALLLIST, dwCallsNumEntries) == 12);
static_assert(offsetof(LINECALLLIST, dwCallsSize) == 16);
static_assert(offsetof(LINECALLLIST, dwCallsOffset) == 20);

// A line event as an application receives it.
struct LINEMESSAGE {
  DWORD hDevice;
  DWORD dwMessageID;
  DWORD_PTR dwCallbackInstance;
  DWORD_PTR dwParam1;
  DWORD_PTR dwParam2;
  DWORD_PTR dwParam3;
};
using LPLINEMESSAGE = LINEMESSAGE*;
static_assert(sizeof(LINEMESSAGE) == 40);
static_assert(offsetof(LINEMESSAGE, hDevice) == 0);
static_assert(offsetof(LINEMESSAGE, dwMessageID) == 4);
static_assert(offsetof(LINEMESSAGE, dwCallbackInstance) == 8);
static_assert(offsetof(LINEMESSAGE, dwParam1) == 16);
static_assert(offsetof(LINEMESSAGE, dwParam2) == 24);
static_assert(offsetof(LINEMESSAGE, dwParam3) == 32);

// A phone event as an application receives it.
struct PHONEMESSAGE {
  DWORD hDevice;
  DWORD dwMessageID;
  DWORD_PTR dwCallbackInstance;
  DWORD_PTR dwParam1;
  DWORD_PTR dwParam2;
  DWORD_PTR dwParam3;
};
using LPPHONEMESSAGE = PHONEMESSAGE*;
static_assert(sizeof(PHONEMESSAGE) == 40);
static_assert(offsetof(PHONEMESSAGE, hDevice) == 0);
static_assert(offsetof(PHONEMESSAGE, dwMessageID) == 4);
static_assert(offsetof(PHONEMESSAGE, dwCallbackInstance) == 8);
static_assert(offsetof(PHONEMESSAGE, dwParam1) == 16);
static_assert(offsetof(PHONEMESSAGE, dwParam2) == 24);
static_assert(offsetof(PHONEMESSAGE, dwParam3) == 32);

// Sent with LINE_CREATEDIALOGINSTANCE; TAPI fills htDlgInst.
struct TUISPICREATEDIALOGINSTANCEPARAMS {
  DRV_REQUESTID dwRequestID;
  HDRVDIALOGINSTANCE hdDlgInst;
  HTAPIDIALOGINSTANCE htDlgInst;
  LPCWSTR lpszUIDLLName;
  LPVOID lpParams;
  DWORD dwSize;
};
using LPTUISPICREATEDIALOGINSTANCEPARAMS = TUISPICREATEDIALOGINSTANCEPARAMS*;
static_assert(sizeof(TUISPICREATEDIALOGINSTANCEPARAMS) == 48);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, dwRequestID) == 0);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, hdDlgInst) == 8);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, htDlgInst) == 16);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, lpszUIDLLName) == 24);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, lpParams) == 32);
static_assert(offsetof(TUISPICREATEDIALOGINSTANCEPARAMS, dwSize) == 40);

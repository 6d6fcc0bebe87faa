// The TAPI 2.1 phone structures: capabilities, status and button information.
// Natural alignment gives the published 64-bit layout; the static_asserts hold each size and
// offset to it.
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

// Capabilities of a phone device.
struct PHONECAPS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwProviderInfoSize;
  DWORD dwProviderInfoOffset;
  DWORD dwPhoneInfoSize;
  DWORD dwPhoneInfoOffset;
  DWORD dwPermanentPhoneID;
  DWORD dwPhoneNameSize;
  DWORD dwPhoneNameOffset;
  DWORD dwStringFormat;
  DWORD dwPhoneStates;
  DWORD dwHookSwitchDevs;
  DWORD dwHandsetHookSwitchModes;
  DWORD dwSpeakerHookSwitchModes;
  DWORD dwHeadsetHookSwitchModes;
  DWORD dwVolumeFlags;
  DWORD dwGainFlags;
  DWORD dwDisplayNumRows;
  DWORD dwDisplayNumColumns;
  DWORD dwNumRingModes;
  DWORD dwNumButtonLamps;
  DWORD dwButtonModesSize;
  DWORD dwButtonModesOffset;
  DWORD dwButtonFunctionsSize;
  DWORD dwButtonFunctionsOffset;
  DWORD dwLampModesSize;
  DWORD dwLampModesOffset;
  DWORD dwNumSetData;
  DWORD dwSetDataSize;
  DWORD dwSetDataOffset;
  DWORD dwNumGetData;
  DWORD dwGetDataSize;
  DWORD dwGetDataOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwDeviceClassesSize;
  DWORD dwDeviceClassesOffset;
  DWORD dwPhoneFeatures;
  DWORD dwSettableHandsetHookSwitchModes;
  DWORD dwSettableSpeakerHookSwitchModes;
  DWORD dwSettableHeadsetHookSwitchModes;
  DWORD dwMonitoredHandsetHookSwitchModes;
  DWORD dwMonitoredSpeakerHookSwitchModes;
  DWORD dwMonitoredHeadsetHookSwitchModes;
  // Left out, the provider speaks 2.1: 2.2 adds PermanentPhoneGuid.
};
using LPPHONECAPS = PHONECAPS*;
static_assert(sizeof(PHONECAPS) == 180);
static_assert(offsetof(PHONECAPS, dwTotalSize) == 0);
static_assert(offsetof(PHONECAPS, dwNeededSize) == 4);
static_assert(offsetof(PHONECAPS, dwUsedSize) == 8);
static_assert(offsetof(PHONECAPS, dwProviderInfoSize) == 12);
static_assert(offsetof(PHONECAPS, dwProviderInfoOffset) == 16);
static_assert(offsetof(PHONECAPS, dwPhoneInfoSize) == 20);
static_assert(offsetof(PHONECAPS, dwPhoneInfoOffset) == 24);
static_assert(offsetof(PHONECAPS, dwPermanentPhoneID) == 28);
static_assert(offsetof(PHONECAPS, dwPhoneNameSize) == 32);
static_assert(offsetof(PHONECAPS, dwPhoneNameOffset) == 36);
static_assert(offsetof(PHONECAPS, dwStringFormat) == 40);
static_assert(offsetof(PHONECAPS, dwPhoneStates) == 44);
static_assert(offsetof(PHONECAPS, dwHookSwitchDevs) == 48);
static_assert(offsetof(PHONECAPS, dwHandsetHookSwitchModes) == 52);
static_assert(offsetof(PHONECAPS, dwSpeakerHookSwitchModes) == 56);
static_assert(offsetof(PHONECAPS, dwHeadsetHookSwitchModes) == 60);
static_assert(offsetof(PHONECAPS, dwVolumeFlags) == 64);
static_assert(offsetof(PHONECAPS, dwGainFlags) == 68);
static_assert(offsetof(PHONECAPS, dwDisplayNumRows) == 72);
static_assert(offsetof(PHONECAPS, dwDisplayNumColumns) == 76);
static_assert(offsetof(PHONECAPS, dwNumRingModes) == 80);
static_assert(offsetof(PHONECAPS, dwNumButtonLamps) == 84);
static_assert(offsetof(PHONECAPS, dwButtonModesSize) == 88);
static_assert(offsetof(PHONECAPS, dwButtonModesOffset) == 92);
static_assert(offsetof(PHONECAPS, dwButtonFunctionsSize) == 96);
static_assert(offsetof(PHONECAPS, dwButtonFunctionsOffset) == 100);
static_assert(offsetof(PHONECAPS, dwLampModesSize) == 104);
static_assert(offsetof(PHONECAPS, dwLampModesOffset) == 108);
static_assert(offsetof(PHONECAPS, dwNumSetData) == 112);
static_assert(offsetof(PHONECAPS, dwSetDataSize) == 116);
static_assert(offsetof(PHONECAPS, dwSetDataOffset) == 120);
static_assert(offsetof(PHONECAPS, dwNumGetData) == 124);
static_assert(offsetof(PHONECAPS, dwGetDataSize) == 128);
static_assert(offsetof(PHONECAPS, dwGetDataOffset) == 132);
static_assert(offsetof(PHONECAPS, dwDevSpecificSize) == 136);
static_assert(offsetof(PHONECAPS, dwDevSpecificOffset) == 140);
static_assert(offsetof(PHONECAPS, dwDeviceClassesSize) == 144);
static_assert(offsetof(PHONECAPS, dwDeviceClassesOffset) == 148);
static_assert(offsetof(PHONECAPS, dwPhoneFeatures) == 152);
static_assert(offsetof(PHONECAPS, dwSettableHandsetHookSwitchModes) == 156);
static_assert(offsetof(PHONECAPS, dwSettableSpeakerHookSwitchModes) == 160);
static_assert(offsetof(PHONECAPS, dwSettableHeadsetHookSwitchModes) == 164);
static_assert(offsetof(PHONECAPS, dwMonitoredHandsetHookSwitchModes) == 168);
static_assert(offsetof(PHONECAPS, dwMonitoredSpeakerHookSwitchModes) == 172);
static_assert(offsetof(PHONECAPS, dwMonitoredHeadsetHookSwitchModes) == 176);

// Current status of a phone device.
struct PHONESTATUS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwStatusFlags;
  DWORD dwNumOwners;
  DWORD dwNumMonitors;
  DWORD dwRingMode;
  DWORD dwRingVolume;
  DWORD dwHandsetHookSwitchMode;
  DWORD dwHandsetVolume;
  DWORD dwHandsetGain;
  DWORD dwSpeakerHookSwitchMode;
  DWORD dwSpeakerVolume;
  DWORD dwSpeakerGain;
  DWORD dwHeadsetHookSwitchMode;
  DWORD dwHeadsetVolume;
  DWORD dwHeadsetGain;
  DWORD dwDisplaySize;
  DWORD dwDisplayOffset;
  DWORD dwLampModesSize;
  DWORD dwLampModesOffset;
  DWORD dwOwnerNameSize;
  DWORD dwOwnerNameOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwPhoneFeatures;
};
using LPPHONESTATUS = PHONESTATUS*;
static_assert(sizeof(PHONESTATUS) == 104);
static_assert(offsetof(PHONESTATUS, dwTotalSize) == 0);
static_assert(offsetof(PHONESTATUS, dwNeededSize) == 4);
static_assert(offsetof(PHONESTATUS, dwUsedSize) == 8);
static_assert(offsetof(PHONESTATUS, dwStatusFlags) == 12);
static_assert(offsetof(PHONESTATUS, dwNumOwners) == 16);
static_assert(offsetof(PHONESTATUS, dwNumMonitors) == 20);
static_assert(offsetof(PHONESTATUS, dwRingMode) == 24);
static_assert(offsetof(PHONESTATUS, dwRingVolume) == 28);
static_assert(offsetof(PHONESTATUS, dwHandsetHookSwitchMode) == 32);
static_assert(offsetof(PHONESTATUS, dwHandsetVolume) == 36);
static_assert(offsetof(PHONESTATUS, dwHandsetGain) == 40);
static_assert(offsetof(PHONESTATUS, dwSpeakerHookSwitchMode) == 44);
static_assert(offsetof(PHONESTATUS, dwSpeakerVolume) == 48);
static_assert(offsetof(PHONESTATUS, dwSpeakerGain) == 52);
static_assert(offsetof(PHONESTATUS, dwHeadsetHookSwitchMode) == 56);
static_assert(offsetof(PHONESTATUS, dwHeadsetVolume) == 60);
static_assert(offsetof(PHONESTATUS, dwHeadsetGain) == 64);
static_assert(offsetof(PHONESTATUS, dwDisplaySize) == 68);
static_assert(offsetof(PHONESTATUS, dwDisplayOffset) == 72);
static_assert(offsetof(PHONESTATUS, dwLampModesSize) == 76);
static_assert(offsetof(PHONESTATUS, dwLampModesOffset) == 80);
static_assert(offsetof(PHONESTATUS, dwOwnerNameSize) == 84);
static_assert(offsetof(PHONESTATUS, dwOwnerNameOffset) == 88);
static_assert(offsetof(PHONESTATUS, dwDevSpecificSize) == 92);
static_assert(offsetof(PHONESTATUS, dwDevSpecificOffset) == 96);
static_assert(offsetof(PHONESTATUS, dwPhoneFeatures) == 100);

// Description of one phone button.
struct PHONEBUTTONINFO {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwButtonMode;
  DWORD dwButtonFunction;
  DWORD dwButtonTextSize;
  DWORD dwButtonTextOffset;
  DWORD dwDevSpecificSize;
  DWORD dwDevSpecificOffset;
  DWORD dwButtonState;
};
using LPPHONEBUTTONINFO = PHONEBUTTONINFO*;
static_assert(sizeof(PHONEBUTTONINFO) == 40);
static_assert(offsetof(PHONEBUTTONINFO, dwTotalSize) == 0);
static_assert(offsetof(PHONEBUTTONINFO, dwNeededSize) == 4);
static_assert(offsetof(PHONEBUTTONINFO, dwUsedSize) == 8);
static_assert(offsetof(PHONEBUTTONINFO, dwButtonMode) == 12);
static_assert(offsetof(PHONEBUTTONINFO, dwButtonFunction) == 16);
static_assert(offsetof(PHONEBUTTONINFO, dwButtonTextSize) == 20);
static_assert(offsetof(PHONEBUTTONINFO, dwButtonTextOffset) == 24);
static_assert(offsetof(PHONEBUTTONINFO, dwDevSpecificSize) == 28);
static_assert(offsetof(PHONEBUTTONINFO, dwDevSpecificOffset) == 32);
static_assert(offsetof(PHONEBUTTONINFO, dwButtonState) == 36);

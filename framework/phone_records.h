// Parameter records of the phone requests (this provider creates no phones; the framework
// keeps them for derived providers).
//
// Contract: copies of TAPI buffers come from AllocBuffer and are freed with the record; the
// buffer of phoneGetData is TAPI's, filled later, and never freed here.
#pragma once

#include "platform/afx.h"

// phoneSetDisplay (REQUEST_PHONESETDISPLAY).
class TSPIPHONESETDISPLAY : public CObject {
 public:
  TSPIPHONESETDISPLAY() = default;
  ~TSPIPHONESETDISPLAY() override;

  DWORD dwRow = 0;
  DWORD dwColumn = 0;
  LPVOID lpvDisplay = nullptr;  // copy of the display text, or NULL
  DWORD dwSize = 0;
};

// phoneSetData (REQUEST_PHONESETDATA) and phoneGetData (REQUEST_PHONEGETDATA).
class TSPIPHONEDATA : public CObject {
 public:
  TSPIPHONEDATA() = default;
  ~TSPIPHONEDATA() override;

  DWORD dwDataID = 0;
  LPVOID lpBuffer = nullptr;  // set: a copy; get: TAPI's buffer, filled later
  DWORD dwSize = 0;
  BOOL bOwnsBuffer = FALSE;  // TRUE for the copy of phoneSetData, which the record frees
};

// phoneSetGain, phoneSetHookSwitch, phoneSetVolume.
class TSPIHOOKSWITCHPARAM : public CObject {
 public:
  TSPIHOOKSWITCHPARAM() = default;

  DWORD dwHookSwitchDevice = 0;  // PHONEHOOKSWITCHDEV_* device or devices
  DWORD dwParam = 0;             // gain, hookswitch mode or volume
};

// phoneSetRing (REQUEST_PHONESETRING).
class TSPIRINGPATTERN : public CObject {
 public:
  TSPIRINGPATTERN() = default;

  DWORD dwRingMode = 0;
  DWORD dwVolume = 0;
};

// phoneSetButtonInfo (REQUEST_PHONESETBUTTONINFO) and phoneSetLamp (REQUEST_PHONESETLAMP).
class TSPISETBUTTONINFO : public CObject {
 public:
  TSPISETBUTTONINFO() = default;

  DWORD dwButtonLampID = 0;
  DWORD dwFunction = 0;  // 0 for a lamp
  DWORD dwMode = 0;      // button mode or lamp mode
  CString strText;       // empty for a lamp
};

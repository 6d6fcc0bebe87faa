// CTSPIPhoneConnection: one TAPI phone device (TAPI's HDRVPHONE is this object's address).
//
// Contract: created by the device through the provider's phone runtime class and initialised with
// Init (device, TAPI device ID, phone index, 0), which sets the permanent phone ID
// (provider ID << 16) + (index & 0x7FFF) with bit 0x8000 set (phones apart from lines) and the
// initial capabilities and status. The phone is closed while its TAPI handle is 0. This class
// holds the look-up fields the device, the queue and the entry points use now; the phone's
// operations extend it. This provider creates no phones.
#pragma once

#include "framework/connection.h"
#include "platform/tapi.h"

class CTSPIPhoneConnection : public CTSPIConnection {
  DECLARE_DYNCREATE(CTSPIPhoneConnection)
 public:
  CTSPIPhoneConnection();
  ~CTSPIPhoneConnection() override;

  using CTSPIConnection::Init;
  DWORD GetPermanentDeviceID() const override;
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override;

  // dwItemData is ignored by the library.
  virtual void Init(CTSPIDevice* pDevice, DWORD dwPhoneDeviceID, DWORD dwPos,
                    DWORD_PTR dwItemData = 0);

  HTAPIPHONE GetPhoneHandle() const;
  BOOL IsOpen() const { return GetPhoneHandle() != nullptr ? TRUE : FALSE; }
  PHONEEVENT GetPhoneEventCallback() const;
  // Copies taken under the lock.
  PHONECAPS GetPhoneCaps() const;
  PHONESTATUS GetPhoneStatus() const;

 protected:
  // Derived classes change these under the object's lock.
  HTAPIPHONE m_htPhone = nullptr;
  PHONECAPS m_PhoneCaps{};
  PHONESTATUS m_PhoneStatus{};
  PHONEEVENT m_lpfnEventProc = nullptr;
};

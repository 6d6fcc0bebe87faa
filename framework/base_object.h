// CTSPIBaseObject: the base of every framework object (device, connection, address, call).
// Each object carries its own recursive lock; derived classes read and write their members while
// holding it, through CSingleLock on GetSyncObject(). The item data is a DWORD for derived
// classes, 0 at construction, never interpreted by the framework.
//
// Lock order. A thread that holds a lock may wait for any lock further down this list, never for
// one further up: a lock further up is only tried (Lock(0); what is busy is skipped and done
// later), or the lock held is released first and taken again afterwards.
//    1. the provider's start-up and shutdown lock (providerInit, providerShutdown, ExitInstance)
//    2. a derived line's event gate, which lets one of its call events, or its open's
//       announcement of the calls TAPI does not know yet, run at a time; taken holding nothing
//    3. a call; two calls are never held together except by trying the second
//    4. its conference call
//    5. the address
//    6. the line or phone (the connection's lock, which also guards its request queue)
//    7. the provider's device list
//    8. the device
//    9. the provider's timed-call list
//   10. the link: its control lock, then its lock with the send queue, then its trace lock
//   11. the registry
// Plain mutexes inside one object (a connection's unlink counter, a line's event-delivery gate,
// the platform's handle table and event state, a derived device's index of its lines) are taken
// last and hold nothing else; the delivery gate is never held over TAPI's callback.
// Waiting for a thread to end, or for an event that another thread sets, counts as taking every
// lock that thread takes on its way there. The thread-sanitizer build reports any two of these
// locks taken in both orders, and knows a try.
// A line's close and a call's close wait for the line's event deliveries in progress; that wait
// counts as taking every lock a delivering thread holds over TAPI's callback (a derived line's
// event gate, the locks a sender holds), so both closes wait holding no lock at all. A close on
// a thread that is itself inside a delivery (a callback that closes) does not wait.
//
// Where the work runs against the order, and what is done instead:
//  - The timer thread serves calls from a copy of the timed-call list: it takes a reference on
//    each under the list lock and serves them without it (serving sends line events); serving a
//    call only tries the call's lock.
//  - A line never calls an address or a call while it holds its own lock: it copies the address
//    list first, and fails queued requests first and applies their effect on calls afterwards.
//  - The device hands out a line only after releasing its lock.
//  - Starting or stopping a device's link, which waits for the link's worker, and shutting down,
//    which waits for the timer thread and the device's interval thread, hold no object lock.
// The call, conference and address classes keep to the order the same way:
//  - A call's state change recomputes the features of the line's other calls while it holds its
//    own lock: it only tries their locks (and its line's and addresses'), skipping what is busy.
//  - A conference call decides under its lock which members change and changes them after
//    releasing it; so do an address that removes a call or hands its calls a media-control
//    record and a line that sets calls IDLE after a resynchronisation: they copy the calls, with
//    references, under their locks and call them without. A call that goes clears the calls
//    still pointing at it the same way, holding no call's lock.
//  - A call's state change sends its LINE_CALLSTATE after releasing the call's lock, once the
//    features that a busy address or line kept from it have been computed with waiting locks.
//  - lineMakeCall checks the line under its lock and queues after releasing it; a make-call
//    slot reserved at the check keeps a second one from passing in between.
#pragma once

#include "framework/int_critical_section.h"
#include "platform/afx.h"

class CTSPIBaseObject : public CObject {
  DECLARE_DYNAMIC(CTSPIBaseObject)

 public:
  CTSPIBaseObject();
  ~CTSPIBaseObject() override;

  // The object's lock, for CSingleLock.
  CIntCriticalSection* GetSyncObject() const { return &m_csLock; }

  DWORD GetItemData() const;
  void SetItemData(DWORD dwItem);

 protected:
  mutable CIntCriticalSection m_csLock;
  DWORD m_dwItemData = 0;
};

#include "framework/media_records.h"

#include "framework/record_copies.h"

TSPIGENERATE::~TSPIGENERATE() {
  FreeEntryCopies(arrTones);
}

TSPITONEMONITOR::~TSPITONEMONITOR() {
  FreeEntryCopies(arrTones);
}

void TSPIMEDIACONTROL::AddRef() {
  m_lRefCount.fetch_add(1);
}

void TSPIMEDIACONTROL::Release() {
  if (m_lRefCount.fetch_sub(1) <= 1) delete this;
}

TSPIMEDIACONTROL::~TSPIMEDIACONTROL() {
  FreeEntryCopies(arrDigits);
  FreeEntryCopies(arrMedia);
  FreeEntryCopies(arrTones);
  FreeEntryCopies(arrCallStates);
}

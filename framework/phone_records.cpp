#include "framework/phone_records.h"

#include "framework/alloc_buffer.h"

TSPIPHONESETDISPLAY::~TSPIPHONESETDISPLAY() {
  FreeBuffer(lpvDisplay);
}

TSPIPHONEDATA::~TSPIPHONEDATA() {
  if (bOwnsBuffer) FreeBuffer(lpBuffer);
}

// CADObArray: a CObArray that owns its elements.
//
// Contract: the destructor deletes every non-null element (through its virtual destructor) in
// index order, then empties the array. Removing an element does not delete it: whoever removes
// it deletes it. The run-time class stays that of CObArray.
#pragma once

#include "platform/afxcoll.h"

class CADObArray : public CObArray {
 public:
  CADObArray() = default;
  ~CADObArray() override {
    for (INT_PTR i = 0; i < GetSize(); ++i) delete GetAt(i);
    RemoveAll();
  }
};

// The calls that TAPI may name with an HDRVCALL: a call is added once its address has listed it
// and removed when its address lets go of it (or it is destroyed), so that a handle from TAPI is
// checked without being dereferenced.
#pragma once

#include "framework/live_object_set.h"

class CTSPICallAppearance;

CLiveObjectSet<CTSPICallAppearance>& GetTSPILiveCalls();

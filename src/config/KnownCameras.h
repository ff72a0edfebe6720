// A new discovery must not wipe the operator's work: each discovered camera that the
// current list already held keeps its custom name (and with it its recording folder)
// and its recording choice. A camera is matched by identity; an entry of the current
// list without one (a list kept before keys were) is matched by DeviceName, when
// exactly one discovered and one known camera carry that name. Pure: any thread.
#pragma once

#include <vector>

#include "common/DeviceInfo.h"

// Copies CustomDeviceName and RecordFlag of the matching known camera into each
// discovered one; the others stay as discovered. Returns how many were matched.
int KeepOperatorChoices(std::vector<DeviceInfo>& discovered, const std::vector<DeviceInfo>& known);

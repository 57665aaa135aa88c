#pragma once
// Which Bitcoin addresses may be deleted: the state's deletion and the address list's trash
// button follow the same rule.

#include "state/BTCAccountState.h"

namespace qm {

// Not the first address, answered for by a server, and with neither balance nor history.
bool canDeleteAddress(const BTCAddressInfo& address);

} // namespace qm

#include "state/BTCAddressDeletion.h"

namespace qm {

bool canDeleteAddress(const BTCAddressInfo& address) {
    // A balance of 0 means nothing until a server has said so.
    return address.id > 0 && address.fetched && address.balanceSats == 0 && address.txCount == 0;
}

} // namespace qm

// The backup file's header reader and payload decoder on arbitrary bytes: they must refuse
// with BackupError, never crash, and whatever decodes must encode and decode to the same.
#include "core/storage/WalletBackup.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    try {
        const qm::WalletBackup::SealedFile sealed = qm::WalletBackup::readHeader(input);
        if (sealed.salt.size() != 16 || sealed.box.size() + 21 != size) {
            std::abort();
        }
    } catch (const qm::BackupError&) {
    }
    try {
        const qm::WalletBackup::Payload payload = qm::WalletBackup::decodePayload(input);
        const qm::Bytes encoded = qm::WalletBackup::encodePayload(payload);
        if (!(qm::WalletBackup::decodePayload(encoded) == payload)) {
            std::abort();
        }
    } catch (const qm::BackupError&) {
    }
    return 0;
}

#include "state/signing/DerivedAccounts.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"
#include "services/evm/EthereumAddress.h"
#include "state/AccountDerivation.h"

#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[AppState] " << line << std::endl;
}

constexpr const char* solanaPath = "m/44'/501'/0'/0'";

} // namespace

DerivedAccounts deriveAccounts(ByteView seed, const ExtendedKey& master,
                               const BTCAddressIndices& indices) {
    DerivedAccounts result;
    result.indices = indices;
    try {
        const ExtendedKey receive = bitcoinReceiveChain(master);
        std::vector<BTCAddressInfo> addresses;
        for (const std::uint32_t index : indices.indices) {
            try {
                addresses.push_back(
                    bitcoinAddress(receive, index, static_cast<std::int64_t>(addresses.size())));
            } catch (const std::exception& error) {
                log("Skipped Bitcoin receive index " + std::to_string(index) + ": " + error.what());
            }
        }
        if (!addresses.empty() && addresses.front().derivationIndex == 0) {
            BTCAccountState state;
            state.account = Account{accountID(Chain::bitcoin, 0), Chain::bitcoin, 0,
                                    addresses.front().address, addresses.front().derivationPath};
            state.compressedPublicKey = addresses.front().compressedPublicKey;
            state.addresses = std::move(addresses);
            result.bitcoin = std::move(state);
        }
    } catch (const std::exception& error) {
        log(std::string("Could not derive the Bitcoin account: ") + error.what());
    }

    try {
        const ExtendedKey key = evmAccountKey(master, 0);
        result.evmAddress = ethereumAddress(Secp256k1::shared().uncompressedPublicKey(key.key));
    } catch (const std::exception& error) {
        // No made-up address may reach a receive screen.
        log(std::string("Could not derive the EVM account: ") + error.what());
    }

    try {
        const SecureBytes key = solanaPrivateKey(seed);
        Bytes publicKey = crypto::ed25519PublicKey(key);
        if (publicKey.size() == 32) {
            SolanaAccountState state;
            state.account = Account{accountID(Chain::solana, 0), Chain::solana, 0,
                                    base58Encode(publicKey), solanaPath};
            state.publicKey = std::move(publicKey);
            result.solana = std::move(state);
        }
    } catch (const std::exception& error) {
        log(std::string("Could not derive the Solana account: ") + error.what());
    }
    return result;
}

} // namespace qm

#pragma once
// A send of SOL prepared once, shown as prepared, signed as shown: the sender, the recipient's
// 32 bytes, the lamports and the one signature's fixed fee. The send builds its one transfer
// with a fresh blockhash (runSolanaSend).

#include "platform/Bytes.h"

#include <QPointer>
#include <cstdint>
#include <string>

namespace qm {

class AppState;

// What the user asked for.
struct SolanaSendForm {
    std::string recipient; // as typed
    std::uint64_t lamports = 0;
};

struct SolanaPreparedSend {
    // Solana's fee for one signature, in lamports.
    static constexpr std::uint64_t feeLamports = 5000;

    SolanaSendForm form;
    Bytes sender; // the Solana account's public key
    Bytes recipient;
    std::uint64_t lamports = 0;
    std::uint64_t fee = feeLamports;
};

// `form` from the first Solana account: throws SendError noAccount, invalidAddress (not 32
// bytes of Base58) and invalidAmount (zero, or an amount whose total with the fee passes 64
// bits).
SolanaPreparedSend prepareSolanaSend(QPointer<AppState> state, SolanaSendForm form);

} // namespace qm

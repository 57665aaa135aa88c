#include "state/send/SolanaPreparedSend.h"

#include "state/AppState.h"
#include "state/send/SendError.h"
#include "state/send/SendRecipients.h"

#include <limits>

namespace qm {

SolanaPreparedSend prepareSolanaSend(QPointer<AppState> state, SolanaSendForm form) {
    if (!state || state->solanaAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    std::optional<Bytes> recipient = solanaRecipientBytes(form.recipient);
    if (!recipient) {
        throw SendError(SendError::Code::invalidAddress);
    }
    if (form.lamports == 0 || form.lamports > std::numeric_limits<std::uint64_t>::max() -
                                                  SolanaPreparedSend::feeLamports) {
        throw SendError(SendError::Code::invalidAmount);
    }
    SolanaPreparedSend prepared;
    prepared.sender = state->solanaAccounts().front().publicKey;
    prepared.recipient = std::move(*recipient);
    prepared.lamports = form.lamports;
    prepared.form = std::move(form);
    return prepared;
}

} // namespace qm

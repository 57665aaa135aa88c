#pragma once
// What a review says of an earlier attempt that binds the signing it is about to make: the
// replacement the user is about to sign, seen as such before the password is asked for, and the
// fee it must pay to replace it.

#include "core/model/Chain.h"
#include "state/flows/EVMReplacementFee.h"

#include <QString>
#include <optional>
#include <string>

namespace qm {

class AppState;

// The note of the latest attempt of the wallet's first account on `chain` that the user was
// told failed (or never heard of), while it is unsettled: "This replaces your earlier send of …
// that may still go through." Empty when there is none, or when it is the very payment under
// review (sent from `origin` with the texts `summary` and `detail`): pressing again sends it
// again.
QString earlierAttemptReviewNote(const AppState& state, Chain chain, const std::string& origin,
                                 const QString& summary, const QString& detail);

// What a pool asks of a transaction of the wallet's first account on the EVM chain `chain` that
// takes the nonce of the latest attempt the user was told failed (or never heard of), while it is
// unsettled: the floor over every attempt at that nonce (EVMReplacementFee.h), which the review
// shows as part of the fee. None when there is none (and off the EVM chains).
std::optional<EVMFeeFloor> earlierAttemptFeeFloor(const AppState& state, Chain chain);

} // namespace qm

#pragma once
// What a review says of an earlier attempt that binds the signing it is about to make: the
// replacement the user is about to sign, seen as such before the password is asked for.

#include "core/model/Chain.h"

#include <QString>
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

} // namespace qm

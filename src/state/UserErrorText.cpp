#include "state/UserErrorText.h"

#include "services/network/HttpSession.h"

#include <iostream>

namespace qm {

QString userErrorText(const std::exception& error) {
    const auto* transport = dynamic_cast<const HttpTransportError*>(&error);
    if (!transport || transport->unreachableText().empty()) {
        return QString::fromUtf8(error.what());
    }
    switch (transport->kind()) {
    case HttpTransportError::Kind::aborted:
    case HttpTransportError::Kind::tooLarge:
        return QString::fromUtf8(error.what());
    case HttpTransportError::Kind::timedOut:
    case HttpTransportError::Kind::connectionFailed:
    case HttpTransportError::Kind::tlsFailed:
    case HttpTransportError::Kind::other:
        break;
    }
    std::cout << "[Network] " << transport->unreachableText() << ": " << error.what() << std::endl;
    return QString::fromStdString(transport->unreachableText());
}

} // namespace qm

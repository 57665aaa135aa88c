#include "state/UserErrorText.h"

#include "services/network/HttpSession.h"
#include "services/walletconnect/RelayError.h"

#include <iostream>

namespace qm {

QString userErrorText(const std::exception& error) {
    if (const auto* relay = dynamic_cast<const RelayError*>(&error);
        relay && relay->unreachable()) {
        std::cout << "[Network] " << relayUnreachableText << ": " << error.what() << std::endl;
        return QString::fromUtf8(relayUnreachableText);
    }
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

#include "ui/portfolio/AddTokenViewModel.h"

#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20Resolver.h"
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "ui/shell/WalletShell.h"

#include <algorithm>
#include <exception>

namespace qm {
namespace {

// Takes `token` out of the in-memory list again after its file write failed, so that what
// the wallet shows matches what the next launch reads.
void forgetUnsavedToken(TokenStore& store, const Token& token) {
    const auto list = store.tokensByChain.find(rawValue(token.chain));
    if (list == store.tokensByChain.end()) {
        return;
    }
    const auto last = std::find(list->second.rbegin(), list->second.rend(), token);
    if (last != list->second.rend()) {
        list->second.erase(std::next(last).base());
    }
    if (list->second.empty()) {
        store.tokensByChain.erase(list);
    }
}

QCoro::Task<void> nothing() {
    co_return;
}

} // namespace

bool hasContractAddressShape(const QString& trimmedText) {
    return trimmedText.size() == 42 && trimmedText.startsWith(QStringLiteral("0x"));
}

AddTokenViewModel::AddTokenViewModel(QObject* parent)
    : AddTokenViewModel(WalletShell::installedState(), parent) {}

AddTokenViewModel::AddTokenViewModel(AppState* state, QObject* parent)
    : QObject(parent), m_state(state) {}

AddTokenViewModel::~AddTokenViewModel() {
    dropLookup();
}

void AddTokenViewModel::setChain(int chain) {
    if (chain < 0 || static_cast<std::size_t>(chain) >= chainCount || chain == this->chain()) {
        return;
    }
    m_chain = allChains()[static_cast<std::size_t>(chain)];
    emit chainChanged();
}

QString AddTokenViewModel::chainLabel() const {
    return QStringLiteral("on ") + QString::fromStdString(displayName(m_chain));
}

void AddTokenViewModel::setContractAddress(const QString& text) {
    if (text == m_contractAddress) {
        return;
    }
    m_contractAddress = text;
    emit contractAddressChanged();
    const QString trimmed = text.trimmed();
    if (hasContractAddressShape(trimmed)) {
        startLookup(trimmed.toStdString());
        return;
    }
    // No lookup belongs to this text: one still running is dropped with its answer.
    dropLookup();
    m_isResolving = false;
    m_resolved.reset();
    m_errorMessage.clear();
    emit stateChanged();
}

QString AddTokenViewModel::resolvedName() const {
    return m_resolved ? QString::fromStdString(m_resolved->name) : QString();
}

QString AddTokenViewModel::resolvedSymbol() const {
    return m_resolved ? QString::fromStdString(m_resolved->symbol) : QString();
}

QString AddTokenViewModel::resolvedDecimals() const {
    return m_resolved ? QString::number(m_resolved->decimals) : QString();
}

QString AddTokenViewModel::addButtonText() const {
    return m_resolved ? QStringLiteral("Add ") + resolvedSymbol() : QStringLiteral("Add Token");
}

void AddTokenViewModel::dropLookup() {
    ++m_generation;
    if (m_lookup) {
        m_lookup->cancel();
        m_lookup.reset();
    }
}

void AddTokenViewModel::startLookup(std::string address) {
    dropLookup();
    m_isResolving = true;
    m_errorMessage.clear();
    m_resolved.reset();
    emit stateChanged();
    const std::uint64_t generation = m_generation;
    m_lookup = TaskHandle::spawn(
        this, [this, address = std::move(address), generation](CancellationToken cancel) {
            return resolve(address, generation, std::move(cancel));
        });
}

QCoro::Task<void> AddTokenViewModel::resolve(std::string address, std::uint64_t generation,
                                             CancellationToken cancel) {
    QPointer<AddTokenViewModel> self(this);
    if (!m_state) {
        co_return;
    }
    const Chain chain = m_chain;
    std::shared_ptr<JSONRPCClient> client = m_state->networkManager().evmClient(chain);
    std::optional<Token> token;
    QString failure;
    try {
        QCoro::Task<Token> lookup = ERC20Resolver::resolve(address, chain, client, cancel);
        token = co_await std::move(lookup);
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    }
    // The sheet may have closed, or the field moved on to another text, while it ran.
    if (!self || generation != m_generation || cancel.isCancelled() ||
        m_contractAddress.trimmed().toStdString() != address) {
        co_return;
    }
    m_lookup.reset();
    m_isResolving = false;
    if (token) {
        m_resolved = std::move(token);
    } else {
        m_errorMessage = failure;
    }
    emit stateChanged();
}

void AddTokenViewModel::addToken() {
    if (!m_resolved || m_isResolving || !m_state) {
        return;
    }
    TokenStore& store = m_state->tokenStore();
    if (store.add(*m_resolved) == TokenStore::AddResult::notSaved) {
        forgetUnsavedToken(store, *m_resolved);
        m_errorMessage = QString::fromStdString(store.lastSaveError());
        emit stateChanged();
        return;
    }
    emit added();
    // Kept by nobody: the refresh runs on after the sheet has gone.
    QPointer<AppState> state = m_state;
    TaskHandle::spawn(state, [state](CancellationToken token) {
        return state ? state->refreshAll(std::move(token)) : nothing();
    });
}

} // namespace qm

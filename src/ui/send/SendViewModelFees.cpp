// The send form's fee estimate: Bitcoin's three Electrum estimates at once, the EVM max fee
// (the gas estimate times the fee cap of the level, as a send signs it), Solana's fixed fee.
// Every figure is an integer of base units; the texts are their exact values. The review shows
// the prepared send's own figures (SendViewModelReview.cpp).
#include "core/encoding/Hex.h"
#include "platform/async/WhenAll.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/send/SendRecipients.h"
#include "ui/send/SendViewModel.h"
#include "ui/shell/SidebarItems.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <memory>

namespace qm {
namespace {

// The size the Bitcoin estimate assumes: one input and two outputs (140.5 vB, rounded up).
constexpr std::uint64_t bitcoinEstimateVBytes = 141;

UInt256 fromUInt64(std::uint64_t value) {
    return {0, 0, 0, value};
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// One estimate into `result`; a failed request leaves it empty.
QCoro::Task<void> estimateInto(std::shared_ptr<ElectrumClient> client, std::int64_t blocks,
                               std::optional<double>& result) {
    try {
        QCoro::Task<double> asking = client->estimateFee(blocks);
        result = co_await std::move(asking);
    } catch (const std::exception&) {
        result.reset();
    }
}

BTCFeeRate rateOf(BTCFeeLevel level, const std::optional<double>& estimate) {
    return estimate ? BTCFeeRate::fromEstimate(level, *estimate) : BTCFeeRate::fallback(level);
}

QString exact(const UInt256& value, unsigned decimals, const std::string& symbol) {
    return text(Amount{value, decimals}.exactText() + " " + symbol);
}

// A figure of the endpoint, or none when the request failed.
QCoro::Task<std::optional<UInt256>> orNone(QCoro::Task<UInt256> request) {
    try {
        co_return co_await std::move(request);
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

// The gas the transfer needs by the node's estimate, at least `floor`; `floor` when the
// estimate fails (a recipient the estimate cannot judge yet).
QCoro::Task<std::uint64_t> gasOrFloor(std::shared_ptr<JSONRPCClient> client, std::string from,
                                      std::string to, Bytes data, std::uint64_t floor,
                                      CancellationToken token) {
    try {
        QCoro::Task<std::uint64_t> estimating = client->estimateGas(
            std::move(from), std::move(to), std::nullopt,
            data.empty() ? std::nullopt : std::optional(bytesToHex(data)), std::move(token));
        co_return std::max(floor, co_await std::move(estimating));
    } catch (const std::exception&) {
        co_return floor;
    }
}

} // namespace

void SendViewModel::refreshFees() {
    if (m_feeTask) {
        m_feeTask->cancel();
    }
    setIsFetchingFees(true);
    m_feeTask = TaskHandle::spawn(
        this, [this](CancellationToken token) { return estimateFees(std::move(token)); });
}

QCoro::Task<void> SendViewModel::estimateFees(CancellationToken token) {
    const QPointer<SendViewModel> self(this);
    setIsFetchingFees(true);
    if (m_chain == Chain::bitcoin) {
        QCoro::Task<void> estimating = estimateBitcoin(token);
        co_await std::move(estimating);
    } else if (isEVMChain(m_chain)) {
        QCoro::Task<void> estimating = estimateEVM(token);
        co_await std::move(estimating);
    } else {
        estimateSolana();
    }
    // Only the estimate still current settles the flag: a newer one has set it again.
    if (self && !token.isCancelled()) {
        setIsFetchingFees(false);
    }
}

QCoro::Task<void> SendViewModel::estimateBitcoin(CancellationToken token) {
    const QPointer<SendViewModel> self(this);
    AppState* state = appState();
    if (!state || token.isCancelled()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting =
        state->networkManager().connectedElectrumClient(token);
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    if (!self || token.isCancelled()) {
        co_return;
    }
    if (!client) {
        setFeesAsked(true); // the rates stay as they were
        co_return;
    }
    // Fast, normal and slow side by side.
    std::array<std::optional<double>, 3> estimates;
    const std::array<BTCFeeLevel, 3> levels{BTCFeeLevel::fast, BTCFeeLevel::normal,
                                            BTCFeeLevel::economy};
    std::vector<QCoro::Task<void>> children;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        children.push_back(estimateInto(client, feeTargetBlocks(levels[i]), estimates[i]));
    }
    QCoro::Task<void> all = whenAll(std::move(children));
    co_await std::move(all);
    if (!self || token.isCancelled()) {
        co_return;
    }
    BTCFeeSnapshot snapshot;
    snapshot.fast = rateOf(levels[0], estimates[0]);
    snapshot.normal = rateOf(levels[1], estimates[1]);
    snapshot.slow = rateOf(levels[2], estimates[2]);
    setFeeSnapshot(std::move(snapshot));
    setFeesAsked(true);
    applyBitcoinFee();
}

void SendViewModel::applyBitcoinFee() {
    const BTCFeeRate& rate = m_selectedFeeLevel == FeeLevel::Fast     ? m_feeSnapshot.fast
                             : m_selectedFeeLevel == FeeLevel::Normal ? m_feeSnapshot.normal
                                                                      : m_feeSnapshot.slow;
    // Sending everything, once a send found its size, is estimated at that size.
    const std::uint64_t vbytes = m_sendsEverything
                                     ? m_everythingVBytes.value_or(bitcoinEstimateVBytes)
                                     : bitcoinEstimateVBytes;
    const std::optional<UInt256> fee =
        fromUInt64(rate.satPerVByte).checkedMultiply(fromUInt64(vbytes));
    const std::optional<std::uint64_t> feeSats = fee ? fee->toUInt64() : std::nullopt;
    if (!feeSats) {
        return; // a rate no transaction could pay: the fields stay as they were
    }
    showBitcoinFee(rate.satPerVByte, *feeSats);
}

void SendViewModel::showBitcoinFee(std::uint64_t satPerVByte, std::uint64_t feeSats) {
    BTCFeeSnapshot snapshot = m_feeSnapshot;
    BTCFeeRate& rate = m_selectedFeeLevel == FeeLevel::Fast     ? snapshot.fast
                       : m_selectedFeeLevel == FeeLevel::Normal ? snapshot.normal
                                                                : snapshot.slow;
    rate.satPerVByte = satPerVByte;
    setFeeSnapshot(std::move(snapshot));
    const Amount fee{fromUInt64(feeSats), 8};
    std::optional<QString> total;
    if (const std::optional<UInt256> amount = parsedAmount()) {
        if (const std::optional<UInt256> sum = amount->checkedAdd(fee.value)) {
            total = exact(*sum, 8, "BTC");
        }
    }
    setEstimate(fee, feeSats,
                exact(fee.value, 8, "BTC") + QStringLiteral(" (") + QString::number(satPerVByte) +
                    QStringLiteral(" sat/vB)"),
                total);
}

QCoro::Task<void> SendViewModel::estimateEVM(CancellationToken token) {
    const QPointer<SendViewModel> self(this);
    AppState* state = appState();
    const Chain chain = m_chain;
    if (!state || token.isCancelled() || state->evmAccounts(chain).empty()) {
        co_return;
    }
    const std::string sender = state->evmAccounts(chain).front().account.address;
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting =
        state->networkManager().connectedEVMClient(chain, token);
    const std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    if (!self || token.isCancelled() || !client) {
        co_return;
    }
    QCoro::Task<std::optional<UInt256>> asking = orNone(client->gasPrice(token));
    const std::optional<UInt256> gasPrice = co_await std::move(asking);
    if (!self || token.isCancelled() || !gasPrice || chain != m_chain) {
        co_return;
    }
    // The transfer as the send will make it, without its value: Max subtracts this fee from
    // the balance, and an estimate of the whole balance as value would be refused.
    const std::optional<Bytes> recipient = evmRecipientBytes(m_recipientAddress.toStdString());
    std::uint64_t gasLimit = m_selectedToken ? 65'000 : 21'000;
    if (recipient) {
        std::string to = bytesToHex(*recipient);
        Bytes data;
        if (m_selectedToken) {
            to = m_selectedToken->contractAddress;
            data = erc20TransferCalldata(*recipient, parsedAmount().value_or(UInt256()));
        }
        QCoro::Task<std::uint64_t> estimating =
            gasOrFloor(client, sender, std::move(to), std::move(data), gasLimit, token);
        gasLimit = co_await std::move(estimating);
        if (!self || token.isCancelled() || chain != m_chain) {
            co_return;
        }
    }
    // The max fee a send signs: the gas limit times the level's fee cap, or the cap that
    // replacing an earlier send asks when higher (as the review prepares it).
    std::optional<UInt256> cap =
        gasPrice->checkedMultiply(fromUInt64(evmFeeFactors(feeLevel()).feeCap));
    const std::optional<EVMFeeFloor> replacing =
        appState() ? earlierAttemptFeeFloor(*appState(), chain) : std::nullopt;
    if (cap && replacing) {
        cap = std::max(*cap, replacing->maxFeePerGas);
    }
    const std::optional<UInt256> feeWei =
        cap ? cap->checkedMultiply(fromUInt64(gasLimit)) : std::nullopt;
    if (!feeWei) {
        co_return;
    }
    const Amount fee{*feeWei, 18};
    const std::string& native = nativeSymbol(chain);
    std::optional<QString> total;
    if (const std::optional<UInt256> amount = parsedAmount()) {
        if (m_selectedToken) {
            total = exact(*amount, assetDecimals(), m_selectedToken->symbol) +
                    QStringLiteral(" + ") + exact(*feeWei, 18, native);
        } else if (const std::optional<UInt256> sum = amount->checkedAdd(*feeWei)) {
            total = exact(*sum, 18, native);
        }
    }
    setEstimate(fee, m_estimatedFeeSats,
                exact(*feeWei, 18, native) + QStringLiteral(" (") +
                    text(Amount{*cap, 9}.fixedText(1)) + QStringLiteral(" Gwei)"),
                total);
    if (m_maxPending && !m_selectedToken) {
        writeMaxAmount();
    }
}

void SendViewModel::estimateSolana() {
    const Amount fee{fromUInt64(SolanaPreparedSend::feeLamports), 9};
    std::optional<QString> total;
    if (const std::optional<UInt256> amount = parsedAmount()) {
        if (const std::optional<UInt256> sum = amount->checkedAdd(fee.value)) {
            total = exact(*sum, 9, "SOL");
        }
    }
    setEstimate(fee, m_estimatedFeeSats, exact(fee.value, 9, "SOL"), total);
}

void SendViewModel::setEstimate(std::optional<Amount> fee, std::uint64_t feeSats, QString feeText,
                                std::optional<QString> totalText) {
    // An amount that does not parse leaves the total as it was.
    QString total = totalText.value_or(m_estimatedTotalString);
    if (fee == m_estimatedFee && feeSats == m_estimatedFeeSats && feeText == m_estimatedFeeString &&
        total == m_estimatedTotalString) {
        return;
    }
    m_estimatedFee = std::move(fee);
    m_estimatedFeeSats = feeSats;
    m_estimatedFeeString = std::move(feeText);
    m_estimatedTotalString = std::move(total);
    emit estimateChanged();
}

void SendViewModel::setIsFetchingFees(bool fetching) {
    if (fetching != m_isFetchingFees) {
        m_isFetchingFees = fetching;
        emit isFetchingFeesChanged();
    }
}

void SendViewModel::setFeeSnapshot(BTCFeeSnapshot snapshot) {
    if (!(snapshot == m_feeSnapshot)) {
        m_feeSnapshot = std::move(snapshot);
        emit feeSnapshotChanged();
    }
}

void SendViewModel::setFeesAsked(bool asked) {
    if (asked != m_feesAsked) {
        m_feesAsked = asked;
        emit feeSnapshotChanged();
    }
}

QVariantMap SendViewModel::feeSnapshotMap() const {
    const auto entry = [this](const BTCFeeRate& rate) {
        // Until an estimate ends, a default is only what the level starts from.
        const QString rateText = rate.fromServer || m_feesAsked
                                     ? QString::number(rate.satPerVByte) + QStringLiteral(" sat/vB")
                                     : unknownFigureText();
        return QVariantMap{
            {QStringLiteral("satPerVByte"), QVariant::fromValue(rate.satPerVByte)},
            {QStringLiteral("label"), text(rate.label)},
            {QStringLiteral("estimatedMinutes"), QVariant::fromValue(rate.estimatedMinutes)},
            {QStringLiteral("rateText"), rateText}};
    };
    return {{QStringLiteral("slow"), entry(m_feeSnapshot.slow)},
            {QStringLiteral("normal"), entry(m_feeSnapshot.normal)},
            {QStringLiteral("fast"), entry(m_feeSnapshot.fast)}};
}

QString SendViewModel::feeRatesNote() const {
    if (m_chain != Chain::bitcoin || !m_feesAsked) {
        return {};
    }
    QStringList defaults;
    for (const auto& [rate, level] : {std::pair(&m_feeSnapshot.slow, FeeLevel::Slow),
                                      std::pair(&m_feeSnapshot.normal, FeeLevel::Normal),
                                      std::pair(&m_feeSnapshot.fast, FeeLevel::Fast)}) {
        if (!rate->fromServer) {
            defaults.append(feeLevelName(level));
        }
    }
    const QString reason = QStringLiteral(": the fee estimate could not be loaded.");
    switch (defaults.size()) {
    case 0:
        return {};
    case 1:
        return QStringLiteral("Default rate for ") + defaults[0] + reason;
    case 2:
        return QStringLiteral("Default rates for ") + defaults.join(QStringLiteral(" and ")) +
               reason;
    default:
        return QStringLiteral("Default rates") + reason;
    }
}

} // namespace qm

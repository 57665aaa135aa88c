// The send sheet's fee estimate: Bitcoin's three Electrum estimates at once, the EVM gas price
// and priority fee, Solana's fixed fee. Every figure is an integer of base units; the texts
// are made from those exact values.
#include "platform/async/WhenAll.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "ui/send/SendViewModel.h"

#include <array>
#include <memory>

namespace qm {
namespace {

// The size the Bitcoin estimate assumes: one input and two outputs (140.5 vB, rounded up).
constexpr std::uint64_t bitcoinEstimateVBytes = 141;
constexpr std::uint64_t solanaFeeLamports = 5000;

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

// A figure of the endpoint, or 0 when the request failed.
QCoro::Task<UInt256> orZero(QCoro::Task<UInt256> request) {
    try {
        co_return co_await std::move(request);
    } catch (const std::exception&) {
        co_return UInt256();
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
    if (!self || token.isCancelled() || !client) {
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
    reviseBitcoinFee(rate.satPerVByte, *feeSats);
}

void SendViewModel::reviseBitcoinFee(std::uint64_t satPerVByte, std::uint64_t feeSats) {
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
            total = text(Amount{*sum, 8}.fixedText(8)) + QStringLiteral(" BTC");
        }
    }
    setEstimate(fee, feeSats,
                text(fee.fixedText(8)) + QStringLiteral(" BTC (") + QString::number(satPerVByte) +
                    QStringLiteral(" sat/vB)"),
                total);
}

void SendViewModel::reviseEverything(std::uint64_t amountSats, std::uint64_t satPerVByte,
                                     std::uint64_t feeSats) {
    if (m_chain != Chain::bitcoin || !m_sendsEverything || satPerVByte == 0) {
        return; // the form no longer sends everything: what the user typed stays
    }
    writeAmount(text(Amount{fromUInt64(amountSats), 8}.fixedText(8)));
    m_everythingVBytes = feeSats / satPerVByte;
    reviseBitcoinFee(satPerVByte, feeSats);
}

QCoro::Task<void> SendViewModel::estimateEVM(CancellationToken token) {
    const QPointer<SendViewModel> self(this);
    AppState* state = appState();
    const Chain chain = m_chain;
    if (!state || token.isCancelled()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<JSONRPCClient>> connecting =
        state->networkManager().connectedEVMClient(chain, token);
    const std::shared_ptr<JSONRPCClient> client = co_await std::move(connecting);
    if (!self || token.isCancelled() || !client) {
        co_return;
    }
    QCoro::Task<UInt256> asking = orZero(client->gasPrice(token));
    const UInt256 gasPrice = co_await std::move(asking);
    if (!self || token.isCancelled()) {
        co_return;
    }
    asking = orZero(client->maxPriorityFeePerGas(token));
    const UInt256 priorityFee = co_await std::move(asking);
    if (!self || token.isCancelled() || chain != m_chain) {
        co_return;
    }
    const std::uint64_t gasLimit = m_selectedToken ? 65'000 : 21'000;
    const std::uint64_t multiplier = m_selectedFeeLevel == FeeLevel::Fast     ? 3
                                     : m_selectedFeeLevel == FeeLevel::Normal ? 2
                                                                              : 1;
    // Per gas: the gas price times the level's factor, plus the priority fee.
    const std::optional<UInt256> scaled = gasPrice.checkedMultiply(fromUInt64(multiplier));
    const std::optional<UInt256> price = scaled ? scaled->checkedAdd(priorityFee) : std::nullopt;
    const std::optional<UInt256> feeWei =
        price ? price->checkedMultiply(fromUInt64(gasLimit)) : std::nullopt;
    if (!feeWei) {
        co_return;
    }
    const Amount fee{*feeWei, 18};
    const QString native = text(nativeSymbol(chain));
    const QString feeNumber = text(fee.fixedText(6));
    std::optional<QString> total;
    if (const std::optional<UInt256> amount = parsedAmount()) {
        if (m_selectedToken) {
            total = m_amountString + u' ' + text(m_selectedToken->symbol) + QStringLiteral(" + ") +
                    feeNumber + u' ' + native;
        } else if (const std::optional<UInt256> sum = amount->checkedAdd(*feeWei)) {
            total = text(Amount{*sum, 18}.fixedText(6)) + u' ' + native;
        }
    }
    setEstimate(fee, m_estimatedFeeSats,
                feeNumber + u' ' + native + QStringLiteral(" (") +
                    text(Amount{*price, 9}.fixedText(1)) + QStringLiteral(" Gwei)"),
                total);
}

void SendViewModel::estimateSolana() {
    const Amount fee{fromUInt64(solanaFeeLamports), 9};
    std::optional<QString> total;
    if (const std::optional<UInt256> amount = parsedAmount()) {
        if (const std::optional<UInt256> sum = amount->checkedAdd(fee.value)) {
            total = text(Amount{*sum, 9}.fixedText(9)) + QStringLiteral(" SOL");
        }
    }
    setEstimate(fee, m_estimatedFeeSats, QStringLiteral("0.000005 SOL"), total);
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

QVariantMap SendViewModel::feeSnapshotMap() const {
    const auto entry = [](const BTCFeeRate& rate) {
        return QVariantMap{
            {QStringLiteral("satPerVByte"), QVariant::fromValue(rate.satPerVByte)},
            {QStringLiteral("label"), text(rate.label)},
            {QStringLiteral("estimatedMinutes"), QVariant::fromValue(rate.estimatedMinutes)}};
    };
    return {{QStringLiteral("slow"), entry(m_feeSnapshot.slow)},
            {QStringLiteral("normal"), entry(m_feeSnapshot.normal)},
            {QStringLiteral("fast"), entry(m_feeSnapshot.fast)}};
}

} // namespace qm

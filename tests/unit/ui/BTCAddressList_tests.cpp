// The Bitcoin address list over a created wallet: its rows, the trash rule, that a
// generated or deleted address keeps every row on its own key, and that a change that could
// not be stored says why.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/crypto/BIP39.h"
#include "platform/AtomicFile.h"
#include "state/AccountDerivation.h"
#include "state/AppState.h"
#include "ui/portfolio/BTCAddressListModel.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace qm {
namespace {

using test::AppStateFixture;

TEST(BTCAddressList, BalanceTexts) {
    EXPECT_EQ(addressBalanceText(1), "1 sat");
    EXPECT_EQ(addressBalanceText(99'999), "99999 sat");
    EXPECT_EQ(addressBalanceText(100'000), "0.00100000");
    EXPECT_EQ(addressBalanceText(123'456'789), "1.23456789");
}

TEST(BTCAddressList, GenerateDeleteAndTheTrashRule) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), "correct horse"));
    state.stopBackgroundTasks();
    BTCAddressListModel model(&state, nullptr);
    // A new wallet opens on the portfolio: the list shows once its account is selected.
    EXPECT_FALSE(model.hasAccount());
    state.setSelectedAccountIndex(0);
    auto role = [&model](int row, BTCAddressListModel::Role r) {
        return model.data(model.index(row), r);
    };
    ASSERT_TRUE(model.hasAccount());
    const int first = model.rowCount();
    EXPECT_EQ(model.countText(), QString::number(first) + " indirizzi");

    // Two quick presses: two rows, two distinct derivation indices (the signer derives them
    // one after the other).
    model.generate();
    model.generate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == first + 2; }, 10'000));
    AppStateFixture::settle();
    ASSERT_EQ(model.rowCount(), first + 2);
    std::set<std::uint32_t> indices;
    for (const BTCAddressInfo& info : state.bitcoinAccounts()[0].addresses) {
        indices.insert(info.derivationIndex);
    }
    EXPECT_EQ(indices.size(), static_cast<std::size_t>(first + 2));

    // Nothing is deletable before a server has answered, even with zero balance and history,
    // and those zeros are not shown as known.
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(role(row, BTCAddressListModel::CanDeleteRole).toBool()) << row;
        EXPECT_EQ(role(row, BTCAddressListModel::BalanceRole).toString(), "—") << row;
        EXPECT_EQ(role(row, BTCAddressListModel::TxCountRole).toString(), "—") << row;
    }
    // Fetched: the first never, a funded or used one never, the others yes.
    const int last = model.rowCount() - 1;
    std::vector<BTCAccountState> accounts = state.bitcoinAccounts();
    for (BTCAddressInfo& info : accounts[0].addresses) {
        info.fetched = true;
    }
    accounts[0].addresses[static_cast<std::size_t>(last)].balanceSats = 5;
    state.setBitcoinAccounts(accounts);
    ASSERT_TRUE(state.updateBitcoinAccount(0, "btc-0", [last](BTCAccountState& account) {
        account.addresses[static_cast<std::size_t>(last - 1)].txCount = 1;
    }));
    EXPECT_FALSE(role(0, BTCAddressListModel::CanDeleteRole).toBool());
    EXPECT_FALSE(role(last, BTCAddressListModel::CanDeleteRole).toBool());
    EXPECT_EQ(role(last, BTCAddressListModel::BalanceRole).toString(), "5 sat");
    EXPECT_EQ(role(0, BTCAddressListModel::BalanceRole).toString(), "0");
    EXPECT_EQ(role(last - 1, BTCAddressListModel::TxCountRole).toLongLong(), 1);
    EXPECT_EQ(role(0, BTCAddressListModel::TxCountRole).toLongLong(), 0);
    EXPECT_FALSE(role(last - 1, BTCAddressListModel::CanDeleteRole).toBool());
    ASSERT_GE(last - 1, 2);
    EXPECT_TRUE(role(1, BTCAddressListModel::CanDeleteRole).toBool());

    // Deleting a middle row removes that row alone; every remaining address still comes from
    // its own index, and the ids are renumbered to positions.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    const QString deleted = role(1, BTCAddressListModel::AddressRole).toString();
    model.remove(role(1, BTCAddressListModel::DerivationIndexRole).toLongLong());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == last; }, 10'000));
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(removals.count(), 1);
    const ExtendedKey chain =
        bitcoinReceiveChain(BIP32::masterKey(BIP39::seed(AppStateFixture::abandonPhrase(), "")));
    const auto& addresses = state.bitcoinAccounts()[0].addresses;
    ASSERT_EQ(addresses.size(), static_cast<std::size_t>(last));
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const BTCAddressInfo expected =
            bitcoinAddress(chain, addresses[i].derivationIndex, static_cast<std::int64_t>(i));
        EXPECT_EQ(addresses[i].address, expected.address) << i;
        EXPECT_EQ(addresses[i].compressedPublicKey, expected.compressedPublicKey) << i;
        EXPECT_EQ(role(static_cast<int>(i), BTCAddressListModel::AddressIdRole).toLongLong(),
                  static_cast<qint64>(i));
        EXPECT_EQ(role(static_cast<int>(i), BTCAddressListModel::AddressRole).toString(),
                  QString::fromStdString(expected.address));
        EXPECT_NE(role(static_cast<int>(i), BTCAddressListModel::AddressRole).toString(), deleted);
    }

    // A refused deletion (the first address) changes nothing.
    model.remove(0);
    AppStateFixture::settle();
    EXPECT_EQ(model.rowCount(), last);

    // Another account index than the list has: no account, no rows.
    state.setSelectedAccountIndex(3);
    EXPECT_FALSE(model.hasAccount());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.countText(), "0 indirizzi");
}

// A keyring locked while the wallet is open (a screen locker) whose prompt is dismissed
// stores nothing: the list says so, as it says any other failure to store the record, until
// the next stored change or another account.
TEST(BTCAddressList, AChangeThatWasNotStoredSaysWhy) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), "correct horse"));
    state.stopBackgroundTasks();
    state.setSelectedAccountIndex(0);
    BTCAddressListModel model(&state, nullptr);
    const int first = model.rowCount();
    auto answered = [&](bool unlocks, const std::function<void()>& press) {
        env.keychain().setLocked(true);
        const std::jthread user = env.keychain().answerWhenPrompted(unlocks);
        QSignalSpy texts(&model, &BTCAddressListModel::errorTextChanged);
        press();
        EXPECT_TRUE(QTest::qWaitFor([&] { return texts.count() > 0; }, 10'000));
    };

    answered(false, [&] { model.generate(); });
    EXPECT_EQ(model.errorText(), "The keyring is locked: the new address was not added. Unlock "
                                 "it and try again.");
    EXPECT_EQ(model.rowCount(), first);
    answered(true, [&] { model.generate(); });
    EXPECT_EQ(model.errorText(), "");
    EXPECT_EQ(model.rowCount(), first + 1);

    std::vector<BTCAccountState> accounts = state.bitcoinAccounts();
    for (BTCAddressInfo& info : accounts[0].addresses) {
        info.fetched = true;
    }
    state.setBitcoinAccounts(accounts);
    answered(false, [&] { model.remove(1); });
    EXPECT_EQ(model.errorText(), "The keyring is locked: the address was not removed. Unlock "
                                 "it and try again.");
    EXPECT_EQ(model.rowCount(), first + 1);
    state.setSelectedChain(Chain::ethereum);
    EXPECT_EQ(model.errorText(), "");
    state.setSelectedChain(Chain::bitcoin);

    // The keychain refuses the save and no file can be written in its place.
    env.keychain().setLocked(false);
    env.keychain().failSaves(-25293);
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, Bytes{'x'});
    model.generate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.errorText().isEmpty(); }, 10'000));
    EXPECT_EQ(model.errorText(),
              "The new address could not be stored, so it was not added. Try again.");
    state.setSelectedAccountIndex(AppState::noAccountSelected);
    EXPECT_EQ(model.errorText(), "");
}

} // namespace
} // namespace qm

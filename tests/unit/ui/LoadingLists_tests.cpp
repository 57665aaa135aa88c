// What the account screen's lists say while their first load runs, over whole refreshes:
// loading, then rows or empty.

#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/AppState.h"
#include "ui/history/TransactionListModel.h"
#include "ui/portfolio/AccountTokensModel.h"

#include <gtest/gtest.h>
#include <optional>
#include <type_traits>

namespace qm {
namespace {

using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::RefreshFixture;
using json = nlohmann::json;

const std::string evmOwner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";

// What a list shows, as the screen chooses it.
template <typename Model> std::string shown(const Model& model) {
    if (model.count() > 0) {
        return "rows";
    }
    if (model.loadFailed()) {
        return "failed";
    }
    return model.loading() ? "loading" : "empty";
}

// Every state a list showed, in order, from its first.
template <typename Model> struct Shown {
    explicit Shown(const Model& model) {
        steps.push_back(shown(model));
        const auto note = [this, &model] {
            if (steps.back() != shown(model)) {
                steps.push_back(shown(model));
            }
        };
        QObject::connect(&model, &Model::countChanged, note);
        QObject::connect(&model, &Model::loadingChanged, note);
        QObject::connect(&model, &Model::loadFailedChanged, note);
    }
    std::vector<std::string> steps;
};

using Steps = std::vector<std::string>;

// An account's list on its screen, with every state it showed.
template <typename Model> struct ListOnScreen {
    ListOnScreen(AppState& state, const std::string& accountID) : model(&state, nullptr) {
        if constexpr (std::is_same_v<Model, AccountTokensModel>) {
            model.setAccountID(accountID);
        } else {
            model.setAccountId(QString::fromStdString(accountID));
        }
        shown.emplace(model);
    }
    const Steps& steps() const { return shown->steps; }

    Model model;
    std::optional<Shown<Model>> shown;
};
using Tokens = ListOnScreen<AccountTokensModel>;
using History = ListOnScreen<TransactionListModel>;

HttpFixtureResponse rpcResult(const json& value) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"jsonrpc", "2.0"}, {"id", 1}, {"result", value}}.dump()));
}

HttpFixtureResponse page(const json& items) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"items", items}, {"next_page_params", nullptr}}.dump()));
}

} // namespace

TEST(LoadingLists, AnAnswerEndsTheLoadingWithItsRowsOrNone) {
    RefreshFixture env;
    for (const bool holdings : {false, true}) {
        SCOPED_TRACE(holdings ? "rows" : "none");
        env.setEVMAccount(Chain::ethereum, evmOwner); // a new account state: nothing known yet
        // Every balance read answers zero, or 42 base units; the explorer's pages are empty, or
        // hold one transfer.
        env.rpc().setHandler([holdings](const HttpFixtureRequest& request) {
            if (request.body.contains("eth_call")) {
                return rpcResult("0x" + std::string(62, '0') + (holdings ? "2a" : "00"));
            }
            const bool number =
                request.body.contains("eth_getBalance") || request.body.contains("eth_gasPrice");
            return rpcResult(number ? json("0x1") : json::array());
        });
        env.web().setHandler([holdings](const HttpFixtureRequest& request) {
            json items = json::array();
            if (holdings && !request.target.contains("/token-transfers")) {
                items.push_back({{"hash", "0xa1"},
                                 {"from", {{"hash", evmOwner}}},
                                 {"to", {{"hash", "0x00000000000000000000000000000000000000bb"}}},
                                 {"value", "1"},
                                 {"timestamp", "2024-05-01T12:00:00.000000Z"},
                                 {"block_number", 100},
                                 {"status", "ok"},
                                 {"confirmations", 12}});
            }
            return page(items);
        });

        Tokens tokens(env.state(), "eth-0");
        History history(env.state(), "eth-0");
        test::runTask(env.refresh().refreshAll({}));
        const std::string outcome = holdings ? "rows" : "empty";
        EXPECT_EQ(tokens.steps(), (Steps{"loading", outcome}));
        EXPECT_EQ(history.steps(), (Steps{"loading", outcome}));
    }
}

} // namespace qm

#include "BlockscoutSent.h"

namespace qm::test {

HttpFixture::Handler blockscoutSentPages(std::string address,
                                         const std::vector<nlohmann::json>* pages) {
    const QByteArray path =
        QByteArray::fromStdString("/api/v2/addresses/" + address + "/transactions?filter=from")
            .toLower();
    return [path, pages](const HttpFixtureRequest& request) {
        const QByteArray paging = path + "&index=";
        const int page = request.target == path ? 0
                         : request.target.startsWith(paging)
                             ? request.target.mid(paging.size()).toInt()
                             : -1;
        if (page < 0 || page >= static_cast<int>(pages->size())) {
            return HttpFixtureResponse::withStatus(404);
        }
        nlohmann::json next = nullptr;
        if (page + 1 < static_cast<int>(pages->size())) {
            next = {{"index", page + 1}};
        }
        const nlohmann::json body = {{"items", pages->at(static_cast<std::size_t>(page))},
                                     {"next_page_params", next}};
        return HttpFixtureResponse::json(QByteArray::fromStdString(body.dump()));
    };
}

nlohmann::json blockscoutSentItem(const std::string& hash, std::uint64_t nonce,
                                  const std::string& from) {
    return {{"hash", hash}, {"nonce", nonce}, {"from", {{"hash", from}}}, {"to", nullptr}};
}

} // namespace qm::test

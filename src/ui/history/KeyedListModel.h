#pragma once
// A list model whose rows are values rebuilt from the state on every change, shown through
// row insertions, removals and moves keyed by each row's identity, so that a refresh that
// adds one entry on top inserts one row, and one that changes a row's fields reports that row
// alone: the views keep their delegates (and their scroll position).
//
// Keys need not be unique (a server may send the same entry twice): the n-th row of a key
// counts as a key of its own.

#include <QAbstractListModel>
#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qm {

template <typename Row> class KeyedListModel : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }

protected:
    using QAbstractListModel::QAbstractListModel;

    const std::vector<Row>& rows() const { return m_rows; }
    // The row at `index`, or none for an index of another model or past the end.
    const Row* rowAt(const QModelIndex& index) const {
        if (!index.isValid() || index.model() != this || index.row() < 0 ||
            static_cast<std::size_t>(index.row()) >= m_rows.size()) {
            return nullptr;
        }
        return &m_rows[static_cast<std::size_t>(index.row())];
    }

    // Makes `rows` the model's rows. `key(row)` gives a row's identity (a std::string).
    template <typename KeyOf> void showRows(std::vector<Row> rows, KeyOf key) {
        std::vector<std::string> keys = uniqueKeys(rows, key);
        removeRowsNotIn(keys);
        if (!arrange(rows, keys)) {
            beginResetModel();
            m_rows = std::move(rows);
            m_keys = std::move(keys);
            endResetModel();
            return;
        }
        reportChanged(rows);
    }

private:
    // Past this many moves a reset is cheaper than moving rows one by one.
    static constexpr int maxMoves = 64;

    template <typename KeyOf>
    static std::vector<std::string> uniqueKeys(const std::vector<Row>& rows, KeyOf& key) {
        std::vector<std::string> keys;
        keys.reserve(rows.size());
        std::unordered_map<std::string, int> seen;
        for (const Row& row : rows) {
            std::string k = key(row);
            const int n = seen[k]++;
            if (n > 0) {
                k += '\x1f' + std::to_string(n);
            }
            keys.push_back(std::move(k));
        }
        return keys;
    }

    // Removes the rows whose key is gone, in runs, from the back.
    void removeRowsNotIn(const std::vector<std::string>& keys) {
        const std::unordered_set<std::string> wanted(keys.begin(), keys.end());
        std::size_t end = m_keys.size();
        while (end > 0) {
            if (wanted.contains(m_keys[end - 1])) {
                --end;
                continue;
            }
            std::size_t first = end - 1;
            while (first > 0 && !wanted.contains(m_keys[first - 1])) {
                --first;
            }
            beginRemoveRows({}, static_cast<int>(first), static_cast<int>(end - 1));
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(first),
                         m_rows.begin() + static_cast<std::ptrdiff_t>(end));
            m_keys.erase(m_keys.begin() + static_cast<std::ptrdiff_t>(first),
                         m_keys.begin() + static_cast<std::ptrdiff_t>(end));
            endRemoveRows();
            end = first;
        }
    }

    // Inserts the new rows and moves the kept ones into the new order; false when the order
    // changed so much that a reset is better (nothing is then half done: only moves ran).
    bool arrange(const std::vector<Row>& rows, const std::vector<std::string>& keys) {
        std::unordered_set<std::string> held(m_keys.begin(), m_keys.end());
        int moves = 0;
        std::size_t i = 0;
        while (i < keys.size()) {
            if (i < m_keys.size() && m_keys[i] == keys[i]) {
                ++i;
                continue;
            }
            if (!held.contains(keys[i])) {
                std::size_t end = i + 1;
                while (end < keys.size() && !held.contains(keys[end])) {
                    ++end;
                }
                beginInsertRows({}, static_cast<int>(i), static_cast<int>(end - 1));
                m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(i),
                              rows.begin() + static_cast<std::ptrdiff_t>(i),
                              rows.begin() + static_cast<std::ptrdiff_t>(end));
                m_keys.insert(m_keys.begin() + static_cast<std::ptrdiff_t>(i),
                              keys.begin() + static_cast<std::ptrdiff_t>(i),
                              keys.begin() + static_cast<std::ptrdiff_t>(end));
                endInsertRows();
                i = end;
                continue;
            }
            if (++moves > maxMoves) {
                return false;
            }
            const auto from = static_cast<std::size_t>(
                std::find(m_keys.begin() + static_cast<std::ptrdiff_t>(i), m_keys.end(), keys[i]) -
                m_keys.begin());
            beginMoveRows({}, static_cast<int>(from), static_cast<int>(from), {},
                          static_cast<int>(i));
            std::rotate(m_rows.begin() + static_cast<std::ptrdiff_t>(i),
                        m_rows.begin() + static_cast<std::ptrdiff_t>(from),
                        m_rows.begin() + static_cast<std::ptrdiff_t>(from + 1));
            std::rotate(m_keys.begin() + static_cast<std::ptrdiff_t>(i),
                        m_keys.begin() + static_cast<std::ptrdiff_t>(from),
                        m_keys.begin() + static_cast<std::ptrdiff_t>(from + 1));
            endMoveRows();
            ++i;
        }
        return true;
    }

    // Takes the new values of rows whose fields changed and reports them in runs.
    void reportChanged(std::vector<Row>& rows) {
        std::size_t i = 0;
        while (i < rows.size()) {
            if (rows[i] == m_rows[i]) {
                ++i;
                continue;
            }
            const std::size_t first = i;
            while (i < rows.size() && !(rows[i] == m_rows[i])) {
                m_rows[i] = std::move(rows[i]);
                ++i;
            }
            emit dataChanged(index(static_cast<int>(first)), index(static_cast<int>(i - 1)));
        }
    }

    std::vector<Row> m_rows;
    std::vector<std::string> m_keys;
};

} // namespace qm

#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "archive/take_archive.h"

namespace taperly {

// The takes a search matches, for the Takes window's table: what the index
// answered first, and the rest fetched a page at a time as the table shows
// it, so that a million takes never sit in memory. Takes saved since the
// search are added at the top; the row being played is marked.
class TakesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        kStart,
        kLength,
        kTalkgroup,
        kSystem,
        kGroup,
        kLine1,
        kLine2,
        kPeak,
        kStar,
        kFile,
        kColumnCount
    };
    static constexpr int kPageRows = 200;

    TakesModel(TakeArchive& archive, QLocale locale, QObject* parent = nullptr);

    // A new search's answer replaces everything shown.
    void show_answer(const TakeAnswer& answer);
    // Takes saved since the search, that it matches.
    void add_arrived(const std::vector<ArchivedTake>& takes);
    // True when a take removed was among those the search listed beyond
    // what is held here, so that the search must be asked again.
    bool remove(const std::vector<std::int64_t>& ids);
    void update(const std::vector<ArchivedTake>& takes);
    void set_playing(std::int64_t id);

    // The take at `row`, when it has been fetched.
    const ArchivedTake* take_at(int row) const;
    // The row of `id` among those fetched.
    std::optional<int> row_of(std::int64_t id) const;
    TakeTotals totals() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    void fetch(std::int64_t page) const;
    QString text(const ArchivedTake& take, int column) const;

    TakeArchive& archive_;
    QLocale locale_;
    QString start_format_;
    int generation_ = 0;
    TakeTotals totals_;
    // Takes saved since the search, newest first, above what it listed.
    std::vector<ArchivedTake> arrived_;
    // Pages of what the search listed, the most recently used last.
    mutable std::map<std::int64_t, std::vector<ArchivedTake>> pages_;
    mutable std::list<std::int64_t> used_;
    mutable std::set<std::int64_t> asked_;
    std::int64_t playing_ = 0;
};

}  // namespace taperly

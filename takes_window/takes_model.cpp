#include "takes_window/takes_model.h"

#include <QBrush>
#include <QDateTime>
#include <QFont>
#include <QPalette>
#include <algorithm>

namespace taperly {

namespace {

// Pages kept; the rest is fetched again when shown again.
constexpr std::size_t kPagesKept = 50;

// The locale's short date and time, with seconds where its time has none:
// two takes of one minute differ by them.
QString start_format(const QLocale& locale) {
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains(u's')) {
        const qsizetype minutes = time.indexOf(QStringLiteral("mm"));
        if (minutes >= 0) {
            time.insert(minutes + 2, QStringLiteral(":ss"));
        }
    }
    return locale.dateFormat(QLocale::ShortFormat) + u' ' + time;
}

QString length_text(std::int64_t milliseconds) {
    const std::int64_t seconds = (milliseconds + 500) / 1000;
    return seconds >= 3600
               ? QStringLiteral("%1:%2:%3")
                     .arg(seconds / 3600)
                     .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                     .arg(seconds % 60, 2, 10, QChar(u'0'))
               : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TakesModel::TakesModel(TakeArchive& archive, QLocale locale, QObject* parent)
    : QAbstractTableModel(parent),
      archive_(archive),
      locale_(std::move(locale)),
      start_format_(start_format(locale_)) {}

void TakesModel::show_answer(const TakeAnswer& answer) {
    beginResetModel();
    ++generation_;
    totals_ = answer.totals;
    arrived_.clear();
    pages_.clear();
    used_.clear();
    asked_.clear();
    pages_[0] = answer.first;
    used_.push_back(0);
    endResetModel();
}

void TakesModel::add_arrived(const std::vector<ArchivedTake>& takes) {
    for (const ArchivedTake& take : takes) {
        if (row_of(take.id)) {
            continue;
        }
        // Newest first among the takes that arrived; all above the listing.
        const auto place = std::find_if(arrived_.begin(), arrived_.end(),
                                        [&take](const ArchivedTake& a) { return a.id < take.id; });
        const int row = static_cast<int>(place - arrived_.begin());
        beginInsertRows({}, row, row);
        arrived_.insert(place, take);
        endInsertRows();
    }
}

bool TakesModel::remove(const std::vector<std::int64_t>& ids) {
    bool listed_changed = false;
    for (const std::int64_t id : ids) {
        const auto place = std::find_if(arrived_.begin(), arrived_.end(),
                                        [id](const ArchivedTake& a) { return a.id == id; });
        if (place != arrived_.end()) {
            const int row = static_cast<int>(place - arrived_.begin());
            beginRemoveRows({}, row, row);
            arrived_.erase(place);
            endRemoveRows();
        } else {
            // It may be anywhere in the listing, pages fetched or not.
            listed_changed = true;
        }
    }
    return listed_changed;
}

void TakesModel::update(const std::vector<ArchivedTake>& takes) {
    for (const ArchivedTake& take : takes) {
        const std::optional<int> row = row_of(take.id);
        if (!row) {
            continue;
        }
        const std::size_t arrived = arrived_.size();
        if (static_cast<std::size_t>(*row) < arrived) {
            arrived_[static_cast<std::size_t>(*row)] = take;
        } else {
            const std::int64_t listed = *row - static_cast<std::int64_t>(arrived);
            pages_[listed / kPageRows][static_cast<std::size_t>(listed % kPageRows)] = take;
        }
        emit dataChanged(index(*row, 0), index(*row, kColumnCount - 1));
    }
}

void TakesModel::set_playing(std::int64_t id) {
    const std::optional<int> before = row_of(playing_);
    playing_ = id;
    for (const std::optional<int> row : {before, row_of(id)}) {
        if (row) {
            emit dataChanged(index(*row, 0), index(*row, kColumnCount - 1));
        }
    }
}

const ArchivedTake* TakesModel::take_at(int row) const {
    if (row < 0) {
        return nullptr;
    }
    if (static_cast<std::size_t>(row) < arrived_.size()) {
        return &arrived_[static_cast<std::size_t>(row)];
    }
    const std::int64_t listed = row - static_cast<std::int64_t>(arrived_.size());
    const auto page = pages_.find(listed / kPageRows);
    if (page == pages_.end() ||
        static_cast<std::size_t>(listed % kPageRows) >= page->second.size()) {
        return nullptr;
    }
    return &page->second[static_cast<std::size_t>(listed % kPageRows)];
}

std::optional<int> TakesModel::row_of(std::int64_t id) const {
    for (std::size_t row = 0; row < arrived_.size(); ++row) {
        if (arrived_[row].id == id) {
            return static_cast<int>(row);
        }
    }
    for (const auto& [page, takes] : pages_) {
        const auto place = std::find_if(takes.begin(), takes.end(),
                                        [id](const ArchivedTake& t) { return t.id == id; });
        if (place != takes.end()) {
            return static_cast<int>(arrived_.size() + page * kPageRows + (place - takes.begin()));
        }
    }
    return std::nullopt;
}

TakeTotals TakesModel::totals() const {
    TakeTotals totals = totals_;
    for (const ArchivedTake& take : arrived_) {
        ++totals.takes;
        totals.milliseconds += take.facts.milliseconds;
    }
    return totals;
}

int TakesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(totals().takes);
}

int TakesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

void TakesModel::fetch(std::int64_t page) const {
    if (!asked_.insert(page).second) {
        return;
    }
    // After the page before, when it is held: no need to count up to it.
    std::optional<std::int64_t> below;
    if (const auto before = pages_.find(page - 1);
        before != pages_.end() && !before->second.empty()) {
        below = before->second.back().id;
    }
    auto* self = const_cast<TakesModel*>(this);
    archive_.page(page * kPageRows, kPageRows, below,
                  [self, page, generation = generation_](const std::vector<ArchivedTake>& takes) {
                      if (generation != self->generation_) {
                          return;
                      }
                      self->asked_.erase(page);
                      self->pages_[page] = takes;
                      self->used_.push_back(page);
                      while (self->used_.size() > kPagesKept) {
                          self->pages_.erase(self->used_.front());
                          self->used_.pop_front();
                      }
                      const int first = static_cast<int>(self->arrived_.size() + page * kPageRows);
                      const int last = std::min(first + kPageRows, self->rowCount()) - 1;
                      if (last >= first) {
                          emit self->dataChanged(self->index(first, 0),
                                                 self->index(last, kColumnCount - 1));
                      }
                  });
}

QVariant TakesModel::data(const QModelIndex& index, int role) const {
    const ArchivedTake* take = take_at(index.row());
    if (take == nullptr) {
        if (role == Qt::DisplayRole && index.column() == 0) {
            fetch((index.row() - static_cast<std::int64_t>(arrived_.size())) / kPageRows);
            return QStringLiteral("…");
        }
        return {};
    }
    if (const auto used =
            std::find(used_.begin(), used_.end(),
                      (index.row() - static_cast<std::int64_t>(arrived_.size())) / kPageRows);
        used != used_.end() && std::next(used) != used_.end()) {
        used_.splice(used_.end(), used_, used);
    }
    switch (role) {
        case Qt::DisplayRole:
            return text(*take, index.column());
        case Qt::ToolTipRole:
            return take->present ? QVariant()
                                 : QStringLiteral("The file is gone: it cannot be played");
        case Qt::ForegroundRole:
            return take->present ? QVariant()
                                 : QBrush(QPalette().color(QPalette::Disabled, QPalette::Text));
        case Qt::FontRole:
            if (take->id == playing_) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::BackgroundRole:
            return take->id == playing_ ? QBrush(QPalette().color(QPalette::AlternateBase))
                                        : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == kLength || index.column() == kPeak
                       ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                       : QVariant();
        default:
            return {};
    }
}

QString TakesModel::text(const ArchivedTake& take, int column) const {
    const TakeFacts& facts = take.facts;
    switch (column) {
        case kStart:
            return facts.start ? locale_.toString(QDateTime::fromSecsSinceEpoch(*facts.start),
                                                  start_format_)
                               : QString();
        case kLength:
            return length_text(facts.milliseconds);
        case kTalkgroup:
            return utf8(facts.texts.label());
        case kSystem:
            return utf8(facts.texts.system);
        case kGroup:
            return utf8(facts.texts.group);
        case kLine1:
            return utf8(facts.texts.display_line1);
        case kLine2:
            return utf8(facts.texts.display_line2);
        case kPeak:
            return facts.peak_decibel_tenths
                       ? locale_.toString(*facts.peak_decibel_tenths / 10.0, 'f', 1) + " dB"
                       : QString();
        case kStar:
            return take.starred ? QStringLiteral("★") : QString();
        case kFile:
            return utf8(facts.file_name) +
                   (take.present ? QString() : QStringLiteral(" (missing)"));
        default:
            return {};
    }
}

QVariant TakesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kTitles[] = {
        "Start",          "Length",         "Talkgroup", "System", "Group",
        "Display line 1", "Display line 2", "Peak",      "★",      "File"};
    return section >= 0 && section < kColumnCount ? tr(kTitles[section]) : QVariant();
}

}  // namespace taperly

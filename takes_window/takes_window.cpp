#include "takes_window/takes_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "archive/civil_time.h"
#include "takes_window/player_controls.h"
#include "takes_window/takes_model.h"
#include "takes_window/time_field.h"

namespace taperly {

namespace {

// The spans in the order the list offers them.
constexpr TimeSpan kSpans[] = {TimeSpan::kAll,       TimeSpan::kLastHour,      TimeSpan::kToday,
                               TimeSpan::kYesterday, TimeSpan::kLastSevenDays, TimeSpan::kBetween};

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QListWidget* choice_list(QWidget* parent, const char* name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setUniformItemSizes(true);
    return list;
}

// The texts checked in a list of choices.
std::vector<std::string> checked(const QListWidget* list) {
    std::vector<std::string> texts;
    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem* item = list->item(row);
        if (item->checkState() == Qt::Checked) {
            texts.push_back(item->data(Qt::UserRole).toString().toStdString());
        }
    }
    return texts;
}

}  // namespace

TakesWindow::TakesWindow(TakesWindowParts parts, QWidget* parent)
    : QWidget(parent), parts_(std::move(parts)) {
    // Answers come back on the window's thread, and never after it is gone.
    ArchiveSetup setup{parts_.folder,
                       parts_.index_path,
                       parts_.zone,
                       [this](std::function<void()> call) {
                           QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
                       },
                       parts_.now,
                       parts_.log,
                       parts_.trash};
    ArchiveListener listener;
    listener.progress = [this](const OpenProgress& progress) { show_progress(progress); };
    listener.refreshed = [this] {
        if (const ArchivedTake* take = current_take()) {
            reselect_ = take->id;
        }
        ask();
    };
    listener.arrived = [this](const std::vector<ArchivedTake>& takes) {
        model_->add_arrived(takes);
        show_totals();
    };
    listener.removed = [this](const std::vector<std::int64_t>& ids) {
        if (model_->remove(ids)) {
            if (const ArchivedTake* take = current_take()) {
                reselect_ = take->id;
            }
            ask();
        }
        show_totals();
    };
    listener.changed = [this](const std::vector<ArchivedTake>& takes) {
        model_->update(takes);
        if (starred_only_->isChecked()) {
            ask();
        }
    };
    listener.choices = [this](const std::vector<ChoiceCount>& labels,
                              const std::vector<ChoiceCount>& systems) {
        show_choices(labels, systems);
    };
    listener.failed = [this](const std::string& problem) { say(utf8(problem)); };
    archive_ = std::make_unique<TakeArchive>(std::move(setup), std::move(listener));
    queue_ = std::make_unique<PlayQueue>(*archive_, *parts_.player, parts_.folder);
    model_ = new TakesModel(*archive_, parts_.locale, this);
    build_widgets();
    wire();
    if (parts_.log != nullptr) {
        // Handed to the index's thread at once: the recorder's thread never waits.
        listening_ = parts_.log->listen(
            [archive = archive_.get()](const TakeLogEntry& row) { archive->hear(row); });
    }
    ask();
    archive_->open();
}

TakesWindow::~TakesWindow() {
    // No row may reach the archive while it goes.
    listening_.reset();
    archive_.reset();
}

void TakesWindow::build_widgets() {
    setObjectName("TakesWindow");
    setWindowTitle(tr("Takes — Taperly"));
    resize(1100, 640);

    search_ = new QLineEdit(this);
    search_->setObjectName("Search");
    search_->setPlaceholderText(
        tr("Search talkgroups, systems, groups, display lines, file names"));
    search_->setClearButtonEnabled(true);
    span_ = new QComboBox(this);
    span_->setObjectName("Span");
    span_->addItems({tr("All takes"), tr("Last hour"), tr("Today"), tr("Yesterday"),
                     tr("Last 7 days"), tr("From … to …")});
    from_ = new TimeField(QDateTime::currentDateTime().addDays(-1), this);
    to_ = new TimeField(QDateTime::currentDateTime(), this);
    for (TimeField* edit : {from_, to_}) {
        edit->setVisible(false);
    }
    from_minute_ = *from_->minute();
    to_minute_ = *to_->minute();
    from_->setObjectName("From");
    to_->setObjectName("To");
    starred_only_ = new QCheckBox(tr("Starred only"), this);
    starred_only_->setObjectName("StarredOnly");
    auto* filters = new QHBoxLayout;
    filters->addWidget(search_, 1);
    for (QWidget* widget : std::initializer_list<QWidget*>{span_, from_, to_, starred_only_}) {
        filters->addWidget(widget);
    }

    labels_ = choice_list(this, "Talkgroups");
    systems_ = choice_list(this, "Systems");
    auto* choices = new QWidget(this);
    auto* choices_layout = new QVBoxLayout(choices);
    choices_layout->setContentsMargins(0, 0, 0, 0);
    choices_layout->addWidget(new QLabel(tr("Talkgroups"), choices));
    choices_layout->addWidget(labels_, 2);
    choices_layout->addWidget(new QLabel(tr("Systems"), choices));
    choices_layout->addWidget(systems_, 1);

    table_ = new QTableView(this);
    table_->setObjectName("Takes");
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    // A million rows of one height: no row is measured.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as a usual text of it, or its title; the file
    // name takes the rest.
    const char* const kUsual[] = {"12/31/26 12:59:59 PM", "0:00:00",    "Fire Dispatch 12",
                                  "County EDACS",         "North Area", "Fire Dispatch",
                                  "Fire Dispatch",        "-12.3 dB",   "★"};
    const QFontMetrics metrics = table_->fontMetrics();
    for (int column = 0; column < TakesModel::kFile; ++column) {
        const QString title =
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        table_->setColumnWidth(column, std::max(metrics.horizontalAdvance(kUsual[column]),
                                                metrics.horizontalAdvance(title)) +
                                           2 * metrics.averageCharWidth() + 8);
    }

    auto* splitter = new QSplitter(this);
    splitter->addWidget(choices);
    splitter->addWidget(table_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 900});

    controls_ = new PlayerControls(*parts_.player, *queue_, this);

    star_ = new QPushButton(tr("Star"), this);
    star_->setObjectName("Star");
    star_->setToolTip(
        tr("Star the selected takes, or take their stars away: TAPERLY_KEEP_DAYS "
           "never removes a starred take (Ctrl+D)"));

    export_ = new QPushButton(tr("Export"), this);
    export_->setObjectName("Export");
    export_->setToolTip(tr("The selected takes, or all that match (Ctrl+E)"));
    auto* menu = new QMenu(export_);
    menu->addAction(tr("Copy the selected takes into a folder, with their rows…"), this,
                    [this] { export_takes(false, false); });
    menu->addAction(tr("Copy all matching takes into a folder, with their rows…"), this,
                    [this] { export_takes(false, true); });
    menu->addSeparator();
    menu->addAction(tr("Join the selected takes into one WAV file, a cue point each…"), this,
                    [this] { export_takes(true, false); });
    menu->addAction(tr("Join all matching takes into one WAV file, a cue point each…"), this,
                    [this] { export_takes(true, true); });
    export_->setMenu(menu);
    show_ = new QPushButton(tr("Show in folder"), this);
    show_->setObjectName("ShowInFolder");
    trash_ = new QPushButton(tr("Move to trash"), this);
    trash_->setObjectName("MoveToTrash");
    trash_->setToolTip(tr("Into the desktop's trash, from where it can be put back (Delete)"));
    totals_ = new QLabel(this);
    totals_->setObjectName("Totals");
    message_ = new QLabel(this);
    message_->setObjectName("Message");
    message_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("Progress");
    progress_->setMaximumWidth(220);
    progress_->setVisible(false);
    auto* actions = new QHBoxLayout;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{star_, export_, show_, trash_, totals_}) {
        actions->addWidget(widget);
    }
    actions->addWidget(message_, 1);
    actions->addWidget(progress_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addWidget(controls_);
    layout->addLayout(actions);
}

void TakesWindow::wire() {
    connect(search_, &QLineEdit::textChanged, this, [this] { ask(); });
    connect(span_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const bool between = kSpans[std::max(index, 0)] == TimeSpan::kBetween;
        from_->setVisible(between);
        to_->setVisible(between);
        ask();
    });
    for (TimeField* edit : {from_, to_}) {
        // A field being typed in counts as the minute it last held.
        connect(edit, &QLineEdit::textChanged, this, [this, edit] {
            if (const std::optional<QDateTime> minute = edit->minute()) {
                (edit == from_ ? from_minute_ : to_minute_) = *minute;
                ask();
            }
        });
    }
    connect(starred_only_, &QCheckBox::toggled, this, [this] { ask(); });
    for (QListWidget* list : {labels_, systems_}) {
        connect(list, &QListWidget::itemChanged, this, [this] { ask(); });
    }
    connect(table_, &QTableView::doubleClicked, this, [this] { play_selected(); });
    connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == TakesModel::kStar) {
            star_selected();
        }
    });
    connect(controls_, &PlayerControls::play_pressed, this, &TakesWindow::play_selected);
    connect(controls_, &PlayerControls::play_from_here_pressed, this, &TakesWindow::play_from_here);
    connect(controls_, &PlayerControls::playing_changed, this, [this](std::int64_t id) {
        model_->set_playing(id);
        keep_playing_row_in_view(id);
    });
    connect(star_, &QPushButton::clicked, this, &TakesWindow::star_selected);
    connect(show_, &QPushButton::clicked, this, &TakesWindow::show_selected_in_folder);
    connect(trash_, &QPushButton::clicked, this, &TakesWindow::trash_selected);

    const auto key = [this](const QKeySequence& keys, auto action, QWidget* where = nullptr) {
        auto* shortcut = new QShortcut(keys, where != nullptr ? where : this);
        if (where != nullptr) {
            shortcut->setContext(Qt::WidgetShortcut);
        }
        connect(shortcut, &QShortcut::activated, this, action);
    };
    key(QKeySequence::Find, [this] {
        search_->setFocus();
        search_->selectAll();
    });
    key(
        Qt::Key_Escape, [this] { search_->clear(); }, search_);
    key(Qt::CTRL | Qt::Key_Return, [this] { play_from_here(); });
    key(Qt::CTRL | Qt::Key_Left, [this] { controls_->previous(); });
    key(Qt::CTRL | Qt::Key_Right, [this] { controls_->next(); });
    key(Qt::CTRL | Qt::Key_D, [this] { star_selected(); });
    key(Qt::CTRL | Qt::Key_E, [this] { export_->showMenu(); });
    // Keys of the list itself, before the list takes them for moving about.
    table_->installEventFilter(this);
}

bool TakesWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != table_ || event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier) {
        return false;
    }
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            play_selected();
            return true;
        case Qt::Key_Space:
            controls_->toggle_pause();
            return true;
        case Qt::Key_Delete:
            trash_selected();
            return true;
        default:
            return false;
    }
}

TakeFilter TakesWindow::filter() const {
    TakeFilter filter;
    filter.words = search_->text().toStdString();
    const auto local = [](const QDateTime& time) {
        return local_seconds({{},
                              {time.date().year(), time.date().month(), time.date().day()},
                              {time.time().hour(), time.time().minute(), 0, 0}});
    };
    // The last minute is taken whole.
    filter.bounds = time_bounds(kSpans[std::max(span_->currentIndex(), 0)], parts_.now_seconds(),
                                *parts_.zone, local(from_minute_), local(to_minute_) + 59);
    filter.labels = checked(labels_);
    filter.systems = checked(systems_);
    filter.starred_only = starred_only_->isChecked();
    return filter;
}

void TakesWindow::ask() {
    archive_->ask(filter(), TakesModel::kPageRows,
                  [this](const TakeAnswer& answer) { answered(answer); });
}

void TakesWindow::answered(const TakeAnswer& answer) {
    // A take selected before stays selected after a search asked anew.
    std::optional<std::int64_t> keep = reselect_;
    if (!keep) {
        if (const ArchivedTake* take = current_take()) {
            keep = take->id;
        }
    }
    reselect_.reset();
    model_->show_answer(answer);
    show_totals();
    if (!answered_once_) {
        answered_once_ = true;
        table_->selectRow(0);
    }
    if (keep) {
        const auto select = [this](std::int64_t row) {
            if (row < model_->rowCount()) {
                table_->selectRow(static_cast<int>(row));
                table_->scrollTo(model_->index(static_cast<int>(row), 0));
            }
        };
        if (const std::optional<int> row = model_->row_of(*keep)) {
            select(*row);
        } else {
            archive_->row_of(*keep, [select](std::int64_t row) {
                if (row >= 0) {
                    select(row);
                }
            });
        }
    }
}

}  // namespace taperly

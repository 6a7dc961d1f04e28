#pragma once

#include <QDateTime>
#include <QLocale>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/play_queue.h"
#include "archive/take_archive.h"
#include "archive/trash.h"
#include "playback/take_player.h"
#include "tracking/take_log_listeners.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;

namespace taperly {

class PlayerControls;
class TimeField;
class TakesModel;

// What the Takes window works with.
struct TakesWindowParts {
    std::string folder;
    // Where its index is kept (see index_path_for).
    std::string index_path;
    // The log's door: rows of takes saved while the window is open, and the
    // `removed` rows of takes moved to the trash. None: no log.
    TakeLogListeners* log = nullptr;
    TakePlayer* player = nullptr;
    std::shared_ptr<const LocalZone> zone;
    std::shared_ptr<Trash> trash;
    // The desktop's clock for rows, read on the index's thread.
    std::function<LocalTime()> now;
    // Seconds since 1970 UTC, for the spans of time.
    std::function<std::int64_t()> now_seconds;
    QLocale locale = QLocale::system();
};

// The Takes window: every take of the takes folder, newest first, found by
// a search box, a span of time, talkgroups, systems and stars; played,
// starred, exported, shown in the file manager or moved to the trash. It
// only wires its widgets to the archive and the player.
class TakesWindow : public QWidget {
    Q_OBJECT
  public:
    explicit TakesWindow(TakesWindowParts parts, QWidget* parent = nullptr);
    ~TakesWindow() override;

    // Asked before a take is moved to the trash; a dialog unless replaced.
    std::function<bool(const QString& question)> confirm;
    // Where an export goes: a folder to copy into, or a file to join into;
    // empty when the user chose none. A file dialog unless replaced.
    std::function<QString(bool joined)> choose_target;

    TakesModel& model() { return *model_; }
    // What the window says of the takes matching, and of what it is doing.
    QString summary() const;

    void play_selected();
    void play_from_here();
    void star_selected();
    void trash_selected();
    void show_selected_in_folder();
    // Exports the takes selected, or `all` that match, in time order.
    void export_takes(bool joined, bool all);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build_widgets();
    void wire();
    void ask();
    void answered(const TakeAnswer& answer);
    TakeFilter filter() const;
    std::vector<std::int64_t> selected_ids() const;
    const ArchivedTake* current_take() const;
    void show_choices(const std::vector<ChoiceCount>& labels,
                      const std::vector<ChoiceCount>& systems);
    void show_progress(const OpenProgress& progress);
    void show_totals();
    void say(const QString& text);
    void keep_playing_row_in_view(std::int64_t id);

    TakesWindowParts parts_;
    std::unique_ptr<TakeArchive> archive_;
    std::unique_ptr<PlayQueue> queue_;
    TakesModel* model_ = nullptr;
    std::shared_ptr<void> listening_;

    QLineEdit* search_ = nullptr;
    QComboBox* span_ = nullptr;
    TimeField* from_ = nullptr;
    TimeField* to_ = nullptr;
    QDateTime from_minute_;
    QDateTime to_minute_;
    QCheckBox* starred_only_ = nullptr;
    QListWidget* labels_ = nullptr;
    QListWidget* systems_ = nullptr;
    QTableView* table_ = nullptr;
    PlayerControls* controls_ = nullptr;
    QPushButton* star_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* show_ = nullptr;
    QPushButton* trash_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* message_ = nullptr;
    QProgressBar* progress_ = nullptr;
    // The take to select again once a search is answered anew.
    std::optional<std::int64_t> reselect_;
    bool answered_once_ = false;
};

}  // namespace taperly

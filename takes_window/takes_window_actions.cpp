// What the Takes window does with the takes chosen: play, star, export,
// show and move to the trash, each handed to the archive or the player.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableView>

#include "archive/take_export.h"
#include "settings/file_exists.h"
#include "takes_window/player_controls.h"
#include "takes_window/show_in_folder.h"
#include "takes_window/takes_model.h"
#include "takes_window/takes_window.h"

namespace taperly {

namespace {

QString utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString duration_text(std::int64_t milliseconds) {
    const std::int64_t minutes = (milliseconds + 30000) / 60000;
    if (minutes < 1) {
        return QObject::tr("%1 s").arg((milliseconds + 500) / 1000);
    }
    return minutes < 60 ? QObject::tr("%1 min").arg(minutes)
                        : QObject::tr("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace

QString TakesWindow::summary() const {
    return totals_->text() + (message_->text().isEmpty() ? QString() : "  " + message_->text());
}

void TakesWindow::say(const QString& text) {
    message_->setText(text);
}

void TakesWindow::show_totals() {
    const TakeTotals totals = model_->totals();
    totals_->setText((totals.takes == 1
                          ? tr("1 take")
                          : tr("%1 takes").arg(parts_.locale.toString(totals.takes))) +
                     ", " + duration_text(totals.milliseconds));
}

void TakesWindow::show_progress(const OpenProgress& progress) {
    switch (progress.stage) {
        case OpenProgress::Stage::kReadingLog:
            // Told only while there is much to read: the first time, or
            // after a long time closed.
            if (progress.total - progress.done > 0 && progress.total > (1 << 20)) {
                progress_->setVisible(true);
                progress_->setRange(0, 1000);
                progress_->setValue(static_cast<int>(progress.done * 1000 / progress.total));
                progress_->setFormat(tr("Reading takes.csv: %p%"));
            }
            break;
        case OpenProgress::Stage::kLookingAtFolder:
        case OpenProgress::Stage::kReadingFiles:
            if (progress_->isVisible() || progress.total > 200) {
                progress_->setVisible(true);
                progress_->setRange(0, progress.total > 0 ? static_cast<int>(progress.total) : 0);
                progress_->setValue(static_cast<int>(progress.done));
                progress_->setFormat(tr("Reading the takes' files: %v of %m"));
            }
            break;
        case OpenProgress::Stage::kDone:
            progress_->setVisible(false);
            break;
    }
}

void TakesWindow::show_choices(const std::vector<ChoiceCount>& labels,
                               const std::vector<ChoiceCount>& systems) {
    const auto fill = [this](QListWidget* list, const std::vector<ChoiceCount>& choices,
                             const QString& none) {
        const auto shown = [this, &none](const ChoiceCount& choice) {
            const QString text = utf8(choice.text);
            return (text.isEmpty() ? none : text) + "  (" + parts_.locale.toString(choice.takes) +
                   ")";
        };
        // A take saved changes a count or two: the list stays as it is.
        bool same = list->count() == static_cast<int>(choices.size());
        for (int row = 0; same && row < list->count(); ++row) {
            same = list->item(row)->data(Qt::UserRole).toString() ==
                   utf8(choices[static_cast<std::size_t>(row)].text);
        }
        if (same) {
            const QSignalBlocker quiet(list);
            for (int row = 0; row < list->count(); ++row) {
                const QString text = shown(choices[static_cast<std::size_t>(row)]);
                if (list->item(row)->text() != text) {
                    list->item(row)->setText(text);
                }
            }
            return;
        }
        std::vector<QString> was;
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->checkState() == Qt::Checked) {
                was.push_back(list->item(row)->data(Qt::UserRole).toString());
            }
        }
        const QSignalBlocker quiet(list);
        list->clear();
        for (const ChoiceCount& choice : choices) {
            const QString text = utf8(choice.text);
            auto* item = new QListWidgetItem(shown(choice), list);
            item->setData(Qt::UserRole, text);

            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(
                std::find(was.begin(), was.end(), text) != was.end() ? Qt::Checked : Qt::Unchecked);
        }
    };
    fill(labels_, labels, tr("(none)"));
    fill(systems_, systems, tr("(no system)"));
}

std::vector<std::int64_t> TakesWindow::selected_ids() const {
    std::vector<std::int64_t> ids;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (const ArchivedTake* take = model_->take_at(index.row())) {
            ids.push_back(take->id);
        }
    }
    return ids;
}

const ArchivedTake* TakesWindow::current_take() const {
    const QModelIndex current = table_->selectionModel()->currentIndex();
    return current.isValid() ? model_->take_at(current.row()) : nullptr;
}

void TakesWindow::keep_playing_row_in_view(std::int64_t id) {
    if (id == 0) {
        return;
    }
    if (const std::optional<int> row = model_->row_of(id)) {
        table_->scrollTo(model_->index(*row, 0));
    } else {
        archive_->row_of(id, [this](std::int64_t row) {
            if (row >= 0) {
                table_->scrollTo(model_->index(static_cast<int>(row), 0));
            }
        });
    }
}

void TakesWindow::play_selected() {
    std::vector<ArchivedTake> takes;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (const ArchivedTake* take = model_->take_at(index.row())) {
            takes.push_back(*take);
        }
    }
    say(queue_->play(takes) ? QString() : tr("Nothing to play: the take's file is gone"));
}

void TakesWindow::play_from_here() {
    const ArchivedTake* take = current_take();
    if (take == nullptr) {
        say(tr("Choose the take to play from"));
        return;
    }
    say({});
    queue_->play_from(filter(), take->id, controls_->follows_live());
}

void TakesWindow::star_selected() {
    const std::vector<std::int64_t> ids = selected_ids();
    const ArchivedTake* take = current_take();
    if (ids.empty() || take == nullptr) {
        return;
    }
    // One star for all: given unless the take in focus has one.
    archive_->star(ids, !take->starred, [this](const std::string& problem) { say(utf8(problem)); });
}

void TakesWindow::show_selected_in_folder() {
    if (const ArchivedTake* take = current_take()) {
        show_in_folder(utf8(join_path(parts_.folder, take->facts.file_name)));
    }
}

void TakesWindow::trash_selected() {
    const std::vector<std::int64_t> ids = selected_ids();
    if (ids.empty()) {
        return;
    }
    const QString question =
        ids.size() == 1 ? tr("Move %1 to the trash?").arg(utf8(current_take()->facts.file_name))
                        : tr("Move %1 takes to the trash?").arg(ids.size());
    const bool sure =
        confirm ? confirm(question)
                : QMessageBox::question(this, tr("Move to trash"), question) == QMessageBox::Yes;
    if (!sure) {
        return;
    }
    archive_->trash(ids, [this](int moved, const std::string& problem) {
        say((moved == 1 ? tr("1 take moved to the trash")
                        : tr("%1 takes moved to the trash").arg(moved)) +
            (problem.empty() ? QString() : "; " + tr("kept: ") + utf8(problem)));
    });
}

void TakesWindow::export_takes(bool joined, bool all) {
    const std::vector<std::int64_t> ids = all ? std::vector<std::int64_t>{} : selected_ids();
    if (!all && ids.empty()) {
        say(tr("Select the takes to export"));
        return;
    }
    const QString target =
        choose_target ? choose_target(joined)
        : joined      ? QFileDialog::getSaveFileName(
                            this, tr("Join into one WAV file"), QDir::homePath() + "/takes.wav",
                            tr("WAV files (*.wav)"), nullptr, QFileDialog::DontConfirmOverwrite)
                 : QFileDialog::getExistingDirectory(this, tr("Copy takes into"), QDir::homePath());
    if (target.isEmpty()) {
        return;
    }
    const QFileInfo where(target);
    const QString into =
        QDir::toNativeSeparators(joined ? where.absolutePath() : where.absoluteFilePath());
    say(tr("Exporting…"));
    archive_->export_takes(ids, joined, into.toStdString(), where.fileName().toStdString(),
                           [this, into](const ExportOutcome& outcome) {
                               QString text =
                                   tr("%1 takes exported to %2").arg(outcome.takes).arg(into);
                               if (!outcome.problem.empty()) {
                                   text += "; " + utf8(outcome.problem);
                               }
                               say(text);
                           });
}

}  // namespace taperly

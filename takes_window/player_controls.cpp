#include "takes_window/player_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

namespace taperly {

namespace {

constexpr int kTicksPerSecond = 10;
constexpr double kSpeeds[] = {1.0, 1.5, 2.0};

QString clock_text(double seconds) {
    const int whole = static_cast<int>(seconds);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar(u'0'));
}

QPushButton* button(QWidget* parent, const char* name, const QString& text,
                    QStyle::StandardPixmap icon, const QString& tip) {
    auto* made = new QPushButton(parent->style()->standardIcon(icon), text, parent);
    made->setObjectName(name);
    made->setToolTip(tip);
    return made;
}

}  // namespace

PlayerControls::PlayerControls(TakePlayer& player, PlayQueue& queue, QWidget* parent)
    : QWidget(parent), player_(player), queue_(queue) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    play_ = button(this, "Play", tr("Play"), QStyle::SP_MediaPlay,
                   tr("Play the selected takes (Enter)"));
    play_from_here_ =
        button(this, "PlayFromHere", tr("Play from here"), QStyle::SP_MediaSeekForward,
               tr("Play the matching takes from the selected one on, in time order "
                  "(Ctrl+Enter)"));
    pause_ = button(this, "Pause", {}, QStyle::SP_MediaPause, tr("Pause or go on (Space)"));
    previous_ = button(this, "Previous", {}, QStyle::SP_MediaSkipBackward,
                       tr("The take before (Ctrl+Left)"));
    next_ = button(this, "Next", {}, QStyle::SP_MediaSkipForward, tr("The next take (Ctrl+Right)"));
    stop_ = button(this, "Stop", {}, QStyle::SP_MediaStop, tr("Stop"));
    position_ = new QSlider(Qt::Horizontal, this);
    position_->setObjectName("Position");
    time_ = new QLabel(clock_text(0) + " / " + clock_text(0), this);
    speed_ = new QComboBox(this);
    speed_->setObjectName("Speed");
    speed_->addItems({"1×", "1.5×", "2×"});
    speed_->setToolTip(tr("Faster, the pitch as it was"));
    follow_live_ = new QCheckBox(tr("Follow live"), this);
    follow_live_->setObjectName("FollowLive");
    follow_live_->setToolTip(tr("Once the list is played out, play takes saved later that match"));
    problem_ = new QLabel(this);
    problem_->setObjectName("PlayerProblem");
    for (QWidget* widget :
         std::initializer_list<QWidget*>{play_, play_from_here_, pause_, previous_, next_, stop_,
                                         position_, time_, speed_, follow_live_, problem_}) {
        row->addWidget(widget, widget == position_ ? 1 : 0);
    }

    connect(play_, &QPushButton::clicked, this, &PlayerControls::play_pressed);
    connect(play_from_here_, &QPushButton::clicked, this, &PlayerControls::play_from_here_pressed);
    connect(pause_, &QPushButton::clicked, this, &PlayerControls::toggle_pause);
    connect(previous_, &QPushButton::clicked, this, &PlayerControls::previous);
    connect(next_, &QPushButton::clicked, this, &PlayerControls::next);
    connect(stop_, &QPushButton::clicked, this, [this] { player_.stop(); });
    connect(speed_, &QComboBox::currentIndexChanged, this,
            [this](int index) { player_.set_speed(kSpeeds[std::max(index, 0)]); });
    connect(follow_live_, &QCheckBox::toggled, this,
            [this](bool follow) { queue_.set_follow_live(follow); });
    connect(position_, &QSlider::sliderReleased, this,
            [this] { player_.seek(static_cast<double>(position_->value()) / kTicksPerSecond); });
    connect(&timer_, &QTimer::timeout, this, [this] {
        queue_.tick();
        show_state();
    });
    timer_.start(200);
    show_state();
}

bool PlayerControls::follows_live() const {
    return follow_live_->isChecked();
}

void PlayerControls::toggle_pause() {
    const PlayerState state = player_.state();
    if (state.mode == PlayerState::Mode::kPlaying || state.mode == PlayerState::Mode::kPaused) {
        player_.set_paused(state.mode == PlayerState::Mode::kPlaying);
    }
}

void PlayerControls::previous() {
    player_.previous();
}

void PlayerControls::next() {
    player_.next();
}

void PlayerControls::show_state() {
    const PlayerState state = player_.state();
    const bool active =
        state.mode == PlayerState::Mode::kPlaying || state.mode == PlayerState::Mode::kPaused;
    pause_->setEnabled(active);
    previous_->setEnabled(active);
    next_->setEnabled(active);
    stop_->setEnabled(state.mode != PlayerState::Mode::kStopped);
    position_->setEnabled(active);
    pause_->setIcon(style()->standardIcon(
        state.mode == PlayerState::Mode::kPaused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
    if (!position_->isSliderDown()) {
        position_->setRange(0, static_cast<int>(state.length_seconds * kTicksPerSecond));
        position_->setValue(static_cast<int>(state.position_seconds * kTicksPerSecond));
    }
    time_->setText(state.mode == PlayerState::Mode::kWaitingForLive
                       ? tr("Waiting for the next take")
                       : clock_text(state.position_seconds) + " / " +
                             clock_text(state.length_seconds));
    const QString problem = QString::fromStdString(state.problem);
    if (problem_->text() != problem) {
        problem_->setText(problem);
    }
    const std::int64_t playing = active ? state.id : 0;
    if (playing != playing_) {
        playing_ = playing;
        emit playing_changed(playing);
    }
}

}  // namespace taperly

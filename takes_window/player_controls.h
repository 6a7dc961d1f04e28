#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "archive/play_queue.h"
#include "playback/take_player.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace taperly {

// The Takes window's row of play controls, wired to the player: play,
// play from here, pause, previous, next, stop, the position bar, the speed
// and following live. It shows what the player says it is doing, and tells
// the window which take is playing.
class PlayerControls : public QWidget {
    Q_OBJECT
  public:
    PlayerControls(TakePlayer& player, PlayQueue& queue, QWidget* parent = nullptr);

    bool follows_live() const;
    // Pauses or goes on, as the space key does.
    void toggle_pause();
    void previous();
    void next();

  signals:
    void play_pressed();
    void play_from_here_pressed();
    // The take playing now, 0 when none.
    void playing_changed(std::int64_t id);

  private:
    void show_state();

    TakePlayer& player_;
    PlayQueue& queue_;
    QPushButton* play_ = nullptr;
    QPushButton* play_from_here_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* stop_ = nullptr;
    QSlider* position_ = nullptr;
    QLabel* time_ = nullptr;
    QComboBox* speed_ = nullptr;
    QCheckBox* follow_live_ = nullptr;
    QLabel* problem_ = nullptr;
    QTimer timer_;
    std::int64_t playing_ = 0;
};

}  // namespace taperly

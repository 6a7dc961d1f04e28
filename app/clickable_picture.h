#pragma once

#include <QLabel>

namespace taperly {

// A picture that reports a click of the left mouse button and can hold the
// keyboard focus.
class ClickablePicture : public QLabel {
    Q_OBJECT
  public:
    explicit ClickablePicture(QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace taperly

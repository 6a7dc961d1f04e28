#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QString>

#include "app/form1.h"

namespace taperly::bench {

// Chooses COM port 1 and `bits_per_second` in the window's lists as a user
// would, then clicks Run. False when Run could not be clicked.
inline bool choose_and_run(Form1& form, int bits_per_second) {
    auto* port_list = form.findChild<QComboBox*>("Combo1");
    auto* speed_list = form.findChild<QComboBox*>("Combo2");
    auto* run_button = form.findChild<QPushButton*>("Command2");
    port_list->setCurrentIndex(0);
    emit port_list->activated(0);
    const int speed_index = speed_list->findText(QString::number(bits_per_second));
    speed_list->setCurrentIndex(speed_index);
    emit speed_list->activated(speed_index);
    if (!run_button->isEnabled()) {
        return false;
    }
    run_button->click();
    return true;
}

}  // namespace taperly::bench

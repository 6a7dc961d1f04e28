#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <cstdio>
#include <string>

#include "app/form1.h"
#include "support/simulator_process.h"

namespace taperly::bench {

// The simulator of a bench run playing `scenario`, its commands logged in
// the run's folder `out` for the report to read.
inline testing::SimulatorSettings simulator_settings(const std::string& scenario,
                                                     int bits_per_second, const std::string& out) {
    testing::SimulatorSettings settings;
    settings.scenario = scenario;
    settings.bits_per_second = bits_per_second;
    settings.log_path = out + "/commands.log";
    return settings;
}

// Shows the window, chooses COM port 1 and `bits_per_second` in its lists as
// a user would, then clicks Run. The window's status line; null when Run
// could not be clicked, once what the status line says has been printed.
inline QLineEdit* show_and_run(Form1& form, int bits_per_second) {
    form.show();
    auto* status_line = form.findChild<QLineEdit*>("Text3");
    auto* port_list = form.findChild<QComboBox*>("Combo1");
    auto* speed_list = form.findChild<QComboBox*>("Combo2");
    auto* run_button = form.findChild<QPushButton*>("Command2");
    port_list->setCurrentIndex(0);
    emit port_list->activated(0);
    const int speed_index = speed_list->findText(QString::number(bits_per_second));
    speed_list->setCurrentIndex(speed_index);
    emit speed_list->activated(speed_index);
    if (!run_button->isEnabled()) {
        std::printf("- Run could not be clicked: \"%s\"\n", qPrintable(status_line->text()));
        return nullptr;
    }
    run_button->click();
    return status_line;
}

}  // namespace taperly::bench

// Qt turns the event loop inside some of its own calls (tearing down a sound
// source does). A click or a timer arriving there must not start a handler
// inside the poll that is finishing a take.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/form1.h"
#include "support/fakes.h"
#include "support/temp_folder.h"

namespace taperly {
namespace {

// A recorder whose "stop" keeps the event loop turning for a while, as Qt's
// sound teardown does, while the user presses Stop.
class SpinningRecorder : public testing::FakeRecorder {
  public:
    void Command(const std::string& order) override {
        const bool taking = mode == kModeRecording;
        FakeRecorder::Command(order);
        if (order == "stop" && taking && stop_button != nullptr) {
            QTimer::singleShot(0, stop_button, [this] { stop_button->click(); });
            QTest::qWait(350);
        }
    }
    QPushButton* stop_button = nullptr;
};

std::string status(const char* flag) {
    return std::string("STS,Metro           ,,Fire            ,,,,,,") + flag + ",3,0\r";
}

TEST(Form1Reentry, StopPressedWhileATakeIsFinishedWaitsForThePollToEnd) {
    testing::TempFolder folder;
    folder.write("com_settings.txt", "0\r\n0\r\n100\r\n");
    auto recorder = std::make_unique<SpinningRecorder>();
    SpinningRecorder& orders = *recorder;
    testing::FakePort* port = nullptr;
    Form1Parts parts{[&port](LinkLostHandler) {
                         auto made = std::make_unique<testing::FakePort>();
                         port = made.get();
                         return made;
                     },
                     std::move(recorder), std::make_unique<testing::FakeClock>(), folder.path(),
                     QString()};
    Form1 form(std::move(parts));
    orders.stop_button = form.findChild<QPushButton*>("Command2");
    QTest::mouseClick(orders.stop_button, Qt::LeftButton);
    ASSERT_TRUE(port->is_open());

    orders.log.clear();
    port->arrive(status("0"));
    port->arrive(status("1"));
    // Replies that would finish the take again, were a poll to run inside it.
    for (int i = 0; i < 4; ++i) {
        port->arrive(status("1"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return orders.stop_button->text() == "Run"; }, 5000));

    const auto take_stop = std::find(orders.log.begin(), orders.log.end(), "Record");
    ASSERT_NE(take_stop, orders.log.end());
    const std::vector<std::string> finishing(take_stop + 1, take_stop + 5);
    EXPECT_EQ(finishing[0], "stop");
    EXPECT_EQ(finishing[1].rfind("FileName=Metro_-_Fire_", 0), 0u) << finishing[1];
    EXPECT_EQ(finishing[2], "save");
    EXPECT_EQ(finishing[3], "close");
    EXPECT_EQ(orders.saved.size(), 1u);
}

}  // namespace
}  // namespace taperly

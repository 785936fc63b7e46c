// Window messages between threads: posting from a worker, sending on the owner thread
// and blocking from another, and messages to a receiver that no longer exists.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/WindowMessages.h"

using namespace platform;

namespace {

constexpr int kMessage = 10114;
constexpr int kQuestion = 1125;

// Records the messages it handles and answers kQuestion with wParam * 2.
class Receiver : public QObject {
  public:
    struct Received {
        int message;
        WParam w;
        LParam l;
        bool onOwnerThread;
    };
    std::vector<Received> received;

    bool event(QEvent* e) override {
        if (!IsWindowMessage(e)) return QObject::event(e);
        auto* m = static_cast<WindowMessageEvent*>(e);
        received.push_back(
            {m->message(), m->wParam, m->lParam, QThread::currentThread() == thread()});
        if (m->message() == kQuestion) m->result = static_cast<LParam>(m->wParam * 2);
        return true;
    }
};

// Runs the owner thread's event loop until `done` or a time limit.
void PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

TEST(WindowMessages, PostedFromAWorkerArriveInOrderOnTheOwnerThread) {
    Receiver r;
    const WindowHandle h = WindowHandleOf(&r);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(WindowHandleOf(&r), h);
    EXPECT_EQ(ObjectFromHandle(h), &r);

    std::thread worker([h] {
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(PostMessage(h, kMessage, i, -i));
    });
    worker.join();
    EXPECT_TRUE(r.received.empty());  // posting never delivers directly
    PumpUntil([&] { return r.received.size() == 5; });
    ASSERT_EQ(r.received.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r.received[i].message, kMessage);
        EXPECT_EQ(r.received[i].w, static_cast<WParam>(i));
        EXPECT_EQ(r.received[i].l, -i);
        EXPECT_TRUE(r.received[i].onOwnerThread);
    }
}

TEST(WindowMessages, SendAnswersDirectlyOnTheOwnerThread) {
    Receiver r;
    EXPECT_EQ(SendMessage(WindowHandleOf(&r), kQuestion, 21), 42);
    ASSERT_EQ(r.received.size(), 1u);
}

TEST(WindowMessages, SendFromAnotherThreadBlocksUntilHandled) {
    Receiver r;
    const WindowHandle h = WindowHandleOf(&r);
    std::atomic<LParam> answer{-1};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        answer = SendMessage(h, kQuestion, 50);
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(finished.load());  // nobody has run the owner's event loop yet
    PumpUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(answer.load(), 100);
    ASSERT_EQ(r.received.size(), 1u);
    EXPECT_TRUE(r.received[0].onOwnerThread);
}

TEST(WindowMessages, MessagesToADestroyedReceiverAreDropped) {
    auto* r = new Receiver;
    const WindowHandle h = WindowHandleOf(r);
    ASSERT_TRUE(PostMessage(h, kMessage));  // pending when the receiver goes
    delete r;
    EXPECT_EQ(ObjectFromHandle(h), nullptr);
    EXPECT_FALSE(PostMessage(h, kMessage));
    EXPECT_EQ(SendMessage(h, kQuestion, 1), 0);
    QCoreApplication::processEvents();  // the pending message must not reach freed memory
    EXPECT_FALSE(PostMessage(0, kMessage));
}

TEST(WindowMessages, ABlockedSenderIsReleasedWhenTheReceiverIsDestroyed) {
    auto* r = new Receiver;
    const WindowHandle h = WindowHandleOf(r);
    std::atomic<LParam> answer{-1};
    std::thread worker([&] { answer = SendMessage(h, kQuestion, 7); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    delete r;  // the queued delivery goes with it
    worker.join();
    EXPECT_EQ(answer.load(), 0);
}

TEST(WindowMessages, ControlsAreFoundByTheirId) {
    QObject dialog;
    auto* child = new QObject(&dialog);
    SetControlId(child, 1028);
    const WindowHandle d = WindowHandleOf(&dialog);
    EXPECT_EQ(ObjectFromHandle(GetDlgItem(d, 1028)), child);
    EXPECT_EQ(GetDlgItem(d, 9999), 0u);
}

// Window messages between threads. A message is a Qt event whose type is the
// message number; a window is named by a WindowHandle, a small integer that stays
// safe to use after the window is gone (posting to it is then simply dropped).
//
// Any QObject can become a window: WindowHandleOf gives it a handle on first use.
// A receiver handles messages in its event() override by checking
// IsWindowMessage(event) and reading the WindowMessageEvent fields; it stores the
// answer of a sent message in `result`.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

namespace platform {

using WindowHandle = std::uint32_t;  // 0 = no window
using WParam = std::uintptr_t;
using LParam = std::intptr_t;

struct SendReply;

class WindowMessageEvent : public QEvent {
  public:
    WindowMessageEvent(int message, WParam w, LParam l)
        : QEvent(static_cast<QEvent::Type>(message)), wParam(w), lParam(l) {}
    // A message sent from another thread hands its result back to the waiting sender
    // here: Qt deletes a posted event after delivering it, or unread when the
    // receiver is destroyed first.
    ~WindowMessageEvent() override;
    int message() const { return static_cast<int>(type()); }

    WParam wParam;
    LParam lParam;
    LParam result = 0;

    // Used by SendMessage across threads.
    void AttachReply(std::shared_ptr<SendReply> reply) { reply_ = std::move(reply); }

  private:
    std::shared_ptr<SendReply> reply_;
};

namespace detail {
// Taken by the posting side while a message or call is built and queued, and by the
// receiving side before it is read: what the poster wrote is then ordered before its
// use by a lock of our own, which race checkers see (Qt's queue locks they do not).
std::mutex& HandOverMutex();
}  // namespace detail

// True for an event that carries a window message; its fields may then be read.
inline bool IsWindowMessage(const QEvent* e) {
    if (!dynamic_cast<const WindowMessageEvent*>(e)) return false;
    { std::lock_guard<std::mutex> handOver(detail::HandOverMutex()); }
    return true;
}

// The handle of obj, assigned on first use and released when obj is destroyed.
WindowHandle WindowHandleOf(QObject* obj);
// The object behind a handle, or null. Only safe to dereference on the object's thread.
QObject* ObjectFromHandle(WindowHandle handle);

// Queues the message for the window's thread. False when the window does not exist.
bool PostMessage(WindowHandle window, int message, WParam w = 0, LParam l = 0);
// Delivers the message and returns the receiver's result: directly on the window's
// own thread, blocking until the window's thread has handled it otherwise. 0 when
// the window does not exist (or disappears before handling it).
LParam SendMessage(WindowHandle window, int message, WParam w = 0, LParam l = 0);

namespace detail {
template <typename Call>
struct PostedCall {
    Call call;
    void operator()() {
        { std::lock_guard<std::mutex> handOver(HandOverMutex()); }
        call();
    }
};
}  // namespace detail

// Queues `call` (and what it captured) for the thread of `receiver`, which runs it
// from its event loop; dropped if the receiver is destroyed first. Every hand-over
// from a worker thread to a window goes through here or PostMessage.
template <typename Call>
void PostCall(QObject* receiver, Call&& call) {
    std::lock_guard<std::mutex> handOver(detail::HandOverMutex());
    QMetaObject::invokeMethod(receiver,
                              detail::PostedCall<std::decay_t<Call>>{std::forward<Call>(call)},
                              Qt::QueuedConnection);
}

// The child control of a dialog whose object name is the control id in decimal
// (e.g. "1023"), searched among all descendants. Callable from any thread.
WindowHandle GetDlgItem(WindowHandle dialog, int controlId);
// Names a widget or object by its control id so GetDlgItem finds it.
void SetControlId(QObject* obj, int controlId);

}  // namespace platform

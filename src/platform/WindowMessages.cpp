#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

// Handles are registered under one lock. An object is unregistered from its
// destroyed() signal, which runs before QObject drops the events still posted
// to it, so a message posted under the lock either reaches a live object or is
// discarded with it.
struct Registry {
    // Recursive: Qt may delete a queued event inside postEvent (when the receiver's
    // thread has gone), and a lookup event's destructor reads the registry.
    std::recursive_mutex mutex;
    std::unordered_map<WindowHandle, QObject*> byHandle;
    std::unordered_map<QObject*, WindowHandle> byObject;
    WindowHandle next = 1;
};

Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: worker threads may outlive statics
    return *r;
}

void Unregister(QObject* obj) {
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> guard(r.mutex);
    auto it = r.byObject.find(obj);
    if (it == r.byObject.end()) return;
    r.byHandle.erase(it->second);
    r.byObject.erase(it);
}

}  // namespace

WindowHandle WindowHandleOf(QObject* obj) {
    if (!obj) return 0;
    Registry& r = registry();
    {
        std::lock_guard<std::recursive_mutex> guard(r.mutex);
        auto it = r.byObject.find(obj);
        if (it != r.byObject.end()) return it->second;
        WindowHandle h = r.next++;
        if (r.next == 0) r.next = 1;
        r.byHandle[h] = obj;
        r.byObject[obj] = h;
        QObject::connect(obj, &QObject::destroyed, [obj] { Unregister(obj); });
        return h;
    }
}

QObject* ObjectFromHandle(WindowHandle handle) {
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> guard(r.mutex);
    auto it = r.byHandle.find(handle);
    return it == r.byHandle.end() ? nullptr : it->second;
}

std::mutex& detail::HandOverMutex() {
    static std::mutex mutex;
    return mutex;
}

bool PostMessage(WindowHandle window, int message, WParam w, LParam l) {
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> guard(r.mutex);
    auto it = r.byHandle.find(window);
    if (it == r.byHandle.end()) return false;
    std::lock_guard<std::mutex> handOver(detail::HandOverMutex());
    QCoreApplication::postEvent(it->second, new WindowMessageEvent(message, w, l));
    return true;
}

// A sender on another thread waits here for the receiver's answer.
struct SendReply {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    LParam result = 0;

    void Finish(LParam value) {
        std::lock_guard<std::mutex> guard(mutex);
        result = value;
        done = true;
        cv.notify_all();
    }
    LParam Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [this] { return done; });
        return result;
    }
};

WindowMessageEvent::~WindowMessageEvent() {
    if (reply_) reply_->Finish(result);
}

namespace {

// Event type of a child lookup queued to a dialog's thread. Nothing handles it: the
// lookup runs when Qt deletes the event, on the dialog's thread after delivery, or
// unread when the dialog is destroyed first (then the dialog is no longer registered
// and the answer is 0).
constexpr int kChildLookupEvent = 65000;

class ChildLookupEvent : public QEvent {
  public:
    ChildLookupEvent(WindowHandle dialog, int controlId, std::shared_ptr<SendReply> reply)
        : QEvent(static_cast<QEvent::Type>(kChildLookupEvent)),
          dialog_(dialog),
          controlId_(controlId),
          reply_(std::move(reply)) {}
    ~ChildLookupEvent() override {
        QObject* obj = ObjectFromHandle(dialog_);
        QObject* child = obj ? obj->findChild<QObject*>(QString::number(controlId_)) : nullptr;
        reply_->Finish(static_cast<LParam>(WindowHandleOf(child)));
    }

  private:
    WindowHandle dialog_;
    int controlId_;
    std::shared_ptr<SendReply> reply_;
};

// Finds the window; when it lives on the calling thread returns it, otherwise
// queues the event made by makeEvent to it (under the registry lock, so the window
// cannot vanish in between) and returns null. `queued` tells whether it was queued.
template <class MakeEvent>
QObject* LocalOrQueue(WindowHandle window, MakeEvent makeEvent, bool& queued) {
    queued = false;
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> guard(r.mutex);
    auto it = r.byHandle.find(window);
    if (it == r.byHandle.end()) return nullptr;
    if (it->second->thread() == QThread::currentThread()) return it->second;
    std::lock_guard<std::mutex> handOver(detail::HandOverMutex());
    QCoreApplication::postEvent(it->second, makeEvent());
    queued = true;
    return nullptr;
}

}  // namespace

LParam SendMessage(WindowHandle window, int message, WParam w, LParam l) {
    auto reply = std::make_shared<SendReply>();
    bool queued = false;
    QObject* local = LocalOrQueue(
        window,
        [&] {
            auto* ev = new WindowMessageEvent(message, w, l);
            ev->AttachReply(reply);
            return ev;
        },
        queued);
    if (queued) return reply->Wait();
    if (!local) return 0;
    WindowMessageEvent ev(message, w, l);
    QCoreApplication::sendEvent(local, &ev);
    return ev.result;
}

WindowHandle GetDlgItem(WindowHandle dialog, int controlId) {
    auto reply = std::make_shared<SendReply>();
    bool queued = false;
    QObject* local = LocalOrQueue(
        dialog, [&] { return new ChildLookupEvent(dialog, controlId, reply); }, queued);
    if (queued) return static_cast<WindowHandle>(reply->Wait());
    if (!local) return 0;
    return WindowHandleOf(local->findChild<QObject*>(QString::number(controlId)));
}

void SetControlId(QObject* obj, int controlId) {
    if (obj) obj->setObjectName(QString::number(controlId));
}

}  // namespace platform

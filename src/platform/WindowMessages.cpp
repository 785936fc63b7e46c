#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

// Handles are registered under one lock. An object is unregistered from its
// destroyed() signal, which runs before QObject drops the events still posted
// to it, so a message posted under the lock either reaches a live object or is
// discarded with it.
struct Registry {
    std::mutex mutex;
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
    std::lock_guard<std::mutex> guard(r.mutex);
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
        std::lock_guard<std::mutex> guard(r.mutex);
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
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.byHandle.find(handle);
    return it == r.byHandle.end() ? nullptr : it->second;
}

bool PostMessage(WindowHandle window, int message, WParam w, LParam l) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto it = r.byHandle.find(window);
    if (it == r.byHandle.end()) return false;
    QCoreApplication::postEvent(it->second, new WindowMessageEvent(message, w, l));
    return true;
}

namespace {
LParam DeliverOnOwnerThread(WindowHandle window, int message, WParam w, LParam l) {
    QObject* obj = ObjectFromHandle(window);
    if (!obj) return 0;
    WindowMessageEvent ev(message, w, l);
    QCoreApplication::sendEvent(obj, &ev);
    return ev.result;
}

// Runs fn on the thread that owns the window, waiting for it; returns false when the
// window is gone. The window itself is the context object, so a call queued to a
// window that is then destroyed is dropped and the caller released.
template <class Fn>
bool RunOnOwnerThread(WindowHandle window, Fn fn) {
    QObject* obj = nullptr;
    QThread* owner = nullptr;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.mutex);
        auto it = r.byHandle.find(window);
        if (it == r.byHandle.end()) return false;
        obj = it->second;
        owner = obj->thread();
    }
    if (owner == QThread::currentThread()) {
        fn();
        return true;
    }
    return QMetaObject::invokeMethod(obj, fn, Qt::BlockingQueuedConnection);
}
}  // namespace

LParam SendMessage(WindowHandle window, int message, WParam w, LParam l) {
    LParam result = 0;
    RunOnOwnerThread(window, [&] { result = DeliverOnOwnerThread(window, message, w, l); });
    return result;
}

WindowHandle GetDlgItem(WindowHandle dialog, int controlId) {
    WindowHandle child = 0;
    RunOnOwnerThread(dialog, [&] {
        QObject* obj = ObjectFromHandle(dialog);
        if (!obj) return;
        QObject* found = obj->findChild<QObject*>(QString::number(controlId));
        child = WindowHandleOf(found);
    });
    return child;
}

void SetControlId(QObject* obj, int controlId) {
    if (obj) obj->setObjectName(QString::number(controlId));
}

}  // namespace platform

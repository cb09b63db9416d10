#include "platform/Window.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace platform {

// State shared by the window and the threads sending to it. It outlives the
// window as long as a queued delivery or a waiting sender still refers to it.
struct CWnd::Port {
    std::mutex lock;
    std::condition_variable done;
    bool open = true;
    CWnd* window = nullptr;
    QObject* context = new QObject;  // lives on the GUI thread; deliveries run in it

    ~Port() {
        // The last reference may be dropped by a worker thread; a QObject must
        // die on its own thread.
        if (context->thread() == QThread::currentThread()) {
            delete context;
        } else {
            context->deleteLater();
        }
    }
};

namespace {

// One sent record: the waiter owns it together with the queued delivery.
struct Delivery {
    COPYDATASTRUCT record;
    intptr_t result = 0;
    bool finished = false;
};

}  // namespace

CWnd::CWnd() : m_port(std::make_shared<Port>()), m_ownThread(std::this_thread::get_id()) {
    m_port->window = this;
    // When the event loop is about to end no queued delivery will run any more:
    // close the port so that waiting senders are let go.
    if (auto* app = QCoreApplication::instance()) {
        std::weak_ptr<Port> weak = m_port;
        QObject::connect(app, &QCoreApplication::aboutToQuit, m_port->context, [weak] {
            if (auto port = weak.lock()) {
                std::lock_guard guard(port->lock);
                port->open = false;
                port->window = nullptr;
                port->done.notify_all();
            }
        });
    }
}

CWnd::~CWnd() {
    ClosePort();
}

void CWnd::ClosePort() {
    std::lock_guard guard(m_port->lock);
    m_port->open = false;
    m_port->window = nullptr;
    m_port->done.notify_all();
}

bool CWnd::IsPortOpen() const {
    std::lock_guard guard(m_port->lock);
    return m_port->open;
}

intptr_t CWnd::SendCopyData(const COPYDATASTRUCT& record) {
    if (IsOwnThread()) {
        return IsPortOpen() ? OnCopyData(record) : 0;
    }
    auto port = m_port;
    auto delivery = std::make_shared<Delivery>();
    delivery->record = record;
    {
        std::lock_guard guard(port->lock);
        if (!port->open) return 0;
    }
    const bool queued = QMetaObject::invokeMethod(
        port->context,
        [port, delivery] {
            CWnd* window = nullptr;
            {
                std::lock_guard guard(port->lock);
                if (!port->open || delivery->finished) return;
                window = port->window;
            }
            // Runs on the GUI thread, which is also the only thread that closes
            // the port, so the window cannot go away during the handler.
            const intptr_t result = window->OnCopyData(delivery->record);
            std::lock_guard guard(port->lock);
            delivery->result = result;
            delivery->finished = true;
            port->done.notify_all();
        },
        Qt::QueuedConnection);
    if (!queued) return 0;

    std::unique_lock guard(port->lock);
    port->done.wait(guard, [&] { return delivery->finished || !port->open; });
    // A closed port abandons the record: the queued delivery sees "finished"
    // and never reads the caller's data after the caller has returned.
    delivery->finished = true;
    return delivery->result;
}

bool CWnd::PostMessage(unsigned message) {
    auto port = m_port;
    {
        std::lock_guard guard(port->lock);
        if (!port->open) return false;
    }
    return QMetaObject::invokeMethod(
        port->context,
        [port, message] {
            CWnd* window = nullptr;
            {
                std::lock_guard guard(port->lock);
                if (!port->open) return;
                window = port->window;
            }
            window->OnMessage(message);
        },
        Qt::QueuedConnection);
}

}  // namespace platform

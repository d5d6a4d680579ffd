#include "platform/win/qt/QtMessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/win/MessageLayer.h"

namespace quillet::win {

namespace {
const QEvent::Type kPumpEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

// The layer's side of the pump. wake() runs on any thread; it posts at most one pump
// event until the pump has run, so a burst of posts costs one Qt event.
class QtMessagePump::Integration : public EventLoopIntegration {
  public:
    explicit Integration(QObject* target) : m_target(target) {}

    void wake() override {
        if (m_pending.exchange(true)) return;
        std::lock_guard lock(m_mutex);  // the target is not destroyed while we post
        if (m_target) QCoreApplication::postEvent(m_target, new QEvent(kPumpEvent));
    }
    void processEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }

    void pumping() { m_pending = false; }
    void detach() {
        std::lock_guard lock(m_mutex);
        m_target = nullptr;
    }

  private:
    std::mutex m_mutex;
    QObject* m_target;
    std::atomic<bool> m_pending{false};
};

QtMessagePump::QtMessagePump(QObject* parent)
    : QObject(parent), m_integration(std::make_shared<Integration>(this)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { pump(); });
    InstallEventLoopIntegration(m_integration);
    m_integration->wake();  // whatever was queued before the pump existed
}

QtMessagePump::~QtMessagePump() {
    InstallEventLoopIntegration(nullptr);
    m_integration->detach();
}

bool QtMessagePump::event(QEvent* e) {
    if (e->type() != kPumpEvent) return QObject::event(e);
    pump();
    return true;
}

void QtMessagePump::pump() {
    m_integration->pumping();  // posts from now on wake us again
    if (auto quit = PumpMessages()) QCoreApplication::exit(*quit);
    if (auto due = NextTimerDue()) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(*due - std::chrono::steady_clock::now());
        m_timer.start(
            static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT32_MAX)));
    } else {
        m_timer.stop();
    }
}

}  // namespace quillet::win

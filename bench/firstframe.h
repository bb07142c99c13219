#pragma once

// What the start-up children of bench_startup share: the moment the first frame of a window has
// been painted, and the process's peak memory, both printed on stdout for the parent.

#include "monotonic.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace tollvik::bench {

inline void printFirstFrame()
{
    std::printf("shown %lld\n", monotonicNs());
    std::fflush(stdout);
}

// Peak resident set of this process so far, in kilobytes.
inline void printMaxRss()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("maxrss %ld\n", usage.ru_maxrss);
    std::fflush(stdout);
}

// Calls then() on the event loop once the window has been exposed and the expose has been
// handled, that is once its first frame has been painted. Call it right after show().
class FirstFrame : public QObject
{
public:
    FirstFrame(QWidget& widget, std::function<void()> then) : m_then(std::move(then))
    {
        QWindow* window = widget.windowHandle();
        if (window && window->isExposed())
            fire();
        else if (window)
            window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            fire();
        }
        return false;
    }

private:
    // Queued, so that the expose is painted before then() runs.
    void fire()
    {
        QMetaObject::invokeMethod(
            this, [this] { m_then(); }, Qt::QueuedConnection);
    }

    std::function<void()> m_then;
};

} // namespace tollvik::bench

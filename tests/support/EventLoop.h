// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The event loop for tests of every area: one application object, one wait.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace corvane::test {

// The application object; a GUI test's main() makes its own first.
inline QCoreApplication &app()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "corvane_tests";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    return *QCoreApplication::instance();
}

// Runs the event loop until done() holds; false when it never does. The cap only keeps a
// broken test from hanging (or, with a done() that never holds, lets what is due come in).
inline bool waitUntil(const std::function<bool()> &done, int capMs = 30000)
{
    app();
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > capMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets queued work run: what is already posted, not what timers bring later.
inline void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace corvane::test

#pragma once
// Runs the calling thread's events until `done` holds or `ms` have passed;
// returns whether it holds. For what arrives by itself (notices, replies of
// another process) where a test cannot know the moment.
#include <QCoreApplication>
#include <QDeadlineTimer>

template <class F>
bool WaitFor(F done, int ms = 1000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

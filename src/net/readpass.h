#pragma once

#include "bounds.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <functional>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

// The time one read pass may take, counted from its start.
class ReadBudget final
{
public:
    ReadBudget() { clock.start(); }
    bool spent() const { return clock.hasExpired(MaxReadPassMs); }

private:
    QElapsedTimer clock;
};

// Reading in passes of their own: a readyRead notice only queues a pass
// behind the events already waiting, and at most one pass is queued at a
// time. Until it runs, a flooding peer fills its socket's bounded buffer and
// is then held back by TCP, so it cannot keep the event loop to itself. A
// pass that runs out of budget queues the next for the rest.
class ReadPass final
{
    Q_DISABLE_COPY_MOVE(ReadPass)

public:
    // read runs each pass; context ends the passes still queued when it goes.
    ReadPass(QObject *context, std::function<void()> read);

    void queue();
    bool isQueued() const { return queued; }

private:
    QObject *context = nullptr;
    std::function<void()> read;
    bool queued = false;
};

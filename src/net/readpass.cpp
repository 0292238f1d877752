#include "readpass.h"

#include <QTimer>

#include <utility>

ReadPass::ReadPass(QObject *context, std::function<void()> read)
    : context(context), read(std::move(read))
{
}

void ReadPass::queue()
{
    if (queued)
        return;
    queued = true;
    QTimer::singleShot(0, context, [this] {
        queued = false;
        read();
    });
}

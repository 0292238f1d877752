#include "mkestrunewidget.h"

void mKestruneWidget::addClientLink(QString clientAddrPort, int socketDescriptor)
{
    Q_UNUSED(clientAddrPort);
    Q_UNUSED(socketDescriptor);
}

void mKestruneWidget::removeClientLink(QString clientAddrPort, int socketDescriptor)
{
    Q_UNUSED(clientAddrPort);
    Q_UNUSED(socketDescriptor);
}

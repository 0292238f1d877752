#include "mkestrunewidget.h"

#include "mkestruneform.h"

#include <QComboBox>

void mKestruneWidget::addClientLink(QString clientAddrPort, int socketDescriptor)
{
    // "全部连接" comes with the first client; being the first item of an
    // empty selector, it becomes the current one.
    if (clientLinkCount == 0) {
        socketDescriptorList.clear();
        socketDescriptorList.append(0);
        ui->cBoxClients->addItem(tr("全部连接"));
    }
    ++clientLinkCount;
    socketDescriptorList.append(socketDescriptor);
    ui->cBoxClients->addItem(clientAddrPort);
}

void mKestruneWidget::removeClientLink(QString clientAddrPort, int socketDescriptor)
{
    if (socketDescriptor != -1)
        return;
    if (clientLinkCount <= 1) {
        clearClientList();
        return;
    }
    --clientLinkCount;
    const int position = ui->cBoxClients->findText(clientAddrPort, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (position < 0)
        return;
    ui->cBoxClients->removeItem(position);
    if (position < socketDescriptorList.size())
        socketDescriptorList.removeAt(position);
}

void mKestruneWidget::clearClientList()
{
    socketDescriptorList.clear();
    ui->cBoxClients->clear();
    clientLinkCount = 0;
}

#include "appidentity.h"
#include "descriptors.h"
#include "mkestrunewidget.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // A server link holds a descriptor per client; the usual soft limit of
    // 1024 would end it well before the system's own limit.
    raiseDescriptorLimit();
    QApplication app(argc, argv);
    // The application name is also the X11 window class, which the desktop
    // entry's StartupWMClass names; the desktop file name lets Wayland
    // compositors and task bars find the entry and its icon.
    QApplication::setApplicationName(QStringLiteral("kestrune"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestruneVersion));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kestruneAppId));
    // The installed icon, for a window started where no icon.ico lies.
    QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kestruneAppId)));
    mKestruneWidget window;
    window.show();
    return app.exec();
}

#include "mkestrunewidget.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    mKestruneWidget window;
    window.show();
    return app.exec();
}

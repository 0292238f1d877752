#pragma once

// Everything the window tests share: the real window reached through its
// object names, answers to its modal dialogs, peers on 127.0.0.1 at the far
// end of its link, peer processes, and byte and file utilities.

#include "files.h"
#include "kestruneprobe.h"
#include "loopback.h"
#include "modalguard.h"
#include "modalscript.h"
#include "peer.h"
#include "peermodes.h"
#include "peerprocess.h"
#include "teststep.h"
#include "window.h"

#include "linkmode.h"
#include "mkestrunewidget.h"
#include "mtcpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace testsupport {

// Switches the data source on with the file at path.
inline void chooseSource(const Window &window, const QString &path)
{
    ModalScript script({choose(path)});
    clickBox(window.sourceBox());
    QVERIFY(script.finished());
    QVERIFY(window.sourceBox()->isChecked());
}

// Switches capture on into the file at path.
inline void startCapture(const Window &window, const QString &path)
{
    ModalScript script({choose(path)});
    clickBox(window.box("StartRcvFile"));
    QVERIFY(script.finished());
    QVERIFY(window.box("StartRcvFile")->isChecked());
}

} // namespace testsupport

// QTEST_MAIN for a unit whose far ends run as its own executable again
// ("--peer MODE ARGS...", see peermodes.h).
#define KESTRUNE_TEST_MAIN_WITH_PEERS(TestObject)                         \
    int main(int argc, char *argv[])                                      \
    {                                                                     \
        const int peer = testsupport::runPeerModeIfAsked(argc, argv);     \
        if (peer >= 0)                                                    \
            return peer;                                                  \
        QApplication app(argc, argv);                                     \
        app.setAttribute(Qt::AA_Use96Dpi, true);                          \
        TestObject test;                                                  \
        QTEST_SET_MAIN_SOURCE_PATH                                        \
        return QTest::qExec(&test, argc, argv);                           \
    }

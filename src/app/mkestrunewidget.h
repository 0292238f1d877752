#pragma once

#include "linkmode.h"
#include "rcvpending.h"
#include "readpass.h"
#include "tcpclose.h"

#include <QBasicTimer>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTextCursor>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QFile;
class QTcpSocket;
class QTimer;
class QUdpSocket;
QT_END_NAMESPACE

class mKestruneForm;
class mTcpServer;
class SendAreaLoad;

// The one main window of the tool. It holds every piece of state: the form,
// the open link, the counters, loop sending and the data file. Its slots are
// implemented in one file per feature beside it (linkcontrol.cpp,
// receive.cpp, send.cpp, ...); the widget-free work is done by the core.
class mKestruneWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(mKestruneWidget)

public:
    explicit mKestruneWidget(QWidget *parent = nullptr);
    ~mKestruneWidget() override;

signals:
    // Hands bytes to the TCP server: socketDescriptor 0 means every client
    // except socketDescriptorEx (0: nobody excluded).
    void sendDataToClient(char *msg, int length, int socketDescriptor, int socketDescriptorEx);

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pBtnNetCnnt_clicked(bool checked);
    void on_cBoxNetType_currentIndexChanged(int index);
    void on_pBtnSendData_clicked();
    void on_pBtnClearRcvDisp_clicked();
    void on_lEditUdpPort_textChanged(QString text);
    void on_lEditUdpIP_textChanged(QString text);
    void on_pBtnResetCnt_clicked();
    char ConvertHexChar(char ch);
    char ConvertHexStr(QString hexSubStr);
    void udpDataReceived();
    void tcpClientDataReceived();
    bool slotTryCreateTcpServer();
    void slotDeleteTcpServer();
    void tcpServerDataReceived(char *msg, int length, int socketDescriptorEx);
    void addClientLink(QString clientAddrPort, int socketDescriptor);
    void removeClientLink(QString clientAddrPort, int socketDescriptor);
    void toSendData();
    void toSendFile();
    void insertDateTimeInRcvDisp();
    void msDelay(uint msec);
    void on_pBtnSaveRcvData_clicked();
    void on_cBoxLoopSnd_toggled(bool checked);
    void on_lEdit_Interval_ms_editingFinished();
    void on_pBtnClearSndDisp_clicked();
    void on_pBtnLoadSndData_clicked();
    void on_StartRcvFile_clicked(bool checked);
    void on_cBoxStartSndFile_clicked(bool checked);
    void on_cBox_SndHexDisp_clicked(bool checked);

private:
    // Read access for the test suite's probe.
    friend class KestruneProbe;

    // linkcontrol.cpp
    // Shows the rows that belong to a link type and hides the others;
    // captions are not touched.
    void applyLinkView(LinkMode linkMode);
    bool openUdpLink();
    bool openTcpClientLink();
    // Unchecks the link button and tells the user why the link did not open.
    void refuseLink(const QString &message);
    // Closes and drops every link object that exists, without reporting.
    void releaseLinks();
    bool linkExists(LinkMode linkMode) const;
    // Bytes the link of a type still holds queued for writing.
    qint64 queuedBytes(LinkMode linkMode) const;

    // clientlist.cpp
    // Empties the client selector and its descriptor list.
    void clearClientList();

    // receive.cpp
    // One read pass over the TCP client socket, bounded in time.
    void readTcpClient();
    // Captures, or renders with header and timestamp, one received chunk.
    void showRcvChunk(QByteArrayView chunk, const QString &source);
    // Starts collecting display text for the receive area's cursor unless
    // text for it is being collected already; with a selection in the area
    // nothing is collected and chunks go into the area directly.
    void prepareRcvPending();
    bool rcvCursorMoved() const;
    // The receive area's operations, on the text collected when there is
    // any, else on the area.
    bool rcvAreaHasText() const;
    void rcvInsert(const QString &text);
    // Data at the cursor, broken so that no line grows past the receive
    // area's line limit.
    void rcvInsertData(const QString &piece, LineBreaks rule);
    void rcvAppendLine(const QString &text);
    // Puts collected text into the area until at most downTo characters
    // wait or budgetMs have passed (negative: no limit).
    void flushRcvDisplay(qint64 budgetMs = -1, qsizetype downTo = 0);
    void dropRcvDisplay();
    // True, and reading paused, while the collected text is at its cap.
    bool rcvDisplayFull();
    void scheduleRcvDisplay();
    // A frame's work: collected text into the area, the counter shown.
    // quiet: the link has nothing more to read right now.
    void updateRcvDisplay(bool quiet);
    void rcvEventLoopIdle();
    void countRcvBytes(qint64 length);

    // capture.cpp
    void closeRcvFile();
    // Writes a chunk to the capture file; a write that fails ends capture
    // as a failed start does.
    void captureRcvChunk(QByteArrayView chunk);

    // filechoice.cpp
    // Asks for a file, existing or to be created; empty when cancelled.
    QString chooseAnyFile(const QString &title);

    // send.cpp
    // Hands bytes to the link of a type; false when that link is not open.
    // In server mode clientIndex is the selector's item (0 for all).
    bool writeToLink(LinkMode linkMode, int clientIndex, QByteArrayView bytes);
    void countSndBytes(qint64 length);

    // filesource.cpp
    // The send button's work while the file data source is on.
    void sendDataFile();
    void closeDataFile();

    QList<int> socketDescriptorList;
    int clientLinkCount = 0;
    mKestruneForm *ui = nullptr;
    QString localIpAddr;
    QUdpSocket *udpSocket = nullptr;
    QHostAddress localHostAddr;
    int localPort = 0;
    QHostAddress udpTargetAddr;
    int udpTargetPort = 0;
    QHostAddress *tcpServerAddr = nullptr;
    QTcpSocket *tcpClientSocket = nullptr;
    mTcpServer *tcpServer = nullptr;
    quint32 rcvByteCnt = 0;
    quint32 sndByteCnt = 0;
    QTimer *loopSndTimer = nullptr;
    bool loopSndRunning = false;
    QString lastRcvSource = QStringLiteral("");
    QString dataFileName = QStringLiteral("");
    QFile *dataFile = nullptr;

    // Receive capture keeps a file of its own, apart from the data source's.
    QString rcvFileName;
    QFile *rcvFile = nullptr;
    bool fileSendRunning = false;
    // A load into the send area that goes on over several event-loop passes.
    QPointer<SendAreaLoad> sendAreaLoad;
    ReadPass tcpClientReadPass{this, [this] { readTcpClient(); }};
    // How long closed TCP connections may take to write out their queues;
    // only the test suite shortens it.
    int closingGraceMs = ClosingGraceMs;

    // Received text rendered but not yet in the receive area, the area's
    // cursor it belongs to, and the frame timer that puts it there.
    RcvPending rcvPending;
    QTextCursor rcvPendingCursor;
    qsizetype rcvPendingCap = MaxRcvPendingChars;
    bool rcvBacklog = false;
    bool rcvReadPaused = false;
    QBasicTimer rcvDisplayTimer;
    QElapsedTimer rcvLastFlush;
    QElapsedTimer rcvLastCount;
    // The timestamp line of the second it names.
    qint64 rcvStampSecond = -1;
    QString rcvStampText;
    // When the last UDP read pass began, whether it left the socket empty,
    // and the timer of a pass put off until MinUdpPassGapNs after it.
    QElapsedTimer udpLastPass;
    bool udpPassDrained = false;
    QBasicTimer udpPassTimer;
    // The value the counter field shows.
    quint32 rcvCntShown = 0;
};

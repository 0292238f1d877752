#pragma once

#include "linkmode.h"
#include "rcvarea.h"
#include "rcvflow.h"
#include "readpass.h"
#include "tcpclose.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QFile;
class QTcpSocket;
class QTimer;
class QUdpSocket;
QT_END_NAMESPACE

class FileSender;
class mKestruneForm;
class mTcpServer;
class SendAreaLoad;
class UnshapedText;

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
    // The closing steps of a click that unchecks the link button.
    void closeLink();
    // The server ended the TCP client connection: once all it sent is read,
    // the link closes as if the user had closed it.
    void tcpClientEnded();
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
    // Reading that paused while received text waited for the area goes on.
    void resumeRcvReading();
    void showRcvCount(quint32 count);
    void rcvEventLoopIdle();
    void countRcvBytes(qint64 length);

    // capture.cpp
    void closeRcvFile();
    void showRcvSave(qint64 done, qint64 total);
    void rcvSaveEnded(bool saved);
    // Writes a chunk to the capture file; a write that fails ends capture
    // as a failed start does.
    void captureRcvChunk(QByteArrayView chunk);

    // filechoice.cpp
    // Asks for a file, existing or to be created; empty when cancelled or
    // when no dialog can open.
    QString chooseAnyFile(const QString &title);
    // Whether enough descriptors are free for a file dialog to open. The
    // dialog starts threads, and a thread that finds no descriptor for its
    // wake-up pipe aborts the program; without them the action fails as it
    // does when its file cannot be opened.
    static bool roomForFileDialog();

    // send.cpp
    // What became of bytes handed to a link: the link took them, no link of
    // that type is open, or the link refused them (refusal says why).
    enum class LinkWrite { Taken, NoLink, Refused };
    // Hands bytes to the link of a type. In server mode clientIndex is the
    // selector's item (0 for all).
    LinkWrite writeToLink(LinkMode linkMode, int clientIndex, QByteArrayView bytes, QString *refusal);
    void countSndBytes(qint64 length);

    // loadsend.cpp
    // Ends a load into the send area that is still running.
    void stopSendAreaLoad();
    void showSendAreaLoad(qint64 done, qint64 total);
    void sendAreaLoadEnded(bool lineTooLong);

    // hexsend.cpp
    // Tells the user why the send area stays as it is.
    void refuseHexSwitch(const QString &message);

    // filesource.cpp
    // The send button's work while the file data source is on.
    void sendDataFile();
    void showFileSend(qint64 sent, qint64 total);
    void fileSendEnded(const QString &refusal);
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
    // The file send under way, in passes of its own.
    QPointer<FileSender> fileSend;
    // A load into the send area that goes on over several event-loop passes.
    QPointer<SendAreaLoad> sendAreaLoad;
    // Draws the send area unshaped while it holds hex notation.
    UnshapedText *hexNotation = nullptr;
    ReadPass tcpClientReadPass{this, [this] { readTcpClient(); }};
    // How long closed TCP connections may take to write out their queues;
    // only the test suite shortens it.
    int closingGraceMs = ClosingGraceMs;

    // The pacing of reading, showing and counting received data, on the
    // event loop's clock and timers, and the receive area it fills.
    SteadyRcvClock rcvClock;
    EventRcvTimer rcvFrameTimer{Qt::CoarseTimer, [this] { rcvFlow.frameTimerFired(); }};
    EventRcvTimer udpPassTimer{Qt::PreciseTimer, [this] { rcvFlow.udpTimerFired(); }};
    RcvFlow rcvFlow{rcvClock, rcvFrameTimer, udpPassTimer,
                    {[this](const QString &piece, bool atCursor) { rcvArea.put(piece, atCursor); },
                     [this](quint32 count) { showRcvCount(count); },
                     [this] { resumeRcvReading(); },
                     [this](bool hold) { rcvArea.holdPaint(hold); },
                     [this] { udpDataReceived(); }}};
    RcvArea rcvArea{rcvFlow};
    RcvStamp rcvStamp;
};

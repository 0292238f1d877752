#include "declarations.h"
#include "kestruneprobe.h"
#include "localaddress.h"
#include "mkestruneform.h"
#include "mkestrunewidget.h"
#include "testsupport.h"
#include "workingdirectory.h"

#include <QAbstractSocket>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QMetaMethod>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QVBoxLayout>

#include <memory>

namespace {

const char *const WindowName = "mKestruneWidget";

// Every widget of the window in creation order, with its class and the
// widget that holds it (tab pages are held by the tab widget).
struct WidgetRow
{
    const char *name;
    const char *className;
    const char *parent;
};

const WidgetRow widgetRows[] = {
    {"groupBox_2", "QGroupBox", WindowName},
    {"label", "QLabel", "groupBox_2"},
    {"cBoxNetType", "QComboBox", "groupBox_2"},
    {"label_IP", "QLabel", "groupBox_2"},
    {"lEditIpAddr", "QLineEdit", "groupBox_2"},
    {"label_Port", "QLabel", "groupBox_2"},
    {"lEditIpPort", "QLineEdit", "groupBox_2"},
    {"pBtnNetCnnt", "QPushButton", "groupBox_2"},
    {"Tabs_SndRcv", "QTabWidget", WindowName},
    {"tab", "QWidget", "Tabs_SndRcv"},
    {"StartRcvFile", "QCheckBox", "tab"},
    {"cBox_ShowRcvTime", "QCheckBox", "tab"},
    {"cBox_RcvHexDisp", "QCheckBox", "tab"},
    {"cBox_PauseShowRcv", "QCheckBox", "tab"},
    {"cBox_chatMode", "QCheckBox", "tab"},
    {"cBox_echoMode", "QCheckBox", "tab"},
    {"pBtnSaveRcvData", "QPushButton", "tab"},
    {"pBtnClearRcvDisp", "QPushButton", "tab"},
    {"tab_2", "QWidget", "Tabs_SndRcv"},
    {"cBoxStartSndFile", "QCheckBox", "tab_2"},
    {"cBox_AntoClearSnd", "QCheckBox", "tab_2"},
    {"cBox_SndHexDisp", "QCheckBox", "tab_2"},
    {"cBoxLoopSnd", "QCheckBox", "tab_2"},
    {"label_4", "QLabel", "tab_2"},
    {"lEdit_Interval_ms", "QLineEdit", "tab_2"},
    {"label_5", "QLabel", "tab_2"},
    {"pBtnLoadSndData", "QPushButton", "tab_2"},
    {"pBtnClearSndDisp", "QPushButton", "tab_2"},
    {"ReceiveTextEdit", "QPlainTextEdit", WindowName},
    {"label_9", "QLabel", WindowName},
    {"labelClients", "QLabel", WindowName},
    {"cBoxClients", "QComboBox", WindowName},
    {"labelSpaceClients", "QLabel", WindowName},
    {"labelUdp", "QLabel", WindowName},
    {"lEditUdpIP", "QLineEdit", WindowName},
    {"labelUdp1", "QLabel", WindowName},
    {"lEditUdpPort", "QLineEdit", WindowName},
    {"labelSpaceUdp", "QLabel", WindowName},
    {"tEditSendText", "QPlainTextEdit", WindowName},
    {"pBtnSendData", "QPushButton", WindowName},
    {"SndProgressBar", "QProgressBar", WindowName},
    {"label_2", "QLabel", WindowName},
    {"CurState", "QLabel", WindowName},
    {"label_6", "QLabel", WindowName},
    {"lEdit_SndCnt", "QLineEdit", WindowName},
    {"label_7", "QLabel", WindowName},
    {"lEdit_RcvCnt", "QLineEdit", WindowName},
    {"pBtnResetCnt", "QPushButton", WindowName},
};

// Widgets that carry an explicit minimum or maximum size; all others keep
// the class defaults.
struct SizeLimitRow
{
    const char *name;
    QSize minimum;
    QSize maximum;
};

constexpr int NoLimit = QWIDGETSIZE_MAX;

const SizeLimitRow sizeLimitRows[] = {
    {WindowName, {500, 430}, {NoLimit, NoLimit}},
    {"groupBox_2", {155, 0}, {200, 300}},
    {"pBtnNetCnnt", {0, 28}, {NoLimit, 40}},
    {"Tabs_SndRcv", {155, 180}, {200, 400}},
    {"pBtnSaveRcvData", {0, 24}, {NoLimit, NoLimit}},
    {"pBtnClearRcvDisp", {0, 24}, {NoLimit, NoLimit}},
    {"lEdit_Interval_ms", {0, 0}, {70, NoLimit}},
    {"pBtnLoadSndData", {0, 24}, {NoLimit, NoLimit}},
    {"pBtnClearSndDisp", {0, 24}, {NoLimit, NoLimit}},
    {"cBoxClients", {220, 0}, {400, 60}},
    {"labelSpaceClients", {0, 0}, {NoLimit, NoLimit}},
    {"lEditUdpIP", {80, 0}, {120, NoLimit}},
    {"lEditUdpPort", {60, 0}, {60, NoLimit}},
    {"labelSpaceUdp", {0, 0}, {NoLimit, NoLimit}},
    {"tEditSendText", {0, 0}, {NoLimit, 100}},
    {"pBtnSendData", {75, 61}, {75, 61}},
    {"CurState", {110, 20}, {NoLimit, NoLimit}},
    {"label_6", {0, 20}, {NoLimit, 36}},
    {"lEdit_SndCnt", {50, 18}, {80, 36}},
    {"label_7", {0, 20}, {NoLimit, 36}},
    {"lEdit_RcvCnt", {50, 18}, {80, 36}},
    {"pBtnResetCnt", {60, 20}, {120, 36}},
};

// Widgets whose size policy is set explicitly; all others keep the class's.
struct SizePolicyRow
{
    const char *name;
    QSizePolicy::Policy horizontal;
    QSizePolicy::Policy vertical;
};

const SizePolicyRow sizePolicyRows[] = {
    {WindowName, QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"groupBox_2", QSizePolicy::Expanding, QSizePolicy::Expanding},
    {"cBoxNetType", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"lEditIpAddr", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"lEditIpPort", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"pBtnNetCnnt", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"Tabs_SndRcv", QSizePolicy::Expanding, QSizePolicy::Expanding},
    {"pBtnSaveRcvData", QSizePolicy::Fixed, QSizePolicy::Fixed},
    {"pBtnClearRcvDisp", QSizePolicy::Fixed, QSizePolicy::Fixed},
    {"label_4", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"pBtnLoadSndData", QSizePolicy::Fixed, QSizePolicy::Fixed},
    {"pBtnClearSndDisp", QSizePolicy::Fixed, QSizePolicy::Fixed},
    {"labelClients", QSizePolicy::Fixed, QSizePolicy::Preferred},
    {"cBoxClients", QSizePolicy::Expanding, QSizePolicy::Preferred},
    {"labelSpaceClients", QSizePolicy::Expanding, QSizePolicy::Fixed},
    {"labelUdp", QSizePolicy::Fixed, QSizePolicy::Preferred},
    {"lEditUdpIP", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"labelUdp1", QSizePolicy::Fixed, QSizePolicy::Preferred},
    {"lEditUdpPort", QSizePolicy::Preferred, QSizePolicy::Preferred},
    {"labelSpaceUdp", QSizePolicy::Expanding, QSizePolicy::Fixed},
    {"tEditSendText", QSizePolicy::Expanding, QSizePolicy::Fixed},
    {"pBtnSendData", QSizePolicy::Fixed, QSizePolicy::Fixed},
    {"label_6", QSizePolicy::Preferred, QSizePolicy::Fixed},
    {"label_7", QSizePolicy::Preferred, QSizePolicy::Fixed},
    {"lEdit_RcvCnt", QSizePolicy::Fixed, QSizePolicy::Fixed},
};

QString policyName(QSizePolicy::Policy policy)
{
    return QString::fromLatin1(QMetaEnum::fromType<QSizePolicy::Policy>().valueToKey(policy));
}

// A layout item as the tests name it: the object name of a widget or nested
// layout, or a spacer's size hint and (horizontal, vertical) policies.
QString describeItem(QLayoutItem *item)
{
    if (QWidget *widget = item->widget())
        return widget->objectName();
    if (QLayout *layout = item->layout())
        return layout->objectName();
    if (QSpacerItem *spacer = item->spacerItem()) {
        const QSize hint = spacer->sizeHint();
        const QSizePolicy policy = spacer->sizePolicy();
        return QStringLiteral("spacer %1x%2 %3,%4")
            .arg(hint.width())
            .arg(hint.height())
            .arg(policyName(policy.horizontalPolicy()), policyName(policy.verticalPolicy()));
    }
    return QStringLiteral("<unknown item>");
}

// The named widget that holds `widget`, passing over the tab widget's own
// internal children.
QString ownerName(const QWidget *widget)
{
    const QWidget *parent = widget->parentWidget();
    while (parent && parent->objectName().startsWith(QLatin1String("qt_")))
        parent = parent->parentWidget();
    return parent ? parent->objectName() : QStringLiteral("<none>");
}

std::unique_ptr<QWidget> newWidgetOfClass(const QByteArray &className)
{
    if (className == "QGroupBox")
        return std::make_unique<QGroupBox>();
    if (className == "QLabel")
        return std::make_unique<QLabel>();
    if (className == "QComboBox")
        return std::make_unique<QComboBox>();
    if (className == "QLineEdit")
        return std::make_unique<QLineEdit>();
    if (className == "QPushButton")
        return std::make_unique<QPushButton>();
    if (className == "QTabWidget")
        return std::make_unique<QTabWidget>();
    if (className == "QCheckBox")
        return std::make_unique<QCheckBox>();
    if (className == "QPlainTextEdit")
        return std::make_unique<QPlainTextEdit>();
    if (className == "QProgressBar")
        return std::make_unique<QProgressBar>();
    return std::make_unique<QWidget>();
}

using testsupport::WorkingDirectory;

bool writeImage(const QString &path, const QSize &size, const char *format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    return image.save(path, format);
}

} // namespace

class tst_MainWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void runsInTestMode();
    void constructsWithoutLayoutOrConnectionWarnings();
    void objectNameWhenNoneWasGiven();

    void widgetTree_data();
    void widgetTree();
    void childrenInCreationOrder_data();
    void childrenInCreationOrder();
    void tabPages();
    void layouts_data();
    void layouts();
    void layoutItems_data();
    void layoutItems();
    void gridCells();
    void formRecordMatchesObjectNames_data();
    void formRecordMatchesObjectNames();
    void formSpacers();

    void sizeLimits_data();
    void sizeLimits();
    void otherWidgetsHaveNoSizeLimits();
    void sizePolicies_data();
    void sizePolicies();
    void otherWidgetsKeepClassSizePolicy();
    void widgetProperties_data();
    void widgetProperties();
    void fonts();
    void onlyThreeWidgetsSetTheirFont();
    void sendAreaTextUnshaped();
    void resetButtonCursor();
    void imagesAreCompiledIn();
    void iconsFromWorkingDirectoryAndResources();
    void initialSize();
    void shownLayoutRespectsLimits();

    void texts_data();
    void texts();
    void noHelpTexts();

    void startVisibility_data();
    void startVisibility();
    void startState();
    void addressFieldsHoldDetectedAddress();
    void startCreatesNoLinkObjects();
    void resetCountersButton();
    void resetAfterTraffic();

    void signalsAndSlots_data();
    void signalsAndSlots();
    void slotsConnectedByName_data();
    void slotsConnectedByName();

private:
    static QWidget *widgetIn(mKestruneWidget &window, const QString &name);
    QWidget *widget(const QString &name) const { return widgetIn(*m_window, name); }
    QLayout *layout(const QString &name) const { return m_window->findChild<QLayout *>(name); }

    // One window shared by the tests that only look; tests that act build
    // their own.
    std::unique_ptr<mKestruneWidget> m_window;
};

QWidget *tst_MainWindow::widgetIn(mKestruneWidget &window, const QString &name)
{
    if (name == QLatin1String(WindowName))
        return &window;
    return window.findChild<QWidget *>(name);
}

void tst_MainWindow::initTestCase()
{
    m_window = std::make_unique<mKestruneWidget>();
}

void tst_MainWindow::cleanupTestCase()
{
    m_window.reset();
}

// Every test executable has QStandardPaths in test mode, from the start:
// file dialogs keep their state away from the user's settings.
void tst_MainWindow::runsInTestMode()
{
    QVERIFY(QStandardPaths::isTestModeEnabled());
}

void tst_MainWindow::constructsWithoutLayoutOrConnectionWarnings()
{
    // Qt warns when a slot named on_<object>_<signal> finds no such object or
    // signal, and when a layout is installed twice or on the wrong widget.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QLayout|QWidget::setLayout|QBoxLayout|QGridLayout")));
    mKestruneWidget window;
    QVERIFY(window.layout());
}

void tst_MainWindow::objectNameWhenNoneWasGiven()
{
    mKestruneWidget window;
    QCOMPARE(window.objectName(), QString::fromLatin1(WindowName));
    QVERIFY(window.isWindow());
    QCOMPARE(window.parentWidget(), nullptr);
}

void tst_MainWindow::widgetTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    for (const WidgetRow &row : widgetRows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << QString::fromLatin1(row.className)
                                << QString::fromLatin1(row.parent);
}

void tst_MainWindow::widgetTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parent);

    const QList<QWidget *> found = m_window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
    QCOMPARE(ownerName(w), parent);
    QCOMPARE(w->window(), m_window.get());
}

void tst_MainWindow::childrenInCreationOrder_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QStringList>("children");

    // Qt keeps child widgets in creation order, which also gives the default
    // keyboard focus order; tab pages are checked through the tab widget.
    for (const char *container : {WindowName, "groupBox_2", "tab", "tab_2"}) {
        QStringList children;
        for (const WidgetRow &row : widgetRows) {
            if (qstrcmp(row.parent, container) == 0)
                children << QString::fromLatin1(row.name);
        }
        QTest::newRow(container) << QString::fromLatin1(container) << children;
    }
}

void tst_MainWindow::childrenInCreationOrder()
{
    QFETCH(QString, container);
    QFETCH(QStringList, children);

    QWidget *holder = widget(container);
    QVERIFY(holder);
    QStringList actual;
    for (QWidget *child : holder->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        actual << child->objectName();
    QCOMPARE(actual, children);
}

void tst_MainWindow::tabPages()
{
    auto *tabs = m_window->findChild<QTabWidget *>(QStringLiteral("Tabs_SndRcv"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->widget(0), widget(QStringLiteral("tab")));
    QCOMPARE(tabs->widget(1), widget(QStringLiteral("tab_2")));
    QCOMPARE(tabs->currentIndex(), 0);
}

void tst_MainWindow::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("installedOn");
    QTest::addColumn<QString>("insideLayout");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QList<int>>("margins");

    // Margins left, top, right, bottom; -1 leaves that side at the style's
    // default and is not checked.
    const QList<int> defaults{-1, -1, -1, -1};
    const QString none;
    auto row = [&](const char *name, const char *className, const QString &on, const QString &inside, int spacing,
                   const QList<int> &margins) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(className) << on << inside << spacing
                            << margins;
    };
    row("verticalLayout_3", "QVBoxLayout", WindowName, none, 8, {11, 11, 11, 11});
    row("horizontalLayout_5", "QHBoxLayout", none, "verticalLayout_3", 6, defaults);
    row("verticalLayout", "QVBoxLayout", none, "horizontalLayout_5", 6, defaults);
    row("verticalLayout_7", "QVBoxLayout", "groupBox_2", none, 5, {6, 5, 6, 6});
    row("verticalLayout_8", "QVBoxLayout", "tab", none, 2, {-1, 3, -1, 3});
    row("verticalLayout_5", "QVBoxLayout", none, "verticalLayout_8", 3, {-1, -1, -1, 0});
    row("verticalLayout_4", "QVBoxLayout", none, "verticalLayout_5", 3, defaults);
    row("horizontalLayout_6", "QHBoxLayout", none, "verticalLayout_5", 6, defaults);
    row("verticalLayout_9", "QVBoxLayout", "tab_2", none, 2, {-1, 3, -1, 3});
    row("verticalLayout_6", "QVBoxLayout", none, "verticalLayout_9", 3, defaults);
    row("horizontalLayout_7", "QHBoxLayout", none, "verticalLayout_6", 1, defaults);
    row("horizontalLayout_8", "QHBoxLayout", none, "verticalLayout_6", 6, defaults);
    row("verticalLayout_2", "QVBoxLayout", none, "horizontalLayout_5", 6, defaults);
    row("gridLayout", "QGridLayout", none, "verticalLayout_2", 6, defaults);
    row("horizontalLayout_3", "QHBoxLayout", none, "verticalLayout_2", 6, defaults);
    row("horizontalLayout_2", "QHBoxLayout", none, "verticalLayout_2", 0, defaults);
    row("horizontalLayout_4", "QHBoxLayout", none, "verticalLayout_2", 6, defaults);
    row("horizontalLayout", "QHBoxLayout", none, "verticalLayout_3", 6, defaults);
}

void tst_MainWindow::layouts()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, installedOn);
    QFETCH(QString, insideLayout);
    QFETCH(int, spacing);
    QFETCH(QList<int>, margins);

    const QList<QLayout *> found = m_window->findChildren<QLayout *>(name);
    QCOMPARE(found.size(), 1);
    QLayout *l = found.first();
    QCOMPARE(QString::fromLatin1(l->metaObject()->className()), className);

    if (!installedOn.isEmpty()) {
        QWidget *host = widget(installedOn);
        QVERIFY(host);
        QCOMPARE(host->layout(), l);
        QCOMPARE(l->parent(), host);
    } else {
        auto *outer = qobject_cast<QLayout *>(l->parent());
        QVERIFY2(outer, "a nested layout must belong to its parent layout");
        QCOMPARE(outer->objectName(), insideLayout);
        QVERIFY(outer->indexOf(l) >= 0);
    }

    QCOMPARE(l->spacing(), spacing);
    const QMargins actual = l->contentsMargins();
    const int sides[] = {actual.left(), actual.top(), actual.right(), actual.bottom()};
    for (int side = 0; side < 4; ++side) {
        if (margins.at(side) >= 0)
            QCOMPARE(sides[side], margins.at(side));
    }
}

void tst_MainWindow::layoutItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("verticalLayout_3") << "verticalLayout_3"
                                      << QStringList{"horizontalLayout_5", "SndProgressBar", "horizontalLayout"};
    QTest::newRow("horizontalLayout_5") << "horizontalLayout_5" << QStringList{"verticalLayout", "verticalLayout_2"};
    QTest::newRow("verticalLayout") << "verticalLayout"
                                    << QStringList{"groupBox_2", "spacer 152x13 Minimum,Expanding", "Tabs_SndRcv"};
    QTest::newRow("verticalLayout_7") << "verticalLayout_7"
                                      << QStringList{"label", "cBoxNetType", "label_IP", "lEditIpAddr", "label_Port",
                                                     "lEditIpPort", "spacer 20x4 Minimum,Fixed", "pBtnNetCnnt"};
    QTest::newRow("verticalLayout_8") << "verticalLayout_8" << QStringList{"verticalLayout_5"};
    QTest::newRow("verticalLayout_5")
        << "verticalLayout_5" << QStringList{"verticalLayout_4", "spacer 20x0 Minimum,Expanding", "horizontalLayout_6"};
    QTest::newRow("verticalLayout_4") << "verticalLayout_4"
                                      << QStringList{"StartRcvFile", "cBox_ShowRcvTime", "cBox_RcvHexDisp",
                                                     "cBox_PauseShowRcv", "cBox_chatMode", "cBox_echoMode"};
    QTest::newRow("horizontalLayout_6") << "horizontalLayout_6" << QStringList{"pBtnSaveRcvData", "pBtnClearRcvDisp"};
    QTest::newRow("verticalLayout_9") << "verticalLayout_9" << QStringList{"verticalLayout_6"};
    QTest::newRow("verticalLayout_6")
        << "verticalLayout_6"
        << QStringList{"cBoxStartSndFile", "cBox_AntoClearSnd", "cBox_SndHexDisp", "cBoxLoopSnd", "horizontalLayout_7",
                       "spacer 135x13 Minimum,Expanding", "horizontalLayout_8"};
    QTest::newRow("horizontalLayout_7")
        << "horizontalLayout_7" << QStringList{"label_4", "lEdit_Interval_ms", "label_5", "spacer 20x20 Expanding,Minimum"};
    QTest::newRow("horizontalLayout_8") << "horizontalLayout_8" << QStringList{"pBtnLoadSndData", "pBtnClearSndDisp"};
    QTest::newRow("verticalLayout_2")
        << "verticalLayout_2"
        << QStringList{"gridLayout", "horizontalLayout_3", "horizontalLayout_2", "horizontalLayout_4"};
    QTest::newRow("gridLayout") << "gridLayout" << QStringList{"ReceiveTextEdit", "label_9"};
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3"
                                        << QStringList{"labelClients", "cBoxClients", "labelSpaceClients"};
    QTest::newRow("horizontalLayout_2")
        << "horizontalLayout_2" << QStringList{"labelUdp", "lEditUdpIP", "labelUdp1", "lEditUdpPort", "labelSpaceUdp"};
    QTest::newRow("horizontalLayout_4") << "horizontalLayout_4" << QStringList{"tEditSendText", "pBtnSendData"};
    QTest::newRow("horizontalLayout")
        << "horizontalLayout"
        << QStringList{"label_2", "CurState", "spacer 20x20 Expanding,Minimum", "label_6", "lEdit_SndCnt", "label_7",
                       "lEdit_RcvCnt", "pBtnResetCnt"};
}

void tst_MainWindow::layoutItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    QLayout *l = layout(name);
    QVERIFY(l);
    QStringList actual;
    for (int i = 0; i < l->count(); ++i)
        actual << describeItem(l->itemAt(i));
    QCOMPARE(actual, items);

    // Everything goes in with stretch 0 and no alignment.
    auto *box = qobject_cast<QBoxLayout *>(l);
    for (int i = 0; i < l->count(); ++i) {
        QCOMPARE(int(l->itemAt(i)->alignment()), 0);
        if (box)
            QCOMPARE(box->stretch(i), 0);
    }
}

void tst_MainWindow::gridCells()
{
    auto *grid = m_window->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(grid->columnCount(), 1);

    // The receive area is inserted first but sits below its caption.
    int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
    QCOMPARE(grid->itemAt(0)->widget(), widget(QStringLiteral("ReceiveTextEdit")));
    grid->getItemPosition(0, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({1, 0, 1, 1}));

    QCOMPARE(grid->itemAt(1)->widget(), widget(QStringLiteral("label_9")));
    grid->getItemPosition(1, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 0, 1, 1}));

    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), widget(QStringLiteral("label_9")));
    QCOMPARE(grid->itemAtPosition(1, 0)->widget(), widget(QStringLiteral("ReceiveTextEdit")));
}

void tst_MainWindow::formRecordMatchesObjectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QObject *>("member");

    mKestruneForm *form = KestruneProbe::form(*m_window);
    QVERIFY(form);
#define FORM_MEMBER(member) QTest::newRow(#member) << QStringLiteral(#member) << static_cast<QObject *>(form->member)
    FORM_MEMBER(verticalLayout_3);
    FORM_MEMBER(horizontalLayout_5);
    FORM_MEMBER(verticalLayout);
    FORM_MEMBER(groupBox_2);
    FORM_MEMBER(verticalLayout_7);
    FORM_MEMBER(label);
    FORM_MEMBER(cBoxNetType);
    FORM_MEMBER(label_IP);
    FORM_MEMBER(lEditIpAddr);
    FORM_MEMBER(label_Port);
    FORM_MEMBER(lEditIpPort);
    FORM_MEMBER(pBtnNetCnnt);
    FORM_MEMBER(Tabs_SndRcv);
    FORM_MEMBER(tab);
    FORM_MEMBER(verticalLayout_8);
    FORM_MEMBER(verticalLayout_5);
    FORM_MEMBER(verticalLayout_4);
    FORM_MEMBER(StartRcvFile);
    FORM_MEMBER(cBox_ShowRcvTime);
    FORM_MEMBER(cBox_RcvHexDisp);
    FORM_MEMBER(cBox_PauseShowRcv);
    FORM_MEMBER(cBox_chatMode);
    FORM_MEMBER(cBox_echoMode);
    FORM_MEMBER(horizontalLayout_6);
    FORM_MEMBER(pBtnSaveRcvData);
    FORM_MEMBER(pBtnClearRcvDisp);
    FORM_MEMBER(tab_2);
    FORM_MEMBER(verticalLayout_9);
    FORM_MEMBER(verticalLayout_6);
    FORM_MEMBER(cBoxStartSndFile);
    FORM_MEMBER(cBox_AntoClearSnd);
    FORM_MEMBER(cBox_SndHexDisp);
    FORM_MEMBER(cBoxLoopSnd);
    FORM_MEMBER(horizontalLayout_7);
    FORM_MEMBER(label_4);
    FORM_MEMBER(lEdit_Interval_ms);
    FORM_MEMBER(label_5);
    FORM_MEMBER(horizontalLayout_8);
    FORM_MEMBER(pBtnLoadSndData);
    FORM_MEMBER(pBtnClearSndDisp);
    FORM_MEMBER(verticalLayout_2);
    FORM_MEMBER(gridLayout);
    FORM_MEMBER(ReceiveTextEdit);
    FORM_MEMBER(label_9);
    FORM_MEMBER(horizontalLayout_3);
    FORM_MEMBER(labelClients);
    FORM_MEMBER(cBoxClients);
    FORM_MEMBER(labelSpaceClients);
    FORM_MEMBER(horizontalLayout_2);
    FORM_MEMBER(labelUdp);
    FORM_MEMBER(lEditUdpIP);
    FORM_MEMBER(labelUdp1);
    FORM_MEMBER(lEditUdpPort);
    FORM_MEMBER(labelSpaceUdp);
    FORM_MEMBER(horizontalLayout_4);
    FORM_MEMBER(tEditSendText);
    FORM_MEMBER(pBtnSendData);
    FORM_MEMBER(SndProgressBar);
    FORM_MEMBER(horizontalLayout);
    FORM_MEMBER(label_2);
    FORM_MEMBER(CurState);
    FORM_MEMBER(label_6);
    FORM_MEMBER(lEdit_SndCnt);
    FORM_MEMBER(label_7);
    FORM_MEMBER(lEdit_RcvCnt);
    FORM_MEMBER(pBtnResetCnt);
#undef FORM_MEMBER
}

void tst_MainWindow::formRecordMatchesObjectNames()
{
    QFETCH(QString, name);
    QFETCH(QObject *, member);

    QVERIFY(member);
    QCOMPARE(member->objectName(), name);
    QCOMPARE(member, m_window->findChild<QObject *>(name));
}

void tst_MainWindow::formSpacers()
{
    mKestruneForm *form = KestruneProbe::form(*m_window);
    QVERIFY(form);
    QCOMPARE(form->verticalSpacer, layout(QStringLiteral("verticalLayout_7"))->itemAt(6)->spacerItem());
    QCOMPARE(form->verticalSpacer_2, layout(QStringLiteral("verticalLayout"))->itemAt(1)->spacerItem());
    QCOMPARE(form->verticalSpacer_3, layout(QStringLiteral("verticalLayout_5"))->itemAt(1)->spacerItem());
    QCOMPARE(form->horizontalSpacer, layout(QStringLiteral("horizontalLayout_7"))->itemAt(3)->spacerItem());
    QCOMPARE(form->verticalSpacer_4, layout(QStringLiteral("verticalLayout_6"))->itemAt(5)->spacerItem());
    QCOMPARE(form->horizontalSpacer_2, layout(QStringLiteral("horizontalLayout"))->itemAt(2)->spacerItem());
    QVERIFY(form->verticalSpacer);
}

void tst_MainWindow::sizeLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    for (const SizeLimitRow &row : sizeLimitRows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << row.minimum << row.maximum;
}

void tst_MainWindow::sizeLimits()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    QWidget *w = widget(name);
    QVERIFY(w);
    QCOMPARE(w->minimumSize(), minimum);
    QCOMPARE(w->maximumSize(), maximum);
}

void tst_MainWindow::otherWidgetsHaveNoSizeLimits()
{
    QSet<QString> limited;
    for (const SizeLimitRow &row : sizeLimitRows)
        limited.insert(QString::fromLatin1(row.name));
    for (const WidgetRow &row : widgetRows) {
        if (limited.contains(QString::fromLatin1(row.name)))
            continue;
        QWidget *w = widget(QString::fromLatin1(row.name));
        QVERIFY2(w, row.name);
        QVERIFY2(w->minimumSize() == QSize(0, 0), row.name);
        QVERIFY2(w->maximumSize() == QSize(NoLimit, NoLimit), row.name);
    }
}

void tst_MainWindow::sizePolicies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("horizontal");
    QTest::addColumn<QString>("vertical");
    for (const SizePolicyRow &row : sizePolicyRows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << policyName(row.horizontal)
                                << policyName(row.vertical);
}

void tst_MainWindow::sizePolicies()
{
    QFETCH(QString, name);
    QFETCH(QString, horizontal);
    QFETCH(QString, vertical);

    QWidget *w = widget(name);
    QVERIFY(w);
    const QSizePolicy policy = w->sizePolicy();
    QCOMPARE(policyName(policy.horizontalPolicy()), horizontal);
    QCOMPARE(policyName(policy.verticalPolicy()), vertical);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
    // None of these classes asks for height-for-width by default, and the
    // flag is carried over unchanged.
    QCOMPARE(policy.hasHeightForWidth(), false);
}

void tst_MainWindow::otherWidgetsKeepClassSizePolicy()
{
    QSet<QString> set;
    for (const SizePolicyRow &row : sizePolicyRows)
        set.insert(QString::fromLatin1(row.name));
    for (const WidgetRow &row : widgetRows) {
        if (set.contains(QString::fromLatin1(row.name)))
            continue;
        QWidget *w = widget(QString::fromLatin1(row.name));
        QVERIFY2(w, row.name);
        const std::unique_ptr<QWidget> fresh = newWidgetOfClass(row.className);
        QVERIFY2(w->sizePolicy() == fresh->sizePolicy(), row.name);
    }
}

void tst_MainWindow::widgetProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    const int leftTop = int(Qt::AlignLeft | Qt::AlignTop);
    const int leftVCentre = int(Qt::AlignLeft | Qt::AlignVCenter);
    auto row = [](const char *name, const char *property, const QVariant &expected) {
        QTest::addRow("%s %s", name, property) << QString::fromLatin1(name) << QByteArray(property) << expected;
    };
    row("groupBox_2", "autoFillBackground", true);
    row("groupBox_2", "alignment", leftTop);
    row("groupBox_2", "flat", false);
    row("groupBox_2", "checkable", false);
    row("label", "lineWidth", 0);
    row("label", "margin", 0);
    row("cBoxNetType", "count", 3);
    row("cBoxNetType", "currentIndex", 0);
    row("lEditIpPort", "layoutDirection", int(Qt::LeftToRight));
    row("pBtnNetCnnt", "iconSize", QSize(20, 20));
    row("pBtnNetCnnt", "checkable", true);
    row("pBtnNetCnnt", "checked", false);
    row("Tabs_SndRcv", "currentIndex", 0);
    row("label_4", "enabled", true);
    row("label_4", "baseSize", QSize(0, 0));
    row("label_4", "textFormat", int(Qt::PlainText));
    row("label_4", "scaledContents", false);
    row("label_4", "alignment", leftVCentre);
    row("label_5", "alignment", leftVCentre);
    row("ReceiveTextEdit", "readOnly", true);
    row("cBoxClients", "count", 0);
    row("labelSpaceUdp", "lineWidth", 0);
    row("SndProgressBar", "value", 24);
    row("SndProgressBar", "minimum", 0);
    row("SndProgressBar", "maximum", 100);
    row("CurState", "styleSheet", QString());
    row("lEdit_SndCnt", "styleSheet", QStringLiteral("border-color: rgb(85, 255, 255);"));
    row("lEdit_SndCnt", "frame", false);
    row("lEdit_SndCnt", "readOnly", true);
    row("lEdit_RcvCnt", "autoFillBackground", false);
    row("lEdit_RcvCnt", "frame", false);
    row("lEdit_RcvCnt", "readOnly", true);
    row("pBtnResetCnt", "styleSheet", QString());
    row("pBtnResetCnt", "autoDefault", true);
    row("pBtnResetCnt", "flat", true);
}

void tst_MainWindow::widgetProperties()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    QWidget *w = widget(name);
    QVERIFY(w);
    QVariant actual = w->property(property.constData());
    QVERIFY2(actual.isValid(), "no such property");
    // Enumerations and flags are compared by value.
    if (actual.metaType() != expected.metaType()) {
        QVERIFY(actual.canConvert(expected.metaType()));
        QVERIFY(actual.convert(expected.metaType()));
    }
    QCOMPARE(actual, expected);
}

void tst_MainWindow::fonts()
{
    QWidget *netButton = widget(QStringLiteral("pBtnNetCnnt"));
    QVERIFY(netButton);
    const QFont defaultFont = QApplication::font(netButton);
    QCOMPARE(netButton->font().family(), defaultFont.family());
    QCOMPARE(netButton->font().pointSize(), 11);
    QCOMPARE(netButton->font().weight(), QFont::Bold);
    QCOMPARE(netButton->font().underline(), false);

    // The family as requested; the font actually drawn may be a substitute.
    QWidget *sendButton = widget(QStringLiteral("pBtnSendData"));
    QVERIFY(sendButton);
    QCOMPARE(sendButton->font().family(), QStringLiteral("SimSun-ExtB"));
    QCOMPARE(sendButton->font().pointSize(), 11);
    QCOMPARE(sendButton->font().weight(), QFont::Bold);
    QCOMPARE(sendButton->font().underline(), false);

    QWidget *resetButton = widget(QStringLiteral("pBtnResetCnt"));
    QVERIFY(resetButton);
    QCOMPARE(resetButton->font().family(), QApplication::font(resetButton).family());
    QCOMPARE(resetButton->font().pointSizeF(), QApplication::font(resetButton).pointSizeF());
    QCOMPARE(resetButton->font().weight(), QFont::Bold);
    QCOMPARE(resetButton->font().underline(), true);
}

void tst_MainWindow::onlyThreeWidgetsSetTheirFont()
{
    const QSet<QString> ownFont{"pBtnNetCnnt", "pBtnSendData", "pBtnResetCnt"};
    QVERIFY(!m_window->testAttribute(Qt::WA_SetFont));
    for (const WidgetRow &row : widgetRows) {
        QWidget *w = widget(QString::fromLatin1(row.name));
        QVERIFY2(w, row.name);
        QVERIFY2(w->testAttribute(Qt::WA_SetFont) == ownFont.contains(QString::fromLatin1(row.name)), row.name);
    }
}

// Hex notation in the send area is drawn in the widget font without
// shaping, also after the application font changes; text is shaped.
void tst_MainWindow::sendAreaTextUnshaped()
{
    auto *area = qobject_cast<QPlainTextEdit *>(widget(QStringLiteral("tEditSendText")));
    auto *hexBox = qobject_cast<QCheckBox *>(widget(QStringLiteral("cBox_SndHexDisp")));
    QVERIFY(area && hexBox);
    auto drawnInWidgetFont = [area](bool unshaped) {
        const QFont drawn = area->document()->defaultFont();
        return drawn.family() == area->font().family() && drawn.pointSizeF() == area->font().pointSizeF()
               && bool(drawn.styleStrategy() & QFont::PreferNoShaping) == unshaped;
    };
    QVERIFY(drawnInWidgetFont(false));
    QTest::mouseClick(hexBox, Qt::LeftButton);
    QTRY_VERIFY(drawnInWidgetFont(true));
    const QFont before = QApplication::font();
    QFont bigger = before;
    bigger.setPointSizeF(before.pointSizeF() + 3);
    QApplication::setFont(bigger);
    QTRY_COMPARE(area->font().pointSizeF(), bigger.pointSizeF());
    QTRY_VERIFY(drawnInWidgetFont(true));
    QApplication::setFont(before);
    QTRY_VERIFY(drawnInWidgetFont(true) && area->font().pointSizeF() == before.pointSizeF());
    QTest::mouseClick(hexBox, Qt::LeftButton);
    QTRY_VERIFY(drawnInWidgetFont(false));
}

void tst_MainWindow::resetButtonCursor()
{
    QWidget *resetButton = widget(QStringLiteral("pBtnResetCnt"));
    QVERIFY(resetButton);
    QVERIFY(resetButton->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(resetButton->cursor().shape(), Qt::PointingHandCursor);
}

void tst_MainWindow::imagesAreCompiledIn()
{
    for (const QString path : {QStringLiteral(":/mqrc/mqrc/NetOff.png"), QStringLiteral(":/mqrc/mqrc/NetOn.png")}) {
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(128, 128));
        QVERIFY(image.hasAlphaChannel());
    }
}

void tst_MainWindow::iconsFromWorkingDirectoryAndResources()
{
    // Images of distinct sizes in the working directory tell apart the entries
    // read from there from those compiled in (128x128).
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeImage(dir.filePath(QStringLiteral("NetOff.png")), QSize(16, 16), "PNG"));
    QVERIFY(writeImage(dir.filePath(QStringLiteral("NetOn.png")), QSize(24, 24), "PNG"));
    QVERIFY(writeImage(dir.filePath(QStringLiteral("icon.ico")), QSize(32, 32), "ICO"));

    std::unique_ptr<mKestruneWidget> window;
    {
        const WorkingDirectory cwd(dir.path());
        window = std::make_unique<mKestruneWidget>();
    }

    QCOMPARE(window->windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});

    auto *netButton = window->findChild<QPushButton *>(QStringLiteral("pBtnNetCnnt"));
    QVERIFY(netButton);
    const QIcon icon = netButton->icon();
    QCOMPARE(icon.availableSizes(QIcon::Active, QIcon::Off), QList<QSize>{QSize(16, 16)});
    QCOMPARE(icon.availableSizes(QIcon::Active, QIcon::On), QList<QSize>{QSize(24, 24)});
    QCOMPARE(icon.availableSizes(QIcon::Selected, QIcon::Off), QList<QSize>{QSize(128, 128)});
    QCOMPARE(icon.availableSizes(QIcon::Selected, QIcon::On), QList<QSize>{QSize(128, 128)});
    QVERIFY(icon.availableSizes(QIcon::Normal, QIcon::Off).isEmpty());
    QVERIFY(icon.availableSizes(QIcon::Normal, QIcon::On).isEmpty());
    QVERIFY(icon.availableSizes(QIcon::Disabled, QIcon::Off).isEmpty());
    QVERIFY(icon.availableSizes(QIcon::Disabled, QIcon::On).isEmpty());

    // Without the files, only the compiled-in entries remain; nothing fails.
    QTemporaryDir emptyDir;
    QVERIFY(emptyDir.isValid());
    const WorkingDirectory cwd(emptyDir.path());
    mKestruneWidget bare;
    const QIcon bareIcon = bare.findChild<QPushButton *>(QStringLiteral("pBtnNetCnnt"))->icon();
    QVERIFY(bareIcon.availableSizes(QIcon::Active, QIcon::Off).isEmpty());
    QVERIFY(bareIcon.availableSizes(QIcon::Active, QIcon::On).isEmpty());
    QCOMPARE(bareIcon.availableSizes(QIcon::Selected, QIcon::Off), QList<QSize>{QSize(128, 128)});
    QCOMPARE(bareIcon.availableSizes(QIcon::Selected, QIcon::On), QList<QSize>{QSize(128, 128)});
    QVERIFY(bare.windowIcon().availableSizes().isEmpty());
}

void tst_MainWindow::initialSize()
{
    mKestruneWidget window;
    QCOMPARE(window.size(), QSize(500, 430));
    QCOMPARE(window.minimumSize(), QSize(500, 430));
    window.resize(300, 200);
    QCOMPARE(window.size(), QSize(500, 430));
}

void tst_MainWindow::shownLayoutRespectsLimits()
{
    mKestruneWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto geometryOf = [&window](const char *name) {
        QWidget *w = window.findChild<QWidget *>(QString::fromLatin1(name));
        return w ? QRect(w->mapTo(&window, QPoint(0, 0)), w->size()) : QRect();
    };
    QVERIFY(window.width() >= 500);
    QVERIFY(window.height() >= 430);

    QCOMPARE(geometryOf("pBtnSendData").size(), QSize(75, 61));
    const QRect settings = geometryOf("groupBox_2");
    QVERIFY(settings.width() >= 155 && settings.width() <= 200);
    QVERIFY(settings.height() <= 300);
    const QRect tabs = geometryOf("Tabs_SndRcv");
    QVERIFY(tabs.width() >= 155 && tabs.width() <= 200);
    QVERIFY(tabs.height() >= 180 && tabs.height() <= 400);
    QVERIFY(geometryOf("tEditSendText").height() <= 100);

    // Settings column on the left, caption above the receive area, the send
    // area under it and the status row at the bottom.
    const QRect caption = geometryOf("label_9");
    const QRect receive = geometryOf("ReceiveTextEdit");
    const QRect send = geometryOf("tEditSendText");
    const QRect status = geometryOf("CurState");
    QVERIFY(settings.right() < receive.left());
    QVERIFY(tabs.top() > settings.bottom());
    QVERIFY(caption.bottom() < receive.top());
    QVERIFY(receive.bottom() < send.top());
    QVERIFY(status.top() > send.bottom());
    QVERIFY(status.top() > tabs.bottom());
}

void tst_MainWindow::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");

    // `what` is a property name, "item N" of a combo box, or "tab title" of a
    // page. The texts of lEditIpAddr and lEditUdpIP depend on the host and are
    // checked with the start state.
    auto row = [](const char *name, const char *what, const char *expected) {
        QTest::addRow("%s %s", name, what) << QString::fromLatin1(name) << QString::fromLatin1(what)
                                           << QString::fromUtf8(expected);
    };
    row(WindowName, "windowTitle", "Kestrune");
    row("groupBox_2", "title", "网络设置");
    row("label", "text", "协议类型");
    row("cBoxNetType", "item 0", "UDP");
    row("cBoxNetType", "item 1", "TCP服务器");
    row("cBoxNetType", "item 2", "TCP客户端");
    row("label_IP", "text", "本地IP地址");
    row("lEditIpAddr", "inputMask", "000.000.000.000");
    row("label_Port", "text", "本地端口");
    row("lEditIpPort", "inputMask", "");
    row("lEditIpPort", "text", "8080");
    row("pBtnNetCnnt", "text", " 连接网络");
    row("StartRcvFile", "text", "接收转向文件...");
    row("cBox_ShowRcvTime", "text", "显示接收日期");
    row("cBox_RcvHexDisp", "text", "十六进制显示");
    row("cBox_PauseShowRcv", "text", "暂停接收显示");
    row("cBox_chatMode", "text", "群聊模式服务");
    row("cBox_echoMode", "text", "群聊回显开关");
    row("pBtnSaveRcvData", "text", "保存数据");
    row("pBtnClearRcvDisp", "text", "清空显示");
    row("tab", "tab title", "接收设置");
    row("cBoxStartSndFile", "text", "启用文件数据源...");
    row("cBox_AntoClearSnd", "text", "发送完自动清空");
    row("cBox_SndHexDisp", "text", "按十六进制发送");
    row("cBoxLoopSnd", "text", "数据源循环发送");
    row("label_4", "text", "间隔");
    row("lEdit_Interval_ms", "inputMask", "D9999");
    row("lEdit_Interval_ms", "text", "1000");
    row("label_5", "text", "毫秒");
    row("pBtnLoadSndData", "text", "载入数据");
    row("pBtnClearSndDisp", "text", "清空显示");
    row("tab_2", "tab title", "发送设置");
    row("label_9", "text", "数据接收区");
    row("labelClients", "text", "连接对象");
    row("labelSpaceClients", "text", "");
    row("labelUdp", "text", "目标IP地址");
    row("lEditUdpIP", "inputMask", "000.000.000.000");
    row("labelUdp1", "text", "目标端口");
    row("lEditUdpPort", "inputMask", "");
    row("lEditUdpPort", "text", "8081");
    row("labelSpaceUdp", "text", "");
    row("pBtnSendData", "text", "发送");
    row("label_2", "text", "状态");
    row("CurState", "text", "");
    row("label_6", "text", "发送计数");
    row("lEdit_SndCnt", "text", "0");
    row("label_7", "text", "接收计数");
    row("lEdit_RcvCnt", "text", "0");
    row("pBtnResetCnt", "text", "复位计数");
}

void tst_MainWindow::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, what);
    QFETCH(QString, expected);

    QWidget *w = widget(name);
    QVERIFY(w);
    QString actual;
    if (what.startsWith(QLatin1String("item "))) {
        auto *combo = qobject_cast<QComboBox *>(w);
        QVERIFY(combo);
        const int index = what.mid(5).toInt();
        QVERIFY(index < combo->count());
        actual = combo->itemText(index);
    } else if (what == QLatin1String("tab title")) {
        auto *tabs = m_window->findChild<QTabWidget *>(QStringLiteral("Tabs_SndRcv"));
        QVERIFY(tabs);
        const int index = tabs->indexOf(w);
        QVERIFY(index >= 0);
        actual = tabs->tabText(index);
    } else {
        const QVariant value = w->property(what.toLatin1().constData());
        QVERIFY2(value.isValid(), "no such property");
        actual = value.toString();
    }
    QCOMPARE(actual, expected);
}

void tst_MainWindow::noHelpTexts()
{
    for (const WidgetRow &row : widgetRows) {
        QWidget *w = widget(QString::fromLatin1(row.name));
        QVERIFY2(w, row.name);
        QVERIFY2(w->toolTip().isEmpty(), row.name);
        QVERIFY2(w->statusTip().isEmpty(), row.name);
        QVERIFY2(w->whatsThis().isEmpty(), row.name);
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            QVERIFY2(edit->placeholderText().isEmpty(), row.name);
        if (auto *edit = qobject_cast<QPlainTextEdit *>(w))
            QVERIFY2(edit->placeholderText().isEmpty(), row.name);
    }
}

void tst_MainWindow::startVisibility_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hidden");

    // The UDP view hides the client row and the group-chat switches; the
    // progress bar shows only while a file is sent; the send settings page
    // waits behind the receive settings page.
    const QSet<QString> hidden{"labelClients",  "cBoxClients",    "labelSpaceClients", "cBox_chatMode",
                               "cBox_echoMode", "SndProgressBar", "tab_2"};
    for (const WidgetRow &row : widgetRows)
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << hidden.contains(QString::fromLatin1(row.name));
}

void tst_MainWindow::startVisibility()
{
    QFETCH(QString, name);
    QFETCH(bool, hidden);

    QWidget *w = widget(name);
    QVERIFY(w);
    QCOMPARE(w->isHidden(), hidden);
}

void tst_MainWindow::startState()
{
    mKestruneWidget &window = *m_window;
    auto *netType = window.findChild<QComboBox *>(QStringLiteral("cBoxNetType"));
    QVERIFY(netType);
    QCOMPARE(netType->currentIndex(), 0);
    QCOMPARE(netType->currentText(), QStringLiteral("UDP"));

    auto *netButton = window.findChild<QPushButton *>(QStringLiteral("pBtnNetCnnt"));
    QVERIFY(netButton);
    QVERIFY(netButton->isCheckable());
    QVERIFY(!netButton->isChecked());
    QVERIFY(netButton->isEnabled());
    QVERIFY(!widget(QStringLiteral("pBtnSendData"))->isEnabled());

    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("lEdit_SndCnt"))->text(), QStringLiteral("0"));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("lEdit_RcvCnt"))->text(), QStringLiteral("0"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("CurState"))->text(), QString());
    QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("cBoxClients"))->count(), 0);
    QCOMPARE(window.findChild<QPlainTextEdit *>(QStringLiteral("ReceiveTextEdit"))->toPlainText(), QString());
    QCOMPARE(window.findChild<QPlainTextEdit *>(QStringLiteral("tEditSendText"))->toPlainText(), QString());
    QCOMPARE(window.findChild<QTabWidget *>(QStringLiteral("Tabs_SndRcv"))->currentWidget(), widget(QStringLiteral("tab")));
    for (const char *box : {"StartRcvFile", "cBox_ShowRcvTime", "cBox_RcvHexDisp", "cBox_PauseShowRcv", "cBox_chatMode",
                            "cBox_echoMode", "cBoxStartSndFile", "cBox_AntoClearSnd", "cBox_SndHexDisp", "cBoxLoopSnd"}) {
        auto *check = window.findChild<QCheckBox *>(QString::fromLatin1(box));
        QVERIFY2(check, box);
        QVERIFY2(!check->isChecked(), box);
    }

    QVERIFY(KestruneProbe::form(window));
    QVERIFY(KestruneProbe::socketDescriptorList(window).isEmpty());
    QCOMPARE(KestruneProbe::clientLinkCount(window), 0);
    QCOMPARE(KestruneProbe::rcvByteCnt(window), 0u);
    QCOMPARE(KestruneProbe::sndByteCnt(window), 0u);
    QVERIFY(KestruneProbe::localHostAddr(window).isNull());
    QCOMPARE(KestruneProbe::localPort(window), 0);
    // The port field gets "8081" before the slots are connected by name, so
    // the target port is not parsed at start.
    QCOMPARE(KestruneProbe::udpTargetPort(window), 0);
    QVERIFY(KestruneProbe::tcpServerAddr(window));
    QVERIFY(KestruneProbe::tcpServerAddr(window)->isNull());
    QCOMPARE(testsupport::loopRunning(window), false);
    QCOMPARE(KestruneProbe::lastRcvSource(window), QString());
    QVERIFY(!KestruneProbe::lastRcvSource(window).isNull());
    QCOMPARE(KestruneProbe::dataFileName(window), QString());
    QVERIFY(!KestruneProbe::dataFileName(window).isNull());
    QCOMPARE(KestruneProbe::dataFile(window), nullptr);
}

void tst_MainWindow::addressFieldsHoldDetectedAddress()
{
    mKestruneWidget &window = *m_window;
    const QString detected = chooseLocalIpv4Address(QNetworkInterface::allAddresses());

    // A field under the mask "000.000.000.000" without digits reads back as
    // its three separators.
    const QString shown = detected.isEmpty() ? QStringLiteral("...") : detected;
    auto *localField = window.findChild<QLineEdit *>(QStringLiteral("lEditIpAddr"));
    auto *targetField = window.findChild<QLineEdit *>(QStringLiteral("lEditUdpIP"));
    QVERIFY(localField);
    QVERIFY(targetField);
    QCOMPARE(localField->text(), shown);
    QCOMPARE(targetField->text(), shown);
    QCOMPARE(localField->inputMask(), QStringLiteral("000.000.000.000"));
    QCOMPARE(targetField->inputMask(), QStringLiteral("000.000.000.000"));

    // The target field's change reached the window: the UDP target follows it.
    QCOMPARE(KestruneProbe::udpTargetAddr(window), QHostAddress(targetField->text()));
    if (detected.isEmpty())
        QVERIFY(KestruneProbe::udpTargetAddr(window).isNull());
    else
        QCOMPARE(KestruneProbe::udpTargetAddr(window), QHostAddress(detected));
}

void tst_MainWindow::startCreatesNoLinkObjects()
{
    mKestruneWidget &window = *m_window;
    QCOMPARE(testsupport::udpLink(window), nullptr);
    QCOMPARE(testsupport::clientLink(window), nullptr);
    QCOMPARE(testsupport::serverLink(window), nullptr);
    QCOMPARE(testsupport::loopTimer(window), nullptr);
    QVERIFY(window.findChildren<QAbstractSocket *>().isEmpty());
    QVERIFY(window.findChildren<QTcpServer *>().isEmpty());
    QVERIFY(window.findChildren<QTimer *>(Qt::FindDirectChildrenOnly).isEmpty());
}

void tst_MainWindow::resetCountersButton()
{
    mKestruneWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *sent = window.findChild<QLineEdit *>(QStringLiteral("lEdit_SndCnt"));
    auto *received = window.findChild<QLineEdit *>(QStringLiteral("lEdit_RcvCnt"));
    auto *reset = window.findChild<QPushButton *>(QStringLiteral("pBtnResetCnt"));
    QVERIFY(sent && received && reset);
    sent->setText(QStringLiteral("42"));
    received->setText(QStringLiteral("17"));

    QTest::mouseClick(reset, Qt::LeftButton);
    QCOMPARE(sent->text(), QStringLiteral("0"));
    QCOMPARE(received->text(), QStringLiteral("0"));
    QCOMPARE(KestruneProbe::sndByteCnt(window), 0u);
    QCOMPARE(KestruneProbe::rcvByteCnt(window), 0u);

    // No link is open: the reset touches nothing else.
    QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("pBtnNetCnnt"))->isChecked());
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("CurState"))->text(), QString());
}

void tst_MainWindow::resetAfterTraffic()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
    quint16 windowPort = 0;
    {
        // A free port for the window's link: bind, read it back, release it.
        QUdpSocket portFinder;
        QVERIFY(portFinder.bind(QHostAddress::Any, 0));
        windowPort = portFinder.localPort();
    }

    mKestruneWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *netButton = window.findChild<QPushButton *>(QStringLiteral("pBtnNetCnnt"));
    auto *sendButton = window.findChild<QPushButton *>(QStringLiteral("pBtnSendData"));
    auto *reset = window.findChild<QPushButton *>(QStringLiteral("pBtnResetCnt"));
    auto *sent = window.findChild<QLineEdit *>(QStringLiteral("lEdit_SndCnt"));
    auto *received = window.findChild<QLineEdit *>(QStringLiteral("lEdit_RcvCnt"));
    auto *sendText = window.findChild<QPlainTextEdit *>(QStringLiteral("tEditSendText"));
    QVERIFY(netButton && sendButton && reset && sent && received && sendText);

    window.findChild<QLineEdit *>(QStringLiteral("lEditIpPort"))->setText(QString::number(windowPort));
    window.findChild<QLineEdit *>(QStringLiteral("lEditUdpIP"))->setText(QStringLiteral("127.0.0.1"));
    window.findChild<QLineEdit *>(QStringLiteral("lEditUdpPort"))->setText(QString::number(peer.localPort()));
    // No step: a message box raised by a failed action fails the row at
    // once and is closed, rather than leaving the test waiting on it.
    testsupport::ModalScript noDialog;
    QTest::mouseClick(netButton, Qt::LeftButton);
    QVERIFY(netButton->isChecked());

    QCOMPARE(peer.writeDatagram("hello", 5, QHostAddress::LocalHost, windowPort), qint64(5));
    QTRY_COMPARE_WITH_TIMEOUT(received->text(), QStringLiteral("5"), testsupport::Timeout);
    QCOMPARE(KestruneProbe::rcvByteCnt(window), 5u);

    QTest::keyClicks(sendText, QStringLiteral("abc"));
    QTest::mouseClick(sendButton, Qt::LeftButton);
    QCOMPARE(sent->text(), QStringLiteral("3"));
    QCOMPARE(KestruneProbe::sndByteCnt(window), 3u);
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingDatagrams(), testsupport::Timeout);
    QCOMPARE(peer.receiveDatagram().data(), QByteArray("abc"));

    QTest::mouseClick(reset, Qt::LeftButton);
    QCOMPARE(sent->text(), QStringLiteral("0"));
    QCOMPARE(received->text(), QStringLiteral("0"));
    QCOMPARE(KestruneProbe::sndByteCnt(window), 0u);
    QCOMPARE(KestruneProbe::rcvByteCnt(window), 0u);

    // The link stays open and counting starts again from zero.
    QVERIFY(netButton->isChecked());
    QCOMPARE(peer.writeDatagram("x", 1, QHostAddress::LocalHost, windowPort), qint64(1));
    QTRY_COMPARE_WITH_TIMEOUT(received->text(), QStringLiteral("1"), testsupport::Timeout);
    QCOMPARE(KestruneProbe::rcvByteCnt(window), 1u);
    QCOMPARE(sent->text(), QStringLiteral("0"));
}

// The window's own signals and slots against tests/data/declared.txt.
void tst_MainWindow::signalsAndSlots_data()
{
    testsupport::addDeclarationRows(mKestruneWidget::staticMetaObject);
}

void tst_MainWindow::signalsAndSlots()
{
    QFETCH(QString, declared);
    QFETCH(QString, listed);
    QCOMPARE(declared, listed);
}

void tst_MainWindow::slotsConnectedByName_data()
{
    testsupport::addConnectionRows(mKestruneWidget::staticMetaObject);
}

void tst_MainWindow::slotsConnectedByName()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, signal);
    QFETCH(QByteArray, slot);

    // Disconnecting succeeds only where a connection exists; a window of its
    // own keeps the shared one intact.
    mKestruneWidget window;
    QWidget *sender = widgetIn(window, name);
    QVERIFY(sender);
    const int signalIndex = sender->metaObject()->indexOfSignal(signal.constData());
    QVERIFY(signalIndex >= 0);
    const int slotIndex = window.metaObject()->indexOfSlot(slot.constData());
    QVERIFY(slotIndex >= 0);
    QVERIFY(QObject::disconnect(sender, sender->metaObject()->method(signalIndex), &window,
                                window.metaObject()->method(slotIndex)));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

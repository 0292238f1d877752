#include "declarations.h"
#include "kestruneprobe.h"
#include "localaddress.h"
#include "mkestruneform.h"
#include "mkestrunewidget.h"
#include "testsupport.h"
#include "workingdirectory.h"

#include <QAbstractSocket>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

const char *const WindowName = "mKestruneWidget";

// A key of an object of the form: its value, and the value the description
// implies where it leaves the key out; a key without one must be listed.
struct Key
{
    QString value;
    std::optional<QString> fallback;
};

// An object of the form, or a line of its description (tests/data/form.txt):
// its place is the object it nests in and its index among that one's items.
struct FormNode
{
    QString name;
    QString className;
    QString place;
    QMap<QString, Key> keys;
    // The object, or the spacer; the widget whose layout or tab page holds it.
    const void *address = nullptr;
    const QObject *object = nullptr;
    QString owner;
};

QString enumText(const QMetaEnum &meta, int value)
{
    return QString::fromLatin1(meta.isFlag() ? meta.valueToKeys(value) : QByteArray(meta.valueToKey(value)));
}

template <typename T>
QString enumText(T value)
{
    return enumText(QMetaEnum::fromType<T>(), int(value));
}

QString sizeText(const QSize &size)
{
    auto side = [](int n) { return n == QWIDGETSIZE_MAX ? QStringLiteral("-") : QString::number(n); };
    return side(size.width()) + QLatin1Char('x') + side(size.height());
}

QString policyText(const QSizePolicy &policy)
{
    QString text = enumText(policy.horizontalPolicy()) + QLatin1Char(',') + enumText(policy.verticalPolicy());
    if (policy.horizontalStretch() || policy.verticalStretch())
        text += QStringLiteral(",stretch %1:%2").arg(policy.horizontalStretch()).arg(policy.verticalStretch());
    return policy.hasHeightForWidth() ? text + QStringLiteral(",heightForWidth") : text;
}

// What a widget's own font changes of the application's font for its class.
QString fontText(const QWidget *widget)
{
    const QFont font = widget->font();
    const QFont base = QApplication::font(widget);
    QStringList changes;
    if (font.family() != base.family())
        changes << font.family();
    if (font.pointSizeF() != base.pointSizeF())
        changes << QString::number(font.pointSizeF()) + QStringLiteral("pt");
    if (font.weight() != base.weight())
        changes << (font.weight() == QFont::Bold ? QStringLiteral("bold") : QString::number(font.weight()));
    if (font.underline())
        changes << QStringLiteral("underline");
    return !widget->testAttribute(Qt::WA_SetFont) ? QString()
           : changes.isEmpty()                    ? QStringLiteral("own")
                                                  : changes.join(QLatin1Char(','));
}

QString cursorText(const QWidget *widget)
{
    return widget->testAttribute(Qt::WA_SetCursor) ? enumText(widget->cursor().shape()) : QString();
}

// A widget of the first of Classes named className, else a plain QWidget:
// what a widget of that class holds before anyone sets anything on it.
template <typename... Classes>
std::unique_ptr<QWidget> newWidgetOfClass(const char *className)
{
    std::unique_ptr<QWidget> widget;
    (void)((qstrcmp(className, Classes::staticMetaObject.className()) == 0 && (widget = std::make_unique<Classes>()))
           || ...);
    return widget ? std::move(widget) : std::make_unique<QWidget>();
}

// Properties compared on every widget that has them: the writable ones, and
// the item count.
const char *const comparedProperties[] = {
    "windowTitle", "title",    "text",       "plainText",      "inputMask", "placeholderText", "toolTip",
    "statusTip",   "whatsThis", "enabled",   "baseSize",       "autoFillBackground", "styleSheet", "layoutDirection",
    "alignment",   "flat",      "checkable", "checked",        "autoDefault", "iconSize",      "lineWidth",
    "margin",      "textFormat", "scaledContents", "readOnly", "frame",       "count",         "currentIndex",
    "currentText", "value",     "minimum",   "maximum",
};

// The real form in the description's terms: the window, then depth first a
// widget's tab pages or its layout, and a layout's items. Spacers have no
// object name; they go by the name of their member of the form record.
class FormWalk
{
public:
    FormWalk(QWidget *window, const QHash<const void *, QString> &spacerNames)
        : window(window), spacerNames(spacerNames)
    {
        addWidget(window, QString(), QString());
    }

    QList<FormNode> nodes;

private:
    static void setKey(FormNode &node, const char *key, const QString &value, std::optional<QString> fallback)
    {
        node.keys.insert(QString::fromLatin1(key), {value, std::move(fallback)});
    }

    FormNode &add(const QString &name, const char *className, const QString &parent, const void *address,
                  const QObject *object, const QString &owner)
    {
        const QString place = parent.isEmpty() ? QString() : QStringLiteral("%1 #%2").arg(parent).arg(count[parent]++);
        nodes.append({name, QString::fromLatin1(className), place, {}, address, object, owner});
        if (object) {
            const int named = window->findChildren<QObject *>(name).size() + (window->objectName() == name);
            setKey(nodes.last(), "nameCount", QString::number(named), QStringLiteral("1"));
        }
        return nodes.last();
    }

    static QString nameOf(const QObject *object)
    {
        return object->objectName().isEmpty() ? QStringLiteral("(no name)") : object->objectName();
    }

    void addWidget(QWidget *widget, const QString &parent, const QString &owner)
    {
        const QString name = nameOf(widget);
        const QMetaObject *meta = widget->metaObject();
        const qsizetype self = nodes.size();
        FormNode &node = add(name, meta->className(), parent, static_cast<const QObject *>(widget), widget, owner);
        const std::unique_ptr<QWidget> fresh =
            newWidgetOfClass<QCheckBox, QComboBox, QGroupBox, QLabel, QLineEdit, QPlainTextEdit, QProgressBar,
                             QPushButton, QTabWidget>(meta->className());
        for (const char *key : comparedProperties) {
            const QMetaProperty property = meta->property(meta->indexOfProperty(key));
            if (!property.isValid() || !(property.isWritable() || qstrcmp(key, "count") == 0))
                continue;
            auto text = [&property](const QVariant &value) {
                return property.isEnumType() ? enumText(property.enumerator(), value.toInt())
                       : value.metaType() == QMetaType::fromType<QSize>() ? sizeText(value.toSize())
                                                                          : value.toString();
            };
            const QVariant value = property.read(widget);
            const QVariant own = property.read(fresh.get());
            setKey(node, key, text(value), text(value == own ? value : own));
        }
        setKey(node, "min", sizeText(widget->minimumSize()), QStringLiteral("0x0"));
        setKey(node, "max", sizeText(widget->maximumSize()), QStringLiteral("-x-"));
        // The whole policy is its class's, or the description lists it.
        const QString policy = policyText(widget->sizePolicy());
        const QString ownPolicy = policyText(fresh->sizePolicy()) + QStringLiteral(" (its class's)");
        setKey(node, "policy", policy, widget->sizePolicy() == fresh->sizePolicy() ? policy : ownPolicy);
        setKey(node, "font", fontText(widget), QString());
        setKey(node, "cursor", cursorText(widget), cursorText(fresh.get()));
        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            setKey(node, "items", items.join(QLatin1Char('|')), QString());
        }
        if (widget != window) {
            setKey(node, "hidden", QVariant(widget->isHidden()).toString(), QStringLiteral("false"));
            // The named widget that holds it, past the tab widget's own.
            QWidget *holder = widget->parentWidget();
            while (holder && holder->objectName().startsWith(QLatin1String("qt_")))
                holder = holder->parentWidget();
            setKey(node, "parent", holder ? holder->objectName() : QString(), owner);
            setKey(node, "window", widget->window()->objectName(), window->objectName());
        }
        if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i) {
                const qsizetype page = nodes.size();
                addWidget(tabs->widget(i), name, name);
                setKey(nodes[page], "tabText", tabs->tabText(i), std::nullopt);
            }
        }
        if (widget->layout())
            addLayout(widget->layout(), name, name);
        // Its child widgets in creation order, but for Qt's own, are those
        // the walk found in its layout; a tab widget's page stack keeps the
        // current page on top instead, and the walk has them in tab order.
        if (qobject_cast<QTabWidget *>(widget))
            return;
        QStringList children;
        QStringList held;
        for (const QWidget *child : widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!child->objectName().startsWith(QLatin1String("qt_")))
                children << child->objectName();
        }
        for (qsizetype i = self + 1; i < nodes.size(); ++i) {
            if (nodes.at(i).owner == name && nodes.at(i).object && nodes.at(i).object->isWidgetType())
                held << nodes.at(i).name;
        }
        setKey(nodes[self], "children", children.join(QLatin1Char(',')), held.join(QLatin1Char(',')));
    }

    void addLayout(QLayout *layout, const QString &parent, const QString &owner)
    {
        const QString name = nameOf(layout);
        FormNode &node = add(name, layout->metaObject()->className(), parent, static_cast<const QObject *>(layout),
                             layout, owner);
        const QMargins m = layout->contentsMargins();
        setKey(node, "spacing", QString::number(layout->spacing()), std::nullopt);
        setKey(node, "margins", QStringLiteral("%1,%2,%3,%4").arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom()),
               QStringLiteral("0,0,0,0"));
        setKey(node, "parent", layout->parent()->objectName(), parent);
        auto *grid = qobject_cast<QGridLayout *>(layout);
        if (grid) {
            setKey(node, "rows", QString::number(grid->rowCount()), std::nullopt);
            setKey(node, "columns", QString::number(grid->columnCount()), std::nullopt);
        }
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            const qsizetype at = nodes.size();
            if (item->widget()) {
                addWidget(item->widget(), name, owner);
            } else if (item->layout()) {
                addLayout(item->layout(), name, owner);
            } else if (const QSpacerItem *spacer = item->spacerItem()) {
                FormNode &added = add(spacerNames.value(spacer, QStringLiteral("<no member of the form record>")),
                                      "QSpacerItem", name, spacer, nullptr, owner);
                setKey(added, "hint", sizeText(spacer->sizeHint()), std::nullopt);
                setKey(added, "policy", policyText(spacer->sizePolicy()), std::nullopt);
            }
            // Where the item sits in its layout.
            if (auto *box = qobject_cast<QBoxLayout *>(layout))
                setKey(nodes[at], "stretch", QString::number(box->stretch(i)), QStringLiteral("0"));
            setKey(nodes[at], "itemAlignment", enumText(item->alignment()), QString());
            if (grid) {
                int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
                grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
                QString cell = QStringLiteral("%1,%2,%3,%4").arg(row).arg(column).arg(rowSpan).arg(columnSpan);
                if (grid->itemAtPosition(row, column) != item)
                    cell += QStringLiteral(" (another item there)");
                setKey(nodes[at], "cell", cell, std::nullopt);
            }
        }
    }

    QWidget *window = nullptr;
    QHash<const void *, QString> spacerNames;
    // Items so far of each object that holds others.
    QHash<QString, int> count;
};

// The description, compiled in; an error names the line at fault. A line is
// NAME CLASS KEY=VALUE..., a value in double quotes where it holds a space
// or is empty, indented two spaces a level under the line that holds it.
QList<FormNode> readDescription(QString *error)
{
    QFile file(QStringLiteral(":/form.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        *error = QStringLiteral("cannot read :/form.txt");
    static const QRegularExpression word(QStringLiteral(R"((?:[^\s"]|"[^"]*")+)"));
    static const QRegularExpression nonSpace(QStringLiteral("\\S"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<FormNode> nodes;
    QStringList enclosing;
    QHash<QString, int> count;
    for (int number = 1; number <= lines.size() && error->isEmpty(); ++number) {
        const QString &line = lines.at(number - 1);
        const qsizetype indent = line.indexOf(nonSpace);
        if (indent < 0 || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList words;
        for (const QRegularExpressionMatch &match : word.globalMatch(line))
            words << match.captured().remove(QLatin1Char('"'));
        const qsizetype depth = indent / 2;
        if (indent % 2 || depth > enclosing.size() || (depth == 0) != nodes.isEmpty() || words.size() < 2) {
            *error = QStringLiteral("form.txt line %1: odd indentation, or no class").arg(number);
            break;
        }
        enclosing.resize(depth);
        const QString parent = enclosing.value(depth - 1);
        FormNode node{words.at(0), words.at(1),
                      parent.isEmpty() ? QString() : QStringLiteral("%1 #%2").arg(parent).arg(count[parent]++)};
        for (const QString &pair : words.mid(2)) {
            if (pair.indexOf(QLatin1Char('=')) < 1)
                *error = QStringLiteral("form.txt line %1: \"%2\" is no KEY=VALUE").arg(number).arg(pair);
            node.keys.insert(pair.section(QLatin1Char('='), 0, 0), {pair.section(QLatin1Char('='), 1)});
        }
        enclosing.append(node.name);
        nodes.append(node);
    }
    return nodes;
}

// "?" stands for any value, also for one of a list's comma-separated values.
bool matches(const QString &listed, const QString &value)
{
    const QStringList wanted = listed.split(QLatin1Char(','));
    const QStringList found = value.split(QLatin1Char(','));
    for (qsizetype i = 0; wanted.size() == found.size() && i < wanted.size(); ++i) {
        if (wanted.at(i) != QLatin1String("?") && wanted.at(i) != found.at(i))
            return false;
    }
    return wanted.size() == found.size() || listed == QLatin1String("?");
}

// What differs between an object of the form and its line in the
// description, a message per key that names the object and the key.
QStringList differences(const QString &name, const FormNode *form, const FormNode *listed)
{
    if (!form || !listed) {
        const FormNode *node = form ? form : listed;
        return {QStringLiteral("%1: the %2 has this %3 at \"%4\", the %5 has none")
                    .arg(name, form ? QStringLiteral("form") : QStringLiteral("description"), node->className,
                         node->place, form ? QStringLiteral("description") : QStringLiteral("form"))};
    }
    QStringList found;
    auto differ = [&](const QString &key, const QString &has, const QString &wants) {
        found << QStringLiteral("%1 %2: the form has %3, the description %4").arg(name, key, has, wants);
    };
    auto quoted = [](const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); };
    if (form->className != listed->className)
        differ(QStringLiteral("class"), form->className, listed->className);
    if (form->place != listed->place)
        differ(QStringLiteral("place"), quoted(form->place), quoted(listed->place));
    for (auto it = listed->keys.cbegin(); it != listed->keys.cend(); ++it) {
        const auto has = form->keys.constFind(it.key());
        const bool missing = has == form->keys.cend();
        if (missing || !matches(it->value, has->value))
            differ(it.key(), missing ? QStringLiteral("no such key") : quoted(has->value), quoted(it->value));
    }
    for (auto it = form->keys.cbegin(); it != form->keys.cend(); ++it) {
        if (!listed->keys.contains(it.key()) && it->fallback != it->value)
            differ(it.key(), quoted(it->value),
                   it->fallback ? QStringLiteral("implies ") + quoted(*it->fallback) : QStringLiteral("lists none"));
    }
    return found;
}

const void *identity(const QObject *object)
{
    return object;
}

const void *identity(const QSpacerItem *spacer)
{
    return spacer;
}

// formmembers.h holds FORM_MEMBER(NAME) for every line of the description
// but the window's own: the members of the form record.
#define FORM_MEMBER(member) +1
constexpr int formMemberCount = 0
#include "formmembers.h"
    ;
#undef FORM_MEMBER
static_assert(sizeof(mKestruneForm) == formMemberCount * sizeof(void *),
              "the description has a line for every member of the form record");

QList<std::pair<QString, const void *>> formMembers(const mKestruneForm &form)
{
#define FORM_MEMBER(member) {QStringLiteral(#member), identity(form.member)},
    return {
#include "formmembers.h"
    };
#undef FORM_MEMBER
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

    void form_data();
    void form();
    void formRecord_data();
    void formRecord();
    void signalsAndSlots_data();
    void signalsAndSlots();
    void slotsConnectedByName_data();
    void slotsConnectedByName();

    void sendAreaTextUnshaped();
    void imagesAreCompiledIn();
    void iconsFromWorkingDirectoryAndResources();
    void initialSize();
    void shownLayoutRespectsLimits();

    void startState();
    void addressFieldsHoldDetectedAddress();
    void startCreatesNoLinkObjects();
    void resetCountersButton();
    void resetAfterTraffic();

private:
    static QWidget *widgetIn(mKestruneWidget &window, const QString &name);
    QWidget *widget(const QString &name) const { return widgetIn(*m_window, name); }

    // One window shared by the tests that only look; tests that act build
    // their own.
    std::unique_ptr<mKestruneWidget> m_window;
    // The shared window's form as it was built, and its description.
    QList<FormNode> m_form;
    QList<FormNode> m_described;
    QString m_descriptionError;
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
    QHash<const void *, QString> memberNames;
    for (const auto &[name, member] : formMembers(*KestruneProbe::form(*m_window)))
        memberNames.insert(member, name);
    m_form = FormWalk(m_window.get(), memberNames).nodes;
    m_described = readDescription(&m_descriptionError);
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

// The shared window's widgets, layouts and spacers against the description,
// a row per object: its class, its place and every key.
void tst_MainWindow::form_data()
{
    QTest::addColumn<QStringList>("problems");
    if (!m_descriptionError.isEmpty()) {
        QTest::newRow("description") << QStringList{m_descriptionError};
        return;
    }
    QHash<QString, const FormNode *> form;
    QHash<QString, const FormNode *> listed;
    QStringList names;
    for (const FormNode &node : m_form)
        form.insert(node.name, &node);
    for (const FormNode &node : m_described) {
        listed.insert(node.name, &node);
        names << node.name;
    }
    for (const FormNode &node : m_form) {
        if (!listed.contains(node.name))
            names << node.name;
    }
    for (const QString &name : names)
        QTest::newRow(qUtf8Printable(name)) << differences(name, form.value(name), listed.value(name));
}

void tst_MainWindow::form()
{
    QFETCH(QStringList, problems);
    QVERIFY2(problems.isEmpty(), qUtf8Printable(problems.join(QLatin1Char('\n'))));
}

// Each member of the form record is the object of its name.
void tst_MainWindow::formRecord_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quintptr>("member");
    for (const auto &[name, member] : formMembers(*KestruneProbe::form(*m_window)))
        QTest::newRow(qPrintable(name)) << name << quintptr(member);
}

void tst_MainWindow::formRecord()
{
    QFETCH(QString, name);
    QFETCH(quintptr, member);

    QVERIFY2(member, "the member is null");
    const auto node = std::find_if(m_form.cbegin(), m_form.cend(), [&](const FormNode &n) { return n.name == name; });
    QVERIFY2(node != m_form.cend(), "the form has no object of that name");
    QCOMPARE(quintptr(node->address), member);
    if (node->object)
        QCOMPARE(m_window->findChild<QObject *>(name), node->object);
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

// What the window holds at start beside its widgets, which the description
// covers.
void tst_MainWindow::startState()
{
    mKestruneWidget &window = *m_window;
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

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

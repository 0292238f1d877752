#include "declarations.h"

#include <QFile>
#include <QMetaMethod>
#include <QStringList>
#include <QTest>

namespace testsupport {
namespace {

const QString NoteMark = QStringLiteral(" <- ");

// The table's lines of a class, its own line first.
QStringList listedLines(const char *className)
{
    QFile file(QStringLiteral(":/declared.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read :/declared.txt");
    QStringList lines;
    bool inClass = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        if (!line.startsWith(' '))
            inClass = line.split(' ').first() == className;
        if (inClass)
            lines << QString::fromUtf8(line.trimmed());
    }
    return lines;
}

// The name of the signal or slot on a line: the word before "(".
QString methodName(const QString &line)
{
    return line.section(QLatin1Char('('), 0, 0).section(QLatin1Char(' '), -1);
}

} // namespace

void addDeclarationRows(const QMetaObject &meta)
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<QString>("listed");
    static const char *const kinds[] = {"method", "signal", "slot", "constructor"};
    static const char *const access[] = {"private", "protected", "public"};
    QStringList declared{QStringLiteral("%1 %2 properties=%3")
                             .arg(QLatin1String(meta.className()), QLatin1String(meta.superClass()->className()))
                             .arg(meta.propertyCount() - meta.propertyOffset())};
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QStringList parameters;
        for (int p = 0; p < method.parameterCount(); ++p) {
            const QByteArray name = method.parameterNames().at(p);
            parameters << QString::fromLatin1(method.parameterTypes().at(p) + (name.isEmpty() ? "" : " " + name));
        }
        declared << QStringLiteral("%1 %2 %3 %4(%5)")
                        .arg(QLatin1String(kinds[method.methodType()]), QLatin1String(access[method.access()]),
                             QLatin1String(method.typeName()), QLatin1String(method.name()),
                             parameters.join(QLatin1Char(',')));
    }
    const QStringList listed = listedLines(meta.className());
    for (qsizetype i = 0; i < qMax(declared.size(), listed.size()); ++i) {
        const QString line = declared.value(i, listed.value(i));
        QTest::addRow("%d %s", int(i), qPrintable(i ? methodName(line) : line.section(QLatin1Char(' '), 0, 0)))
            << declared.value(i) << listed.value(i).section(NoteMark, 0, 0);
    }
}

void addConnectionRows(const QMetaObject &meta)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<QByteArray>("slot");
    for (const QString &line : listedLines(meta.className())) {
        if (!line.contains(NoteMark))
            continue;
        const QStringList note = line.section(NoteMark, 1).split(QLatin1Char(' '));
        QByteArray slot;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (QString::fromLatin1(meta.method(i).name()) == methodName(line))
                slot = meta.method(i).methodSignature();
        }
        QTest::newRow(qPrintable(methodName(line))) << note.value(0) << note.value(1).toLatin1() << slot;
    }
}

} // namespace testsupport

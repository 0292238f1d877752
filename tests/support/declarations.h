#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
struct QMetaObject;
QT_END_NAMESPACE

// A class's own signals and slots against their table, tests/data/declared.txt,
// which the test executable compiles in: rows of the running _data function.
namespace testsupport {

// Columns "declared" and "listed": the class's line, then one per signal or
// slot, as the meta-object gives it and as the table lists it.
void addDeclarationRows(const QMetaObject &meta);
// Columns "name", "signal" and "slot": the slots the table notes as joined by
// name to a widget's signal ("<- WIDGET SIGNAL").
void addConnectionRows(const QMetaObject &meta);

} // namespace testsupport

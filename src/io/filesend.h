#pragma once

#include <QString>
#include <QtGlobal>

// The megabyte total of a file send as its closing note shows it: the byte
// count divided by 1024 in single precision, then by 1024 again, in general
// format with six significant digits ("0", "0.00146484", "1", "9.53674e-05").
QString sendTotalText(quint32 byteCount);

// How far byte counts must be shifted right so that a file of total bytes
// fits a progress bar's int range; 0 for files under 2 GiB.
int progressShift(qint64 total);

#include "filesend.h"

#include <limits>

QString sendTotalText(quint32 byteCount)
{
    const float kibibytes = float(byteCount / 1024.0);
    return QStringLiteral("%1").arg(double(kibibytes) / 1024);
}

int progressShift(qint64 total)
{
    int shift = 0;
    while ((total >> shift) > std::numeric_limits<int>::max())
        ++shift;
    return shift;
}

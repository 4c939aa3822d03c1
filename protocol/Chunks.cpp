#include "protocol/Chunks.h"

namespace chunks {

QList<QByteArray> cut(QByteArrayView file)
{
    QList<QByteArray> pieces;
    qsizetype offset = 0;
    while (file.size() - offset >= kSize) {
        pieces.append(file.sliced(offset, kSize).toByteArray());
        offset += kSize;
    }
    pieces.append(file.sliced(offset).toByteArray());
    return pieces;
}

} // namespace chunks

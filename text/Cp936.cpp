#include "text/Cp936.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace cp936 {
namespace {
constexpr const char *kCodecName = "GBK";
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(kCodecName);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder(kCodecName);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder(bytes);
}

} // namespace cp936

#include "ScreenPicture.h"

#include "protocol/JpegEncoder.h"
#include "system/AppError.h"

#include <QFont>
#include <QPainter>
#include <QSysInfo>
#include <array>

namespace {

constexpr std::array<QRgb, 7> kBars{0xc0c0c0, 0xc0c000, 0x00c0c0, 0x00c000,
                                    0xc000c0, 0xc00000, 0x0000c0};
constexpr int kBandDivisor = 3;
constexpr int kNameSizeDivisor = 8;
constexpr int kClockSizeDivisor = 12;
constexpr QRgb kBand = 0x101820;
constexpr QRgb kText = 0xffffff;

} // namespace

QImage ScreenPicture::draw(const QString &name, const QDateTime &time, QSize size, int frameNumber)
{
    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    const int width = size.width();
    const int height = size.height();
    const int barCount = static_cast<int>(kBars.size());
    for (int i = 0; i < barCount; ++i) {
        const int left = width * i / barCount;
        painter.fillRect(left, 0, width * (i + 1) / barCount - left, height, QColor(kBars[i]));
    }
    // The moving marker makes consecutive frames differ even within one second.
    const int marker = height / kBandDivisor / 2;
    painter.fillRect((frameNumber * marker) % qMax(1, width - marker), height - marker, marker,
                     marker, Qt::black);

    const QRect band(0, height / kBandDivisor, width, height / kBandDivisor);
    painter.fillRect(band, QColor(kBand));
    painter.setPen(QColor(kText));
    QFont font = painter.font();
    font.setPixelSize(qMax(8, height / kNameSizeDivisor));
    painter.setFont(font);
    painter.drawText(band.adjusted(0, 0, 0, -band.height() / 2), Qt::AlignCenter, name);
    font.setPixelSize(qMax(8, height / kClockSizeDivisor));
    painter.setFont(font);
    const QString clock =
        time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  #%1").arg(frameNumber);
    painter.drawText(band.adjusted(0, band.height() / 2, 0, 0), Qt::AlignCenter, clock);
    return picture;
}

QByteArray ScreenPicture::jpeg(const QImage &picture, int quality)
{
    // A 32-bit RGB pixel lies in memory as blue, green, red, padding: the encoder's own rows.
    static_assert(QSysInfo::ByteOrder == QSysInfo::LittleEndian);
    const QImage rows = picture.convertToFormat(QImage::Format_RGB32);
    try {
        // Made for each file, so a room of simulated students holds no encoder buffers.
        JpegEncoder encoder;
        const auto file = encoder.encode(rows.constBits(), rows.width(), rows.height(),
                                         static_cast<int>(rows.bytesPerLine()), quality);
        return QByteArray(reinterpret_cast<const char *>(file.data()),
                          static_cast<qsizetype>(file.size()));
    } catch (const AppError &) {
        return {};
    }
}

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>

// The picture a simulated student shows as its screen: colour bars, its name, a clock and the
// frame number, so that a person watching the monitor window sees which student and how fresh.
class ScreenPicture
{
public:
    static QImage draw(const QString &name, const QDateTime &time, QSize size, int frameNumber);
    // The picture as the baseline JPEG file a student sends (quality 1 to 100); empty on failure.
    static QByteArray jpeg(const QImage &picture, int quality);
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "classroom/FrameDecoder.h"
#include "protocol/Chunks.h"

class RosterModel;
class ScreenRequests;

// Rebuilds the screen the monitored student sends to the mouse port and keeps track of which
// student that is: a connection, not a row position, so sorting and departures cannot turn
// it into another student. A datagram shorter than a whole chunk ends a frame, which is then
// decoded off the window's thread. Datagrams from any other address, or while nobody is
// watched, are not taken.
class Monitoring : public QObject
{
    Q_OBJECT

public:
    static constexpr int kChunkSize = chunks::kSize;
    // A sender that never ends its frame cannot take more than this; the frame starts afresh.
    static constexpr qsizetype kStreamLimit = chunks::kMaxFrame;

    // isOwnAddress is asked for datagrams of the monitored student, so it must be cheap: this
    // computer's own are ignored. decode runs the frames' decoding (FrameDecoder's default: a
    // thread of its own).
    // The monitored student is asked through requests, as the monitor window's; the screen wall
    // asks on its own.
    Monitoring(ScreenRequests &requests, std::function<bool(const QString &)> isOwnAddress,
               FrameDecoder::Executor decode = {}, QObject *parent = nullptr);

    // The datagram event of the mouse port: bytes holds NumberBytes of data (nothing when the
    // endpoint's read failed and the count is negative).
    void datagramReceived(int numberBytes, const QString &fromIP, const char *bytes);

    // The row of the student monitored now or last, in display order; -1 when there is none
    // (nobody chosen yet, or its row has gone).
    int MonitorIndex() const;
    // Whether the student of this connection is the one whose datagrams are taken now.
    bool watches(quint64 key) const { return m_watching && key != 0 && m_key == key; }
    // Remembers the student of this connection (RosterModel::key) and takes its datagrams
    // from now on; a key with no row remembers nobody.
    void monitorStudent(quint64 key);
    // The monitor window closed: the student stays remembered, its datagrams are not taken.
    void stopWatching() { m_watching = false; }
    // Where the rotation goes next: the row after the monitored student's, wrapping; when its
    // row has gone, the row that took its place; -1 with no rows.
    int nextRow() const;
    // Asks the monitored student to stop, or to start, sending; nobody remembered: nothing. A
    // student the wall still shows is not stopped.
    void sendNotScreen();
    void sendScreen();
    // The teacher chose the student of this connection: the one remembered is told to stop, this
    // one to send, and its frames are taken from an empty stream.
    void switchTo(quint64 key);
    // The rotation's step: the same, to the student of nextRow().
    void switchToNext();
    // The monitor window closed: the student is told to stop and stays remembered.
    void endWatching();
    // Drops the frame being rebuilt, and any frame not yet shown.
    void clearStream();
    qsizetype streamSize() const { return m_stream.size(); }
    const JpegDecoder::Image &picture() const { return m_frames.picture(); }
    // The size the picture is shown at, in device pixels: frames are decoded no larger than
    // needed to cover it.
    void setPictureSize(int width, int height) { m_frames.setTargetSize(width, height); }

signals:
    // A frame decoded; picture() holds it.
    void pictureChanged();
    // A whole file of the monitored student, as it came, before it is decoded.
    void fileArrived(const QByteArray &file);

private:
    void frameComplete();
    void rowsLeaving(int first, int last);

    const RosterModel &roster() const;

    ScreenRequests &m_requests;
    std::function<bool(const QString &)> m_isOwnAddress;
    QByteArray m_stream;
    FrameDecoder m_frames;
    quint64 m_key = 0;
    QString m_address;
    bool m_watching = false;
    // The position the rotation counts from while no remembered student has a row: 0 at the
    // start (so the first tick goes to row 1), else where the student's row was.
    int m_position = 0;
    bool m_positionIsFree = false;
};

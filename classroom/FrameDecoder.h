#pragma once

#include <QByteArray>
#include <QObject>

#include "classroom/DecodeRunner.h"
#include "protocol/JpegDecoder.h"

// Decodes the monitored student's frames away from the window's thread, so that no frame, of
// whatever size, delays the window, the beacon or the demonstration's tick. One frame is
// decoded at a time; a frame that comes meanwhile waits, and a newer one takes its place. The
// picture is handed back through the event loop.
class FrameDecoder : public QObject
{
    Q_OBJECT

public:
    // Runs one decode; the default runs it on a thread of this decoder's own. Tests may run it
    // where they choose (on the calling thread, the picture is handed back within submit).
    using Executor = DecodeRunner::Executor;

    // Its end waits for the decode in flight, which is bounded by the decoder's own limits.
    explicit FrameDecoder(Executor executor = {}, QObject *parent = nullptr);

    void submit(QByteArray frame);
    // The frames submitted so far belong to a student no longer watched: the waiting one is
    // dropped and the one in flight is not shown.
    void discard();
    // The size the picture is shown at, for the frames decoded from now on.
    void setTargetSize(int width, int height);
    // The last picture shown; it changes only on this thread, with pictureChanged.
    const JpegDecoder::Image &picture() const { return m_picture; }

signals:
    void pictureChanged();

private:
    void start(QByteArray frame);
    void finished(quint64 generation, bool decoded);

    JpegDecoder m_decoder;
    JpegDecoder::Image m_picture;
    QByteArray m_waiting;
    bool m_hasWaiting = false;
    bool m_busy = false;
    quint64 m_generation = 0;
    int m_targetWidth = 0;
    int m_targetHeight = 0;
    DecodeRunner m_runner;
};

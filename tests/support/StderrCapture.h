#pragma once

#include <QString>
#include <cstdio>

// Everything written to standard error (where the event log goes) while it lives, or until
// take().
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture() { take(); }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    // Ends the capture and gives what was written.
    QString take();

private:
    std::FILE *m_file;
    int m_saved = -1;
};

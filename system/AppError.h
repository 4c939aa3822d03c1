#pragma once

#include <QString>
#include <stdexcept>

// A failure that reaches the teacher as the console's error box; the general failure class.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message);
    QString message() const;
};

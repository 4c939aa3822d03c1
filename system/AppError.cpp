#include "system/AppError.h"

AppError::AppError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString AppError::message() const
{
    return QString::fromUtf8(what());
}

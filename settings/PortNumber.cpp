#include "settings/PortNumber.h"

#include "text/IntegerText.h"

namespace portnumber {

std::optional<qint32> parse(const QString &text)
{
    qint32 value = 0;
    if (!integertext::parseInteger(text, value) || value < kLowest || value > kHighest)
        return std::nullopt;
    return value;
}

} // namespace portnumber

#include "ui/AppIcon.h"

namespace {
constexpr char kThemeName[] = "org.velmora.Teacher";
constexpr int kSizes[] = {16, 32, 48, 64, 256};
} // namespace

QIcon appIcon()
{
    // A resource in a static library is linked in only when something names it.
    Q_INIT_RESOURCE(app_icon);
    QIcon builtIn;
    for (const int size : kSizes)
        builtIn.addFile(QStringLiteral(":/icons/org.velmora.Teacher-%1.png").arg(size),
                        QSize(size, size));
    return QIcon::fromTheme(QLatin1String(kThemeName), builtIn);
}

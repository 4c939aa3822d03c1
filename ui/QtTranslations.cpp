#include "ui/QtTranslations.h"

#include "system/EventLog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
constexpr char kCatalogue[] = "qtbase_zh_CN";
}

bool installChineseQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLatin1String(kCatalogue), folder)) {
        delete translator;
        eventlog::warning(QStringLiteral("Qt's Chinese translations (%1.qm) not found in %2; "
                                         "install qt6-translations-l10n")
                              .arg(QLatin1String(kCatalogue), folder));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

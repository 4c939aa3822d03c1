#include "ui/FontSubstitutes.h"

#include <QFont>
#include <QString>
#include <QStringList>

void installFontSubstitutes()
{
    QFont::insertSubstitutions(
        QString::fromUtf8("宋体"),
        QStringList{QStringLiteral("AR PL UMing CN"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(
        QString::fromUtf8("楷体_GB2312"),
        QStringList{QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UMing CN")});
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        QStringList{QStringLiteral("Sans Serif"), QStringLiteral("AR PL UMing CN")});
}

// server.ini reading and writing, on the file's bytes in memory (the file functions only add
// the disk around these): a file as found, then one write. What was written must read back as
// written, every other key must read as before, and no other line may change.
#include "fuzz/FuzzInput.h"
#include "fuzz/SlowestInput.h"
#include "text/ProfileFile.h"

#include <QStringList>
#include <cstdlib>

namespace {

const QStringList kSections = {QStringLiteral("SysInfo"), QStringLiteral("sysinfo"),
                               QStringLiteral("Other"), QStringLiteral(" Other ")};
const QStringList kKeys = {
    QStringLiteral("UDP_Port1"),  QStringLiteral("udp_port1"), QStringLiteral(" Socket_Port "),
    QStringLiteral("ImageSpeed"), QStringLiteral("A"),         QStringLiteral("b")};
const QString kMissing = QStringLiteral("\x01missing");

// The names as the file tells them apart; the written names vary case and blanks around these.
const QStringList kDistinctSections = {QStringLiteral("SysInfo"), QStringLiteral("Other")};
const QStringList kDistinctKeys = {QStringLiteral("UDP_Port1"), QStringLiteral("Socket_Port"),
                                   QStringLiteral("ImageSpeed"), QStringLiteral("A"),
                                   QStringLiteral("b")};

QStringList allValues(const QByteArray &data)
{
    QStringList values;
    for (const QString &section : kDistinctSections) {
        for (const QString &key : kDistinctKeys)
            values.append(profilefile::readFromText(data, section, key, kMissing));
    }
    return values;
}

bool sameName(const QString &a, const QString &b)
{
    return a.trimmed().toUtf8().toUpper() == b.trimmed().toUtf8().toUpper();
}

// Only one line's content may differ: the bytes taken out lie within one line.
bool onlyOneLineChanged(const QByteArray &before, const QByteArray &after)
{
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray removed = before.mid(prefix, before.size() - prefix - suffix);
    return !removed.contains('\n') && !removed.contains('\r');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    FuzzInput input(data, size);
    const std::uint8_t selector = input.byte();
    const QString section = kSections.at(selector % kSections.size());
    const QString key = kKeys.at((selector / 4) % kKeys.size());
    const QByteArray valueBytes = input.lengthPrefixed();
    const QString value = selector & 0x80
                              ? QString(reinterpret_cast<const QChar *>(valueBytes.constData()),
                                        valueBytes.size() / 2)
                              : QString::fromUtf8(valueBytes);
    const QByteArray before = input.rest();

    const QStringList valuesBefore = allValues(before);
    const std::optional<QByteArray> written = profilefile::writeToText(before, section, key, value);
    if (!written)
        return 0;
    const QByteArray &after = *written;
    if (profilefile::readFromText(after, section, key, kMissing) != value)
        std::abort();
    if (!onlyOneLineChanged(before, after))
        std::abort();
    const QStringList valuesAfter = allValues(after);
    for (qsizetype s = 0; s < kDistinctSections.size(); ++s) {
        for (qsizetype k = 0; k < kDistinctKeys.size(); ++k) {
            const qsizetype at = s * kDistinctKeys.size() + k;
            const bool same =
                sameName(kDistinctSections[s], section) && sameName(kDistinctKeys[k], key);
            if (!same && valuesAfter[at] != valuesBefore[at])
                std::abort();
        }
    }
    return 0;
}

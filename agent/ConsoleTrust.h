#pragma once

#include "agent/AgentSettings.h"

#include <QString>

// Which console key the agent trusts on the channel: the admin's ConsoleFingerprint, or with
// TrustOnFirstUse the first key it was shown, pinned in a file only the service (root) may
// change. A pinned key is never given up for another; the student cannot unpin it.
class ConsoleTrust
{
public:
    explicit ConsoleTrust(const AgentSettings &settings);

    // Whether the console presenting this key may be trusted now: the pinned key, or under trust
    // on first use with nothing pinned yet, any.
    bool accepts(const QString &fingerprint) const;
    // The console of this key is in use: a first key is pinned now (in the file, or for this run
    // where the file cannot be written).
    void confirm(const QString &fingerprint);
    // The key trusted: the configured or pinned one; empty while trust on first use waits.
    QString trusted() const { return m_trusted; }

private:
    bool m_firstUse;
    QString m_pinFile;
    QString m_trusted;
};

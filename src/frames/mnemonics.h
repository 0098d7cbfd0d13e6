#pragma once

#include "commandhandler_global.h"

#include <QMap>
#include <QString>

/// The ZAPL command vocabulary: command number <-> mnemonic ("SAP" 5, "GAP" 6, "GetVersion" 136,
/// ...), built once on first use and constant afterwards, so any thread may read it.
class COMMANDHANDLER_EXPORT ZAPLMnemonics
{
public:
    /// Every command number with its mnemonic.
    static const QMap<uchar, QString> &byNumber();
    /// The same pairs, by mnemonic (case-sensitive).
    static const QMap<QString, uchar> &byName();
    /// The mnemonic of a command number; empty when the number has none.
    static QString name(uchar command);
    /// The command number of a mnemonic; -1 when the mnemonic is unknown.
    static int number(const QString &mnemonic);
};

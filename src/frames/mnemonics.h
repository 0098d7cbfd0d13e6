#pragma once

#include "commandhandler_global.h"

#include <QMap>
#include <QString>

// The ZAPL command vocabulary: command number <-> mnemonic, built once.
class COMMANDHANDLER_EXPORT ZAPLMnemonics
{
public:
    static const QMap<uchar, QString> &byNumber();
    static const QMap<QString, uchar> &byName();
    // Empty when the number has no mnemonic.
    static QString name(uchar command);
    // -1 when the mnemonic is unknown.
    static int number(const QString &mnemonic);
};

#include "dispatcher/CommandLine.h"

QString GetParamValue(const QStringList& Args, const QString& Key)
{
    for (int i = 1; i < Args.size(); ++i) {
        const QString& p = Args[i];
        if (p.mid(1, Key.size()).toUpper() == Key.toUpper())
            return p.mid(Key.size() + 2);
    }
    return {};
}

// vexa-sim - lines on standard output and standard error.
//
// Tests and scripts read standard output line by line while the simulator
// runs, so every line is flushed at once. Standard error carries warnings.
#pragma once

#include <cstdio>
#include <QString>

namespace vexa::sim {

inline void printLine(const QString &line)
{
    const QByteArray text = line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

inline void printError(const QString &line)
{
    const QByteArray text = QByteArrayLiteral("vexa-sim: ") + line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

} // namespace vexa::sim

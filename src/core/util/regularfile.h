// VexaHost - reading and replacing the program's own files where the file
// system may hold anything: a named pipe, a device, a folder, a full disk.
#pragma once

#include <QByteArray>
#include <QString>

namespace vexa {

struct RegularFileRead
{
    enum class Status { Read, Missing, NotRegular, TooLarge, Failed };
    Status status = Status::Failed;
    QByteArray bytes;
    QString reason; // for the operator, empty when read
};

// Reads the regular file at `path` (links followed), at most `largestBytes`.
// The open never waits (a named pipe without a writer would block it) and
// anything but a regular file is refused before a byte is read, so a link
// to an endless device neither hangs the caller nor fills its memory.
RegularFileRead readRegularFile(const QString &path, qint64 largestBytes);

// Replaces the file at `path` (the target of a link) by `bytes` as a whole:
// written to a new file beside it, flushed to the disk, then renamed over
// it. Every step is checked; on any failure the old file stays as it was
// and the new one is removed. Refuses to replace anything but a regular
// file (a named pipe stays a pipe). The reason, or an empty text.
QString replaceFile(const QString &path, const QByteArray &bytes);

} // namespace vexa

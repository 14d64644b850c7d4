// VexaHost test helper: a window's controls found the way tools and people
// find them, by their object names (the glossary in docs/DESIGN.md), so
// that no test depends on how the window keeps them.
#pragma once

#include <QLabel>
#include <QObject>
#include <QString>

namespace vexa::test {

// The one descendant of `parent` named `name` that is a T. None, or more
// than one, ends the run with the name and the kind: a test that went on
// would only dereference null, or press a control it did not mean.
template<class T>
T &control(const QObject &parent, const QString &name)
{
    const QList<T *> found = parent.findChildren<T *>(name);
    if (found.size() != 1)
        qFatal("%s has %d %s named \"%s\", the test wants exactly one", qPrintable(parent.objectName()),
               int(found.size()), T::staticMetaObject.className(), qPrintable(name));
    return *found.first();
}

// Status panel `i` of the main window (0 port, 1 baud or USB state, 2 Repeat,
// 3 the lights, ..., 7 the clock).
inline QLabel &statusPanel(const QObject &window, int i)
{
    return control<QLabel>(window, QStringLiteral("StatusPanel%1").arg(i));
}

} // namespace vexa::test

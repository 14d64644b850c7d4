// VexaHost test helper: a window's controls found the way tools and people
// find them, by their object names (the glossary in docs/DESIGN.md), so
// that no test depends on how the window keeps them.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMenu>
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

// The "Port" menu's item for `caption` ("COM3", blanks and '&' aside), or
// null when the menu does not list that port.
inline QAction *portItem(const QObject &window, QString caption)
{
    caption = caption.remove(QLatin1Char('&')).trimmed();
    for (QAction *item : control<QMenu>(window, QStringLiteral("Port1")).actions())
        if (QString(item->text()).remove(QLatin1Char('&')) == caption)
            return item;
    return nullptr;
}

} // namespace vexa::test

// VexaHost - the settings that survive between runs, and their store.
//
// The store holds four sections of text values; integers as decimal text,
// booleans as "0"/"1", the serial number as typed:
//   [Com]       Com Method, Port Number
//   [Baud]      Baud rate
//   [Settings]  DebugOn, Left, Top, AudioOn, LEDOn, address rdr,
//               rdr serial number, Height, Width
//   [Iso Cgf]   ISO Config, ISO AFI Val, ISO AFI Cat, ISO Blk Len, use AFI
//   [Tag Log]   Visible, Window Left, Window Top, Window Width, Window
//               Height, Column Widths (the table's, in pixels, comma
//               separated), Sort Column, Sort Descending
// On Windows the store is the registry key HKCU\SOFTWARE\Kestrune\VexaHost
// through QSettings. Elsewhere it is the text file
// $XDG_CONFIG_HOME/Kestrune/VexaHost.conf, read and written here (QSettings'
// own INI format would escape the blanks in the names), replaced as a whole
// through a temporary file so that neither a crash nor a full disk while
// saving ever damages it. Only a regular file is read or replaced: a named
// pipe or a device there gives the defaults and is left alone.
//
// Reading: names are matched without regard to case or to blanks around
// them (as the registry does); a value that is absent or not a decimal
// integer keeps the default handed in.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "core/codecs/readeroptions.h"

class QSettings;

namespace vexa {

// Where the Tag Log window was and how it looked; a width of 0 means it
// was never placed (it then opens beside the main window).
struct TagLogPlacement
{
    bool visible = false;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    QList<int> columnWidths;
    int sortColumn = 2; // the table's column, counted from 0: First Seen
    bool sortDescending = false;

    bool operator==(const TagLogPlacement &) const = default;
};

// Where the Tag Memory window was; a width of 0 means it was never placed
// (the section is then not written at all).
struct TagMemoryPlacement
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const TagMemoryPlacement &) const = default;
};

struct StoredSettings
{
    static constexpr int kDesignWidth = 678;
    static constexpr int kDesignHeight = 583;

    int comMethod = 0; // 0 serial port, anything else USB
    int portNumber = 1;
    int baudRate = 38400;
    bool debugOn = false; // message view shown
    int left = 0;
    int top = 0;
    int height = kDesignHeight; // without the message view
    int width = kDesignWidth;
    ReaderOptions options;
    TagLogPlacement tagLog;
    TagMemoryPlacement tagMemory;
};

struct SettingsValue
{
    QString section;
    QString name;
    QString value;
};
using SettingsValues = QList<SettingsValue>;

// The values of `settings`, section by section, in the order they are written.
SettingsValues settingsToValues(const StoredSettings &settings);
// Each known value found in `values` replaces its default.
StoredSettings settingsFromValues(const SettingsValues &values, const StoredSettings &defaults = {});

struct ParsedSettings
{
    SettingsValues values;
    QString error; // empty when the text is a sound settings file
};
// The settings file's text: "[Section]" lines, "Name=Value" lines, blank
// lines and comment lines (";" or "#"). Anything else makes it damaged.
ParsedSettings parseSettingsText(const QByteArray &text);
QByteArray settingsText(const SettingsValues &values);

// The same values through QSettings (the registry on Windows).
StoredSettings readSettings(QSettings &store, const StoredSettings &defaults = {});
void writeSettings(QSettings &store, const StoredSettings &settings);

struct LoadedSettings
{
    StoredSettings settings;
    QString problem; // a line for the operator's terminal; empty when all went well
    bool notAFile = false; // a named pipe, a device or a folder stands there
};

QString settingsFilePath();
LoadedSettings loadSettingsFile(const QString &path, const StoredSettings &defaults = {});
// The problem, or an empty text when the file was replaced.
QString saveSettingsFile(const QString &path, const StoredSettings &settings);

// The platform's store: the registry on Windows, settingsFilePath() elsewhere.
LoadedSettings loadSettings(const StoredSettings &defaults = {});
QString saveSettings(const StoredSettings &settings);

} // namespace vexa

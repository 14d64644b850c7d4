// VexaHost end-to-end helper: vexa-sim on a pseudo-terminal and the real
// main window bound to its port, with the waits every such test begins with.
// A test class derives from it next to QObject and calls closeAll() in its
// cleanup().
#pragma once

#include <memory>

#include <QLabel>
#include <QStringList>

// What every end-to-end test reaches: the window, its panes, panels and link.
#include "core/link/readerlink.h"
#include "core/link/serialtransport.h"
#include "controls.h"
#include "fakes.h"
#include "core/session/commandcycle.h"
#include "ui/window/mainwindow.h"
#include "ui/window/responsepane.h"
#include "simprocess.h"

namespace vexa::test {

constexpr int kAnswerMs = 5000;   // an answer, with a wide margin for a loaded machine
constexpr int kTimeoutMs = 10000; // the 2000 ms time-out, with margin

// The response pane's lines, newest first, "# " standing for a heading's
// time stamp.
QStringList paneLines(MainWindow &w);
bool paneHas(MainWindow &w, const QString &line);
// The text of status panel `i`.
QString panel(MainWindow &w, int i);
// The file's bytes; empty if it cannot be read.
QByteArray fileBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);

class E2eFixture
{
protected:
    // Starts vexa-sim with `args`; with --usb, true only once its USB reader
    // listens. Failures are logged as warnings.
    bool startSim(const QStringList &args = {});
    // Makes the main window (not shown yet), asking `prompt`, or m_prompt
    // (made afresh) when there is none.
    MainWindow &makeWindow(OperatorPrompt *prompt = nullptr);
    // Shows the window; true once it has chosen COM1 and ended its start
    // (rate and setup, after the first paint).
    bool showWindow();
    // Waits until the reader has had the serial start's two requests (rate,
    // then setup) and the link is idle again.
    bool waitForStartExchange();
    bool waitUntilIdle();
    // Closes and drops the window, then the simulator and the prompt.
    void closeAll();

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace vexa::test

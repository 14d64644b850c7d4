// vexactl - the text of --help: the program's options, commands and exit
// statuses, or one command's usage line and summary.
#include "commandline.h"

#include "commandtable.h"
#include "core/codecs/configframes.h"

namespace vexa::ctl {

QString helpText(const QString &topic)
{
    for (const CommandForm &form : commands()) {
        if (topic.isEmpty() || topic != QLatin1String(form.words))
            continue;
        QString text = QStringLiteral("Usage: %1\n\n%2.\n").arg(usageLine(form), QString::fromLatin1(form.summary));
        if (topic == QLatin1String("wiegand")) {
            text += QStringLiteral("\nModes:\n");
            const QStringList captions = wiegandModeCaptions();
            for (int i = 0; i < captions.size(); ++i)
                text += QStringLiteral("  %1  %2\n").arg(i).arg(captions.at(i));
        }
        return text;
    }
    QString text = QStringLiteral(
        "Usage: vexactl [OPTIONS] COMMAND [ARGUMENTS]\n"
        "\n"
        "Talks to a Vexa reader without a window: one command, its report on standard output.\n"
        "\n"
        "Connection (without one, the window's stored interface and port):\n"
        "  --port COMn       a COM port, through the port folder or the built-in mapping\n"
        "  --device PATH     a serial device\n"
        "  --usb             the USB reader\n"
        "  --baud RATE       the rate to talk at: 9600, 19200, 38400 or 57600\n"
        "                    (default: the window's stored rate, else 38400)\n"
        "  --address SERIAL  addressed frames, to the reader with this serial number\n"
        "  --timeout MS      how long to wait for an answer (default 2000)\n"
        "\n"
        "Output:\n"
        "  --json            one JSON object per answer (JSON Lines)\n"
        "  --frames          the frames sent and received, on standard error\n"
        "  --log FILE.csv    every tag the answers named, as CSV, written when the run ends\n"
        "  --yes             confirms a lock command, or a restore's locks, AFI and DSFID\n"
        "  --repeat N|forever  sends the command N times, or until Ctrl-C or SIGTERM;\n"
        "                    a summary line goes to standard error at the end\n"
        "  --interval MS     the pause between the end of one exchange and the next\n"
        "  --events          with --repeat: the tag events (arrive, read, leave) as JSON Lines\n"
        "                    instead of the reports\n"
        "  --absence MS      with --events: how long a tag not named counts as present\n"
        "                    before it leaves (default 5000)\n"
        "  --fast            an answer is complete once its length is reached and its check\n"
        "                    passes, instead of after 100 ms of silence\n"
        "  --keep-going      run: goes on after a failing line\n"
        "  --help            this text, or a command's (vexactl COMMAND --help)\n"
        "  --version         the program's name and version\n"
        "\n"
        "Commands:\n");
    for (const CommandForm &form : commands()) {
        QString left = QString::fromLatin1(form.words);
        if (*form.arguments)
            left += QLatin1Char(' ') + QString::fromLatin1(form.arguments);
        text += QStringLiteral("  %1 %2\n").arg(left, -28).arg(QString::fromLatin1(form.summary));
    }
    text += QStringLiteral(
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  the reader answered with an error status\n"
        "  2  usage or input error\n"
        "  3  no answer\n"
        "  4  port or device not available\n"
        "  5  firmware upgrade failed\n");
    return text;
}

} // namespace vexa::ctl

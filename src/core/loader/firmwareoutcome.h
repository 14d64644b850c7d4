// VexaHost - how a firmware upgrade ended. A window shows its own texts on
// the way; a program without one (vexactl) takes its exit status from this.
#pragma once

#include <QString>

namespace vexa {

enum class FirmwareOutcome {
    // The image was acknowledged to its last packet, the go command went out
    // and the reader's application answered its version query.
    Succeeded,
    // The firmware file was missing, of the wrong kind or unreadable.
    RefusedFile,
    // The boot loader never answered the capture.
    NoLoader,
    // The boot loader answered with refusals: to the capture, or five in a
    // row to one packet.
    LoaderRefused,
    // The line failed, or the loader stopped answering in the middle.
    LineLost,
    // The go command went out, but the application did not answer after it
    // (or could not be asked): the reader may still be in its boot loader.
    NoApplication,
    // The operator declined the warning or the file choice, or left the
    // loader before anything was programmed.
    Cancelled,
};

struct FirmwareEnd
{
    FirmwareOutcome outcome = FirmwareOutcome::Cancelled;
    QString reason; // one line for the operator; empty for Succeeded
};

} // namespace vexa

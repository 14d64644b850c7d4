// VexaHost - what a tag page needs from the main window: the session to send
// its requests through, the reader options, and the operator's message boxes.
#pragma once

namespace vexa {

class ReaderSession;
struct ReaderOptions;
class OperatorPrompt;

struct TagContext
{
    ReaderSession &session;
    const ReaderOptions &options;
    OperatorPrompt &prompt;
};

} // namespace vexa

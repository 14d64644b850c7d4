// VexaHost - what a tag page needs from the main window: the link to build
// and send frames with, the reader options, and the operator's message boxes.
#pragma once

namespace vexa {

class ReaderLink;
struct ReaderOptions;
class OperatorPrompt;

struct TagContext
{
    ReaderLink &link;
    const ReaderOptions &options;
    OperatorPrompt &prompt;
};

} // namespace vexa

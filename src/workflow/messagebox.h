// The desktop's message sink: every message of the engine and the windows becomes a
// QMessageBox over the active window, with the caption, icon and buttons it carries.
#pragma once

#include "foundation/messages.h"

namespace qm::desktop {

class MessageBoxSink : public MessageSink {
public:
    MsgAnswer show(const Message& m) override;
};

}  // namespace qm::desktop

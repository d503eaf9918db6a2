// Message sinks.
#include "foundation/messages.h"

#include <atomic>
#include <cstdio>

namespace qm {

namespace {
StderrMessageSink& defaultSink() {
    static StderrMessageSink sink;
    return sink;
}
std::atomic<MessageSink*> g_sink{nullptr};
}  // namespace

MsgAnswer StderrMessageSink::show(const Message& m) {
    std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
    std::fflush(stderr);
    return m.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

MessageSink& messages() {
    MessageSink* s = g_sink.load();
    return s ? *s : defaultSink();
}

MessageSink* setMessageSink(MessageSink* sink) {
    MessageSink* previous = g_sink.exchange(sink);
    return previous ? previous : &defaultSink();
}

MsgAnswer showMessage(const std::string& caption, const std::string& text, MsgIcon icon, MsgButtons buttons) {
    Message m;
    m.caption = caption;
    m.text = text;
    m.icon = icon;
    m.buttons = buttons;
    return messages().show(m);
}

void showFailure(const std::string& routine, int number, const std::string& description) {
    showMessage(routine, std::to_string(number) + " " + description, MsgIcon::Critical, MsgButtons::Ok);
}

}  // namespace qm

// The one way the engine tells the user something that the desktop shows in a box.
// The desktop shows a message box, the command-line program writes "caption: text" to
// stderr, tests record the messages.
#pragma once

#include <string>
#include <vector>

namespace qm {

enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct Message {
    std::string caption;
    std::string text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MsgAnswer show(const Message& m) = 0;
};

// Writes "caption: text" to stderr; a Yes/No question is answered No.
class StderrMessageSink : public MessageSink {
public:
    MsgAnswer show(const Message& m) override;
};

// Keeps every message; answers Yes/No questions with a preset answer.
class RecordingMessageSink : public MessageSink {
public:
    MsgAnswer show(const Message& m) override { shown.push_back(m); return m.buttons == MsgButtons::YesNo ? answer : MsgAnswer::Ok; }
    std::vector<Message> shown;
    MsgAnswer answer = MsgAnswer::No;
};

// The sink in force (a StderrMessageSink until one is installed).
MessageSink& messages();
// Installs a sink (not owned); nullptr returns to the default. Answers the previous one.
MessageSink* setMessageSink(MessageSink* sink);

// Shorthands.
MsgAnswer showMessage(const std::string& caption, const std::string& text,
                      MsgIcon icon = MsgIcon::Exclamation, MsgButtons buttons = MsgButtons::Ok);
// The box of a failure caught at the end of a routine: "<number> <description>", critical.
void showFailure(const std::string& routine, int number, const std::string& description);

// What a system error number means, in Japanese ("アクセスが拒否されました" for EACCES, ...);
// numbers without a text of their own give "システムエラー（番号 n）".
std::string systemErrorText(int err);
// "<what>: <path>（<systemErrorText(err)>）", the form of every message about a file or
// folder that the system refused.
std::string systemErrorMessage(const std::string& what, const std::string& path, int err);

}  // namespace qm

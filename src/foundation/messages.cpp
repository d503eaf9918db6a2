// Message sinks.
#include "foundation/messages.h"

#include <atomic>
#include <cerrno>
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

std::string systemErrorText(int err) {
    switch (err) {
        case EACCES:
        case EPERM: return "アクセスが拒否されました";
        case ENOENT: return "ファイル又はフォルダが見つかりません";
        case ENOTDIR: return "パスの途中にフォルダでないものがあります";
        case EISDIR: return "フォルダです";
        case ENAMETOOLONG: return "パス又はファイル名が長すぎます";
        case ELOOP: return "シンボリックリンクのため使用できません";
        case ENOSPC: return "ディスクの空き容量が不足しています";
#ifdef EDQUOT
        case EDQUOT: return "ディスク使用量の上限を超えています";
#endif
        case EROFS: return "読み取り専用のファイルシステムです";
        case EIO: return "入出力エラーが発生しました";
        case EFBIG: return "ファイルが大きすぎます";
        case EEXIST: return "既に存在します";
        case ENOTEMPTY: return "フォルダが空ではありません";
        case EBUSY: return "使用中です";
        case EMFILE:
        case ENFILE: return "開いているファイルが多すぎます";
        case ENOMEM: return "メモリが不足しています";
        case EINVAL: return "指定が正しくありません";
        case ENXIO:
        case ENODEV: return "装置が見つかりません";
        case ETXTBSY: return "実行中のファイルです";
        case EWOULDBLOCK: return "他のプログラムが使用中です";
        case ENOLCK: return "ロックできません";
#ifdef ESTALE
        case ESTALE: return "ネットワーク上のファイルが無効になりました";
#endif
        case ETIMEDOUT: return "応答がありません（タイムアウト）";
        default: return "システムエラー（番号 " + std::to_string(err) + "）";
    }
}

std::string systemErrorMessage(const std::string& what, const std::string& path, int err) {
    return what + ": " + path + "（" + systemErrorText(err) + "）";
}

}  // namespace qm

#include "support/fakes.h"
#include "support/fake_devices.h"

#include <QHostAddress>

namespace quorvex::fakes {

void ScriptedPrompts::message(const QString& text, Icon icon, const QString& caption) {
    messages.push_back({text, icon, caption});
    if (onMessage)
        onMessage(messages.back());
}

bool ScriptedPrompts::askYesNo(const QString& text, const QString& caption) {
    questions.push_back({text, Icon::Question, caption});
    if (onQuestion)
        onQuestion(questions.back());
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<QString> ScriptedDialogs::show(const FileDialogRequest& request) {
    requests.push_back(request);
    if (onShow)
        onShow(request);
    if (answers.empty())
        return std::nullopt;
    const std::optional<QString> path = answers.front();
    answers.pop_front();
    return path;
}

QString TableResolver::resolve(const QString& host) {
    ++lookups;
    QHostAddress literal;
    if (literal.setAddress(host) && literal.protocol() == QAbstractSocket::IPv4Protocol)
        return literal.toString();
    const auto it = names.constFind(host);
    if (it == names.constEnd())
        Raise(FailureNo::WsaHostNotFound, QStringLiteral("Host not found"));
    return it.value();
}

} // namespace quorvex::fakes

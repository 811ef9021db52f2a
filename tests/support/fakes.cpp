#include "support/fakes.h"

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

FileDialogAnswer ScriptedDialogs::show(const FileDialogRequest& request) {
    requests.push_back(request);
    if (onShow)
        onShow(request);
    if (answers.empty())
        return {};
    const std::optional<QString> path = answers.front();
    answers.pop_front();
    if (!path)
        return {};
    FileDialogAnswer a;
    a.chosen = true;
    a.files = QStringList{*path};
    a.filterIndex = request.filterIndex;
    a.flags = request.flags;
    return a;
}

} // namespace quorvex::fakes

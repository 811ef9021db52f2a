#include "support/fakes.h"

namespace quorvex::fakes {

void ScriptedPrompts::message(const QString& text, Icon icon, const QString& caption) {
    messages.push_back({text, icon, caption});
    if (onMessage)
        onMessage(messages.back());
}

bool ScriptedPrompts::askYesNo(const QString& text, const QString& caption) {
    questions.push_back({text, Icon::Question, caption});
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

} // namespace quorvex::fakes

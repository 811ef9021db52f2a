#include "base/prompts.h"
#include "base/identity.h"

namespace quorvex {

void ShowInfo(Prompts& p, const QString& text) {
    p.message(text, Icon::Information, AppTitle());
}
void ShowError(Prompts& p, const QString& text) {
    p.message(text, Icon::Error, AppTitle());
}
bool AskYesNo(Prompts& p, const QString& text) {
    return p.askYesNo(text, AppTitle());
}

} // namespace quorvex

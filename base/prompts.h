#pragma once
// What the core asks of the person at the bench: message boxes, questions, the log viewer.
// The window implements it with Qt; tests answer from a script.
#include <QString>

namespace quorvex {

enum class Icon { Information, Error, Question };

class Prompts {
  public:
    virtual ~Prompts() = default;
    // A box with one OK button; returns when the user has closed it.
    virtual void message(const QString& text, Icon icon, const QString& caption) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
    // Opens a file in the desktop's viewer for its kind (the error log, in a text viewer).
    virtual void openInViewer(const QString& path) = 0;
};

// Boxes captioned with the application title, as every box of the program is.
void ShowInfo(Prompts& p, const QString& text);
void ShowError(Prompts& p, const QString& text);
bool AskYesNo(Prompts& p, const QString& text);

} // namespace quorvex

#pragma once
// A file dialog that answers from a script and remembers what it was asked, for the maker's
// tests: each answer is a path, or none for a cancel.
#include "app/file_dialogs.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace quorvex::testing {

class ScriptedDialogs : public FileDialogBackend {
  public:
    FileDialogAnswer show(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (onShow)
            onShow(request);
        if (answers.empty() || !answers.front()) {
            if (!answers.empty())
                answers.pop_front();
            return {};
        }
        FileDialogAnswer a;
        a.chosen = true;
        a.files = {*answers.front()};
        a.filterIndex = request.filterIndex;
        a.flags = request.flags;
        answers.pop_front();
        return a;
    }

    void choose(const QString& path) { answers.emplace_back(path); }
    void cancel() { answers.emplace_back(std::nullopt); }

    std::deque<std::optional<QString>> answers; // runs dry into cancels
    std::vector<FileDialogRequest> requests;
    // Runs while a dialog is up, to look at the world at that moment.
    std::function<void(const FileDialogRequest&)> onShow;
};

} // namespace quorvex::testing

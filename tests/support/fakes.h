#pragma once
// Test doubles for the core's view of the window, the person at the bench and the log.
#include "base/failure.h"
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "flow/window_port.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

// Readable failure messages for the texts and bytes the tests compare.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << b.toHex(' ').toStdString();
}

namespace quorvex::fakes {

class RecordingLog : public ErrorSink {
  public:
    void LogError(const QString& message) override { records.push_back(message); }
    QStringList records;
};

struct ShownMessage {
    QString text;
    Icon icon;
    QString caption;
};

// Answers questions from a queue (Yes when it runs dry, unless told otherwise) and records
// every box shown.
class ScriptedPrompts : public Prompts {
  public:
    void message(const QString& text, Icon icon, const QString& caption) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void openInViewer(const QString& path) override { viewed.push_back(path); }

    std::deque<bool> answers;
    bool defaultAnswer = true;
    std::vector<ShownMessage> messages;
    std::vector<ShownMessage> questions;
    QStringList viewed;
    // Run when a box or a question is shown, before it "closes" (to look at the world then).
    std::function<void(const ShownMessage&)> onMessage;
    std::function<void(const ShownMessage&)> onQuestion;
};

// A file dialog that answers from a script and remembers what it was asked: each answer is a
// path, or none for a cancel; a dry script cancels.
class ScriptedDialogs : public FileDialogBackend {
  public:
    FileDialogAnswer show(const FileDialogRequest& request) override;
    void choose(const QString& path) { answers.emplace_back(path); }
    void cancel() { answers.emplace_back(std::nullopt); }

    std::deque<std::optional<QString>> answers;
    std::vector<FileDialogRequest> requests;
    // Runs while a dialog is up, to look at the world at that moment.
    std::function<void(const FileDialogRequest&)> onShow;
};

class FakeProgress : public ProgressDisplay {
  public:
    void show() override {
        visible = true;
        ++shows;
    }
    void fill(double f) override {
        fills.push_back(f);
        if (onFill)
            onFill();
    }
    void hide() override {
        visible = false;
        ++hides;
    }
    bool visible = false;
    int shows = 0;
    int hides = 0;
    std::vector<double> fills;
    // Runs at each fill, to look at the world while the work is under way.
    std::function<void()> onFill;
};

class FakeWindow : public WindowPort {
  public:
    void EnableControls(bool enabled) override {
        controlsEnabled = enabled;
        enableCalls.push_back(enabled);
    }
    void setUpdateCaption(const QString& c) override {
        caption = c;
        captions << c;
    }
    QString updateCaption() const override { return caption; }
    void setUpdateVisible(bool v) override { updateVisible = v; }
    void setMessage(const QString& t) override {
        message = t;
        messageHistory << t;
    }
    void setStatus(const QString& t) override {
        statusText = t;
        statusHistory << t;
    }
    QString status() const override { return statusText; }
    void setSerialPanelVisible(bool v) override { serialPanel = v; }
    void setEthPanelVisible(bool v) override { ethPanel = v; }
    QString targetAddress() const override { return address; }
    void clearPorts() override {
        ports.clear();
        tooltips.clear();
        selected = -1;
    }
    void addPort(const QString& t, const QString& tip) override {
        ports << t;
        tooltips << tip;
    }
    int portCount() const override { return int(ports.size()); }
    void selectPort(int i) override { selected = i; }
    int selectedPortIndex() const override { return selected; }
    QString selectedPortText() const override {
        return selected >= 0 && selected < ports.size() ? ports.at(selected) : QString();
    }
    QString selectedPortDevice() const override {
        return selected >= 0 && selected < tooltips.size() ? tooltips.at(selected) : QString();
    }
    void setBusyPointer(bool b) override { busy = b; }
    void restoreAndRaise() override { ++raised; }
    void closeWindow() override { ++closed; }
    ProgressDisplay& progress() override { return progressBar; }

    bool controlsEnabled = true;
    std::vector<bool> enableCalls;
    QString caption = QStringLiteral("Browse for DFF file");
    QStringList captions;
    bool updateVisible = true;
    QString message;
    QStringList messageHistory;
    QString statusText = QStringLiteral("Status: Ready.");
    QStringList statusHistory;
    bool serialPanel = false;
    bool ethPanel = false;
    QString address = QStringLiteral("127.0.0.1");
    QStringList ports;
    QStringList tooltips;
    int selected = -1;
    bool busy = false;
    int raised = 0;
    int closed = 0;
    FakeProgress progressBar;
};

} // namespace quorvex::fakes

#pragma once
// Test doubles for the core's view of the window, the person at the bench and the log.
#include "base/failure.h"
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "flow/report.h"
#include "support/qt_printers.h"
#include "support/recording_log.h"
#include "ui/commands/window_port.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

namespace quorvex::fakes {

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
    std::optional<QString> show(const FileDialogRequest& request) override;
    void choose(const QString& path) { answers.emplace_back(path); }
    void cancel() { answers.emplace_back(std::nullopt); }

    std::deque<std::optional<QString>> answers;
    std::vector<FileDialogRequest> requests;
    // Runs while a dialog is up, to look at the world at that moment.
    std::function<void(const FileDialogRequest&)> onShow;
};

// A use case's report for a technician who confirms every question; keeps the stages.
class ConfirmingReport : public Report {
  public:
    void stage(const QString& text) override { stages << text; }
    void progress(qint64, qint64) override {}
    void tell(const QString& text, Icon, const QString&) override { told << text; }
    bool ask(const QString&) override { return true; }
    QStringList stages;
    QStringList told;
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
    void lock(Lock how) override {
        controlsEnabled = how == Lock::None;
        enableCalls.push_back(controlsEnabled);
        updateVisible = how != Lock::Working;
    }
    void showBusy(bool busy) override { busyShown = busy; }
    void setText(WindowText where, const QString& t) override {
        switch (where) {
        case WindowText::Caption:
            caption = t;
            captions << t;
            break;
        case WindowText::Message:
            message = t;
            messageHistory << t;
            break;
        case WindowText::Status:
        case WindowText::Step:
            setStatus(t);
            break;
        }
    }
    // Every status text, steps included, as it comes.
    virtual void setStatus(const QString& t) {
        statusText = t;
        statusHistory << t;
    }
    QString status() const { return statusText; }
    void showMedium(Medium m) override {
        serialPanel = m == Medium::Serial;
        ethPanel = m == Medium::Network;
    }
    PortList portList() const override {
        PortList list;
        for (int i = 0; i < ports.size(); ++i)
            list.entries << PortEntry{0, ports.at(i),
                                      i < tooltips.size() ? tooltips.at(i) : QString()};
        list.chosen = selected;
        return list;
    }
    void setPortList(const PortList& list) override {
        ports.clear();
        tooltips.clear();
        for (const PortEntry& e : list.entries) {
            ports << e.text;
            tooltips << e.device;
        }
        selected = list.chosen;
    }
    QString targetAddress() const override { return address; }
    void restoreAndRaise() override { ++raised; }
    void closeWindow() override { ++closed; }
    ProgressDisplay& progress() override { return progressBar; }

    bool controlsEnabled = true;
    std::vector<bool> enableCalls;
    bool busyShown = false;
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
    int raised = 0;
    int closed = 0;
    FakeProgress progressBar;
};

} // namespace quorvex::fakes

#pragma once
// What both picture tools need: a window that answers Yes and picks one file, time for it to
// draw, and a picture of it saved. Their messages carry the program's own name.
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "ui/frm_fw_updater.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

namespace quorvex::shots {

inline const char* Tool() {
    static const QByteArray name = QCoreApplication::applicationName().toLocal8Bit();
    return name.constData();
}

class YesPrompts : public Prompts {
  public:
    void message(const QString& text, Icon, const QString&) override {
        std::fprintf(stderr, "%s: message: %s\n", Tool(), qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&) override { return true; }
    void openInViewer(const QString&) override {}
};

class OneFile : public FileDialogBackend {
  public:
    QString path;
    std::optional<QString> show(const FileDialogRequest&) override { return path; }
};

// Lets the window draw for `ms` milliseconds, or until `done` holds.
template <typename Done> bool RunFor(int ms, Done done) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done())
            return true;
        QThread::msleep(10);
    }
    return done();
}

// A click's work (a load) runs on the window's worker: the picture waits for its end.
inline bool RunUntilIdle(FrmFWUpdater& form) {
    return RunFor(20000, [&] { return !form.working(); });
}

inline bool Save(FrmFWUpdater& form, const QString& folder, const char* name) {
    RunFor(300, [] { return false; });
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "%s: cannot write %s\n", Tool(), qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace quorvex::shots

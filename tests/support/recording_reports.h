#pragma once
// Reports that record what the serial flash and the TFTP transfer tell, in the terms of their
// own layer: no window, no boxes, no wording of a front end.
#include "net/tftp_transfer.h"
#include "serial/flash_report.h"
#include "support/qt_printers.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quorvex::fakes {

// Every call of a serial flash's report, in order.
class RecordingFlashReport : public FlashReport {
  public:
    enum class Kind { Message, Progress, Error, Info };
    struct Call {
        Kind kind;
        QString text;
        QString caption; // an error's
        qint64 done = 0;
        qint64 total = 0;
    };
    struct Step {
        qint64 done;
        qint64 total;
    };

    void message(const QString& text) override { calls.push_back({Kind::Message, text, {}}); }
    void progress(qint64 done, qint64 total) override {
        calls.push_back({Kind::Progress, {}, {}, done, total});
    }
    void error(const QString& text, const QString& caption) override {
        calls.push_back({Kind::Error, text, caption});
    }
    void info(const QString& text) override { calls.push_back({Kind::Info, text, {}}); }

    // The texts of the messages, in order.
    QStringList messages() const {
        QStringList out;
        for (const Call& c : calls)
            if (c.kind == Kind::Message)
                out << c.text;
        return out;
    }
    QString lastMessage() const {
        const QStringList all = messages();
        return all.isEmpty() ? QString() : all.back();
    }
    // The errors and the notices, in order: what a person is told.
    std::vector<Call> told() const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.kind == Kind::Error || c.kind == Kind::Info)
                out.push_back(c);
        return out;
    }
    std::vector<Step> progressSteps() const {
        std::vector<Step> out;
        for (const Call& c : calls)
            if (c.kind == Kind::Progress)
                out.push_back({c.done, c.total});
        return out;
    }

    std::vector<Call> calls;
};

// The texts of a TFTP transfer's statuses and steps as they come; read the record once the
// transfer is over.
class RecordingTftpReport : public TftpReport {
  public:
    void status(const QString& text) override { texts << text; }
    void step(int, const QString& text) override {
        texts << text;
        steps << text;
    }

    QString last() const { return texts.isEmpty() ? QString() : texts.back(); }

    QStringList texts; // statuses and steps
    QStringList steps;
};

} // namespace quorvex::fakes

// The upload to one unit, against a simulated unit on loopback: what it reports to a front end.
#include "flow/upload.h"
#include "net/simulated_unit.h"
#include "support/fakes.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

using namespace quorvex;

namespace {

struct RecordingReport : Report {
    void stage(const QString& text) override { stages << text; }
    void progress(qint64 done, qint64 total) override { steps.emplace_back(done, total); }
    void tell(const QString& text, Icon, const QString&) override { told << text; }
    bool ask(const QString&) override { return true; }

    QStringList stages;
    std::vector<std::pair<qint64, qint64>> steps;
    QStringList told;
};

} // namespace

// The status line's texts are stages; each block sent is progress out of the blocks the image
// makes, up to the empty block that closes an image of whole blocks.
TEST(UploadToUnit, ReportsTheStatusTextsAsStagesAndEveryBlockSentAsProgress) {
    struct Row {
        int size;
        std::vector<std::pair<qint64, qint64>> steps;
    };
    const Row rows[] = {{1000, {{1, 2}, {2, 2}}}, {1024, {{1, 3}, {2, 3}, {3, 3}}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        quorvex::testing::SimulatedUnit unit;
        LoadedFirmware fw;
        fw.Header = DFFHeader::Of(QStringLiteral("NYX2"), 2, 10, NetworkChipId, 3);
        fw.ProgramImage = QByteArray(row.size, '\x5A');
        RecordingReport report;
        fakes::RecordingLog log;

        // As a front end runs it: on a thread of its own, while this one runs the unit.
        TftpOutcome outcome = TftpOutcome::None;
        std::unique_ptr<QThread> upload(QThread::create([&] {
            outcome =
                UploadToUnit(fw, QStringLiteral("127.0.0.1"), report, log, unit.port()).outcome;
        }));
        QEventLoop loop;
        QObject::connect(upload.get(), &QThread::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        upload->start();
        loop.exec();
        ASSERT_TRUE(upload->wait(10000));
        EXPECT_EQ(outcome, TftpOutcome::Finished);
        EXPECT_EQ(report.stages, QStringList({"Status: Awaiting response from 127.0.0.1...",
                                              "Status: Finished.  Ready."}));
        EXPECT_EQ(report.steps, row.steps);
        EXPECT_TRUE(report.told.isEmpty());
        EXPECT_EQ(unit.file, fw.ProgramImage);
        EXPECT_TRUE(log.records.isEmpty()) << log.records.join('\n').toStdString();
    }
}

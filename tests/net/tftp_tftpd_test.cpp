// The TFTP client against a real server: tftpd-hpa on loopback must store exactly the image.
#include "net_rig.h"
#include "support/tftpd_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

QByteArray Image(int size) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 31 + i / 509) & 0xFF);
    return image;
}

class TftpdUpload : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        if (!TftpdServer::Installed())
            // scripts/test installs it: a missing server is a broken set-up, not a pass.
            FAIL() << TftpdServer::Program << " is missing: install the tftpd-hpa package";
        const QString why = server.start();
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }
    TftpdServer server;
};

} // namespace

TEST_P(TftpdUpload, TheServerStoresExactlyTheImage) {
    const int size = GetParam();
    const QByteArray image = Image(size);
    ClientRig rig(image, server.port(), 3000);
    ASSERT_TRUE(rig.uploadAndWait(30000));

    // The steps climb from the first block to the last, and the last one comes before
    // "Finished".
    const int blocks = size / 512 + 1;
    const QStringList& history = rig.report.texts;
    ASSERT_GE(history.size(), 3);
    EXPECT_EQ(history.front(), QStringLiteral("Status: Awaiting response from 127.0.0.1..."));
    EXPECT_EQ(history.back(), QStringLiteral("Status: Finished.  Ready."));
    QList<int> shown;
    for (const QString& step : history.mid(1, history.size() - 2)) {
        ASSERT_TRUE(step.startsWith(QStringLiteral("Status: Transmitting block #")))
            << step.toStdString();
        shown << step.mid(step.indexOf('#') + 1).toInt();
    }
    EXPECT_EQ(shown.front(), 1);
    EXPECT_EQ(shown.back(), blocks);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()) &&
                std::adjacent_find(shown.begin(), shown.end()) == shown.end())
        << history.join('\n').toStdString();
    EXPECT_EQ(rig.outcome, TftpOutcome::Finished);
    EXPECT_TRUE(rig.log.records.isEmpty()) << rig.log.records.join('\n').toStdString();

    // The server acknowledges a block once it has written it, so at "Finished" the file is
    // whole; allow it a moment to close the file.
    const QString stored = server.pathOf(QStringLiteral("NYX2"));
    EXPECT_TRUE(WaitUntil([&] { return QFileInfo(stored).size() == size; }, 2000))
        << "stored " << QFileInfo(stored).size() << " bytes of " << size;
    QFile file(stored);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == image) << "the stored file differs from the image";
}

INSTANTIATE_TEST_SUITE_P(Sizes, TftpdUpload, ::testing::Values(1000, 1024, 513, 0, 1024 * 1024),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return "Bytes" + std::to_string(p.param);
                         });

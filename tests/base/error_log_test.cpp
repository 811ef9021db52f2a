#include "base/error_log.h"
#include "support/fakes.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include "support/unprivileged.h"
#include <unistd.h>
#endif

using namespace quorvex;

namespace {

class ErrorLogTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    fakes::ScriptedPrompts prompts;
    ErrorLog log{dir.path(), prompts, [] { return QDateTime(QDate(2026, 12, 6), QTime(5, 30)); }};

    QByteArray contents() const {
        QFile f(log.path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& bytes) {
        QFile f(log.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // A log of exactly `size` bytes whose last line is "1.1.0 120626 0530 old record".
    void writeLogOfSize(qint64 size) {
        const QByteArray head = "Quorvex Error Log\r\n" + QByteArray(20, '=') + "\r\n";
        const QByteArray last = "1.1.0 120626 0530 old record\r\n";
        QByteArray filler(size - head.size() - last.size(), 'x');
        filler[filler.size() - 2] = '\r';
        filler[filler.size() - 1] = '\n';
        writeFile(head + filler + last);
        ASSERT_EQ(QFileInfo(log.path()).size(), size);
    }
};

TEST_F(ErrorLogTest, LivesBesideTheProgramWithTheNativeSeparator) {
    EXPECT_EQ(log.path(), QDir::toNativeSeparators(dir.path() + "/ErrorLog.txt"));
}

TEST_F(ErrorLogTest, FirstRecordWritesHeaderSeparatorAndRecord) {
    log.LogError(
        "Error 75 (Path/File access error) in procedure OpenDialog of Module modDLG on line 630");
    EXPECT_EQ(contents(),
              QByteArray("Quorvex Error Log\r\n====================\r\n"
                         "1.1.0 120626 0530 Error 75 (Path/File access error) in procedure "
                         "OpenDialog of Module modDLG on line 630\r\n"));
}

TEST_F(ErrorLogTest, RepeatIsDroppedOnlyWhenItIsTheLastLine) {
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    EXPECT_EQ(contents().count("SendPacket"), 1);
    log.LogError("Error 53 (File not found) in procedure LoadDFFFile of Module modFW on line 20");
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    EXPECT_EQ(contents().count("SendPacket"), 2);
}

TEST_F(ErrorLogTest, PathsOutsideLatin1AreLoggedAsWrittenAndTheirRepeatIsRecognised) {
    const QString message = QStringLiteral(
        "Error 75 (Path/File access error) in procedure OpenDialog of Module modDLG on line 630: "
        "/home/техник/прошивка €5.dff");
    if (QString::fromLocal8Bit(message.toLocal8Bit()) != message)
        GTEST_SKIP() << "the system's encoding holds neither Cyrillic nor the euro sign";
    log.LogError(message);
    log.LogError(message);
    const QByteArray bytes = contents();
    EXPECT_EQ(bytes.count("OpenDialog"), 1);
    // On Linux the system's encoding is UTF-8.
    EXPECT_TRUE(QString::fromUtf8(bytes).endsWith(message + "\r\n"));
    // A lone surrogate has no encoding at all: dropped, the log untouched.
    log.LogError(QStringLiteral("Error 5 (x) in procedure A of Module B on line 1 ") +
                 QChar(0xD800));
    EXPECT_EQ(contents(), bytes);
}

TEST_F(ErrorLogTest, Failures400And401WriteNothingButShortMessagesAreNeverTakenForThem) {
    log.LogError("Error 400 (Form already displayed; can't show modally) in procedure X of Form f "
                 "on line 1");
    log.LogError("Error 401 (x) in procedure X of Form f on line 1");
    EXPECT_FALSE(QFile::exists(log.path()));
    log.LogError("Error 400");
    EXPECT_TRUE(contents().endsWith("Error 400\r\n"));
}

TEST_F(ErrorLogTest, ALogOneByteUnderTheLimitTakesOneMoreRecord) {
    writeLogOfSize(ErrorLog::SizeLimit - 1);
    log.LogError("Error 9 (Subscript out of range) in procedure A of Module modFW on line 3");
    EXPECT_TRUE(contents().endsWith("on line 3\r\n"));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.viewed.isEmpty());
}

TEST_F(ErrorLogTest, ALogAtTheLimitIsShownExplainedAndDeletedWithoutTheRecord) {
    writeLogOfSize(ErrorLog::SizeLimit);
    bool fileStillThereWhileBoxIsUp = false;
    prompts.onMessage = [&](const fakes::ShownMessage&) {
        fileStillThereWhileBoxIsUp = QFile::exists(log.path());
    };
    log.LogError("Error 9 (Subscript out of range) in procedure A of Module modFW on line 3");
    ASSERT_EQ(prompts.viewed.size(), 1);
    EXPECT_EQ(prompts.viewed.at(0), log.path());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].icon, Icon::Information);
    EXPECT_EQ(prompts.messages[0].caption, "Quorvex");
    EXPECT_EQ(prompts.messages[0].text, "'ErrorLog.txt' is too large, indicating there's something "
                                        "wrong with the software and/or its "
                                        "components.\r\n\r\nPlease email the contents of "
                                        "'ErrorLog.txt' shown in the Notepad window to "
                                        "Tolvane, Inc.'s support team.");
    EXPECT_TRUE(fileStillThereWhileBoxIsUp);
    EXPECT_FALSE(QFile::exists(log.path()));

    log.LogError("Error 9 (Subscript out of range) in procedure A of Module modFW on line 3");
    EXPECT_TRUE(contents().startsWith("Quorvex Error Log\r\n"));
}

TEST_F(ErrorLogTest, AnOverLimitLogWhoseLastLineRepeatsTheMessageIsLeftAlone) {
    writeLogOfSize(ErrorLog::SizeLimit + 500);
    log.LogError("old record");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.viewed.isEmpty());
    EXPECT_EQ(QFileInfo(log.path()).size(), ErrorLog::SizeLimit + 500);
}

TEST_F(ErrorLogTest, LastLineIsFoundByScanningBackFromBeforeTheFinalLineEnd) {
    struct Row {
        QByteArray file;
        QByteArray last;
    };
    const Row rows[] = {
        {"only one line\r\n", ""}, // no line break before its last line
        {"ab", ""},                // two bytes or fewer
        {"head\r\nsecond\r\n", "second"},
        {"head\r\nno final break", "no final break"},
        {"head\nlf only\n", "lf only"},
        {"head\r\n" + QByteArray(5000, 'y') + "\r\n",
         QByteArray(5000, 'y')}, // longer than one read back
        {"head\r\n" + QByteArray(4999, 'y') + "z", QByteArray(4999, 'y') + "z"},
    };
    for (const auto& r : rows) {
        writeFile(r.file);
        EXPECT_EQ(ErrorLog::LastLine(log.path()), r.last) << r.file.constData();
    }
}

TEST_F(ErrorLogTest, AOneLineLogTakesNothingForARepeat) {
    writeFile("Error 5 (x) in procedure A of Module m on line 1\r\n");
    log.LogError("Error 5 (x) in procedure A of Module m on line 1");
    EXPECT_EQ(contents().count("Error 5"), 2);
}

TEST_F(ErrorLogTest, AnUnwritableLogDropsTheRecordAndReturns) {
    QDir(dir.path()).mkdir("ErrorLog.txt"); // a folder where the file should be
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    EXPECT_TRUE(QFileInfo(log.path()).isDir());
    EXPECT_TRUE(prompts.messages.empty());
}

// A link in the log's place, to a file or to nowhere, is never written through.
TEST_F(ErrorLogTest, ALinkInTheLogsPlaceIsNotFollowed) {
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("notes.txt");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the technician's notes\n");
    }
    ASSERT_TRUE(QFile::link(victim, log.path()));
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("the technician's notes\n"));
    f.close();

    ASSERT_TRUE(QFile::remove(log.path()));
    const QString nowhere = elsewhere.filePath("made-through-a-link.txt");
    ASSERT_TRUE(QFile::link(nowhere, log.path()));
    log.LogError("Error 57 (Device I/O error) in procedure SendPacket of Module modFW on line 10");
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_TRUE(QFileInfo(log.path()).isSymLink());
}

#ifdef Q_OS_UNIX
// /usr takes none of the program's own files, even from root, who could write there.
TEST(ErrorLogPlace, AProgramInUsrKeepsItsLogInTheStateFolder) {
    EXPECT_EQ(OwnFilesFolder("/usr/bin"), QString());
    EXPECT_EQ(OwnFilesFolder("/usr/local/bin/"), QString());
    EXPECT_EQ(OwnFilesFolder("/usr"), QString());
    EXPECT_EQ(OwnFilesFolder("/usrlocal/bin"), "/usrlocal/bin");
    EXPECT_EQ(OwnFilesFolder("/opt/quorvex"), "/opt/quorvex");
    fakes::ScriptedPrompts prompts;
    const ErrorLog log(OwnFilesFolder("/usr/bin"), prompts, &QDateTime::currentDateTime,
                       "/home/tech/.local/state/quorvex");
    EXPECT_EQ(QDir::fromNativeSeparators(log.path()),
              "/home/tech/.local/state/quorvex/ErrorLog.txt");
}

// Installed, the program's folder cannot take a file: the log goes to the user's state folder
// ($XDG_STATE_HOME/quorvex, else ~/.local/state/quorvex), made when first needed; a folder
// that takes it keeps it beside the program. Run as a user the read-only folder refuses.
TEST(ErrorLogPlace, ReadOnlyProgramFolderSendsTheLogToTheStateFolder) {
    const auto ids = quorvex::testing::UnprivilegedIds();
    QTemporaryDir readOnly, writable, home;
    ASSERT_TRUE(readOnly.isValid() && writable.isValid() && home.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly.path()).constData(), 0555), 0);
    for (const QTemporaryDir* d : {&writable, &home})
        ASSERT_EQ(::chown(QFile::encodeName(d->path()).constData(), ids.uid, ids.gid), 0);
    const QString xdgState = home.filePath("xdg-state");
    const QString record = "Error 53 (File not found) in procedure LoadDFFFile of Module modFW "
                           "on line 20";

    // Each row in a child of its own: 0 when the log said it is where it should be.
    const auto logAs = [&](const QString& programFolder, const char* xdg, const QString& expected) {
        return quorvex::testing::RunUnprivileged([&] {
            if (xdg)
                qputenv("XDG_STATE_HOME", xdg);
            else
                qunsetenv("XDG_STATE_HOME");
            qputenv("HOME", QFile::encodeName(home.path()));
            fakes::ScriptedPrompts prompts;
            ErrorLog log(programFolder, prompts);
            log.LogError(record);
            return QDir::fromNativeSeparators(log.path()) == expected ? 0 : 1;
        });
    };
    const QString viaXdg = xdgState + "/quorvex/ErrorLog.txt";
    const QString viaHome = home.path() + "/.local/state/quorvex/ErrorLog.txt";
    const QString beside = writable.path() + "/ErrorLog.txt";
    const QByteArray xdg = QFile::encodeName(xdgState);
    ASSERT_EQ(logAs(writable.path(), xdg.constData(), beside), 0);
    EXPECT_FALSE(QFileInfo::exists(xdgState)); // made only when needed
    ASSERT_EQ(logAs(readOnly.path(), xdg.constData(), viaXdg), 0);
    ASSERT_EQ(logAs(readOnly.path(), nullptr, viaHome), 0);

    EXPECT_TRUE(QDir(readOnly.path()).isEmpty());
    for (const QString& log : {viaXdg, viaHome, beside})
        EXPECT_TRUE(quorvex::testing::ReadAll(log).endsWith(record.toLatin1() + "\r\n"))
            << log.toStdString();
    // The state folder is the user's own.
    EXPECT_EQ(QFileInfo(xdgState + "/quorvex").permissions() & 0x0077, 0);
}
#endif

} // namespace

// The window met as a desktop program: a package named on the command line or dropped onto
// the window, the folder of the last package kept for the next run, ports that refuse this
// user named, and the texts that must stay readable while the window is locked.
#include "base/last_folder.h"
#include "fake_window.h"
#include "support/bounded_wait.h"
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "support/test_files.h"
#include "ui/contrast.h"
#include "ui/log_naming_prompts.h"
#include "ui/program.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace quorvex;
using quorvex::testing::Fixture;

namespace {

class PackageOpen : public ::testing::Test, protected quorvex::testing::FakeWindow {
  protected:
    // A window as the program makes it; `refusalOf` says which devices refuse the user.
    void open(const QString& configFolder = {}, AccessCheck refusalOf = NoRefusal) {
        FormDeps d = deps();
        d.configFolder = configFolder;
        d.refusalOf = std::move(refusalOf);
        openWindow(std::move(d));
    }
    static std::optional<AccessRefusal> NoRefusal(const QString&) { return std::nullopt; }
    // A load runs on the window's worker: waits until the window has it back.
    void settle() {
        EXPECT_TRUE(quorvex::testing::WaitUntil([&] { return !form->working(); }, 30000));
    }

    QString caption() const {
        return form->findChild<QPushButton*>(QStringLiteral("cmdUpdate"))->text();
    }
    QStringList questionTexts() const {
        QStringList out;
        for (const auto& q : prompts.questions)
            out << q.text;
        return out;
    }
    // A copy of a fixture under `folder` of the scratch folder.
    QString packageIn(const QString& folder, const QString& name = "revector16.dff") {
        QDir(dir.path()).mkpath(folder);
        const QString path = dir.filePath(folder + "/" + name);
        EXPECT_TRUE(QFile::copy(Fixture("revector16.dff"), path));
        return path;
    }
    // Drags `urls` onto the window and drops them; true when the window took the drop.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = form->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        dropped.setAccepted(false);
        QApplication::sendEvent(form.get(), &dropped);
        // The package opens once the drop has ended.
        QApplication::processEvents();
        settle();
        return enter.isAccepted() && dropped.isAccepted();
    }
};

TEST_F(PackageOpen, APackageNamedOnTheCommandLineOpensWithTheQuestionsAndTextsOfABrowse) {
    const QString package = packageIn("bench");
    open();
    dialogs.choose(package);
    form->cmdUpdate_Click();
    settle();
    const QStringList browsed = questionTexts();
    const QString browsedCaption = caption();
    ASSERT_TRUE(firmware.isLoaded());
    ASSERT_FALSE(browsed.isEmpty());

    // The entry the command line and a drop use: the same question and the same outcome.
    prompts.questions.clear();
    firmware.releaseImages();
    open();
    form->openPackage(package);
    settle();
    EXPECT_EQ(questionTexts(), browsed);
    EXPECT_EQ(caption(), browsedCaption);
    EXPECT_TRUE(firmware.isLoaded());
    EXPECT_TRUE(dialogs.requests.size() == 1u) << "no dialog for a named package";

    // With a package loaded the button flashes: a second one is not taken.
    form->openPackage(package);
    settle();
    EXPECT_EQ(prompts.questions.size(), browsed.size());

    // A package that is refused says so as a browsed one does.
    firmware.releaseImages();
    open();
    form->openPackage(Fixture("wrongkey.dff"));
    settle();
    EXPECT_EQ(caption(), "Unable to load. Click to try again.");
    EXPECT_EQ(prompts.messages.size(), 1u);

    QString why;
    EXPECT_EQ(PackageArgument({"quorvex"}, &why), QString());
    EXPECT_EQ(PackageArgument({"quorvex", package}, &why), package);
    EXPECT_EQ(PackageArgument({"quorvex", "--", package}, &why), package);
    EXPECT_TRUE(why.isEmpty());
    EXPECT_EQ(PackageArgument({"quorvex", "a.dff", "b.dff"}, &why), QString());
    EXPECT_FALSE(why.isEmpty());
}

TEST_F(PackageOpen, ADroppedPackageOpensWhileTheWindowOffersToBrowseAndAnyOtherDropIsRefused) {
    const QString package = packageIn("drop", "unit one.DFF");
    const QString text = dir.filePath("notes.txt");
    quorvex::testing::WriteAll(text, "x");
    open();

    EXPECT_FALSE(drop({QUrl::fromLocalFile(text)}));
    EXPECT_FALSE(drop({QUrl::fromLocalFile(package), QUrl::fromLocalFile(package)}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.com/a.dff"))}));
    // While the window is busy (a load, a scan, a flash) nothing is taken.
    form->EnableControls(false);
    EXPECT_FALSE(drop({QUrl::fromLocalFile(package)}));
    form->EnableControls(true);
    EXPECT_TRUE(prompts.questions.empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_FALSE(firmware.isLoaded());

    EXPECT_TRUE(drop({QUrl::fromLocalFile(package)}));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(firmware.isLoaded());
    EXPECT_TRUE(caption().startsWith("Upload firmware ver. ")) << caption().toStdString();

    // Loaded: the button flashes now, and a drop is refused without a word.
    EXPECT_FALSE(drop({QUrl::fromLocalFile(package)}));
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(PackageOpen, TheFirstDialogOfARunStartsInTheFolderOfThePackageOpenedInAnEarlierRun) {
    const QString config = dir.filePath("config/quorvex");
    const QString package = packageIn("units/torv5");
    open(config);
    dialogs.choose(package);
    form->cmdUpdate_Click();
    settle();
    ASSERT_TRUE(firmware.isLoaded());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_TRUE(dialogs.requests[0].folder.isEmpty()) << "nothing kept yet";

    // The next run.
    firmware.releaseImages();
    open(config);
    dialogs.cancel();
    form->cmdUpdate_Click();
    settle();
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].folder, QFileInfo(package).absolutePath());
    // Within the run the dialog's own rule holds: after a cancel, no folder of its own.
    dialogs.cancel();
    form->cmdUpdate_Click();
    settle();
    ASSERT_EQ(dialogs.requests.size(), 3u);
    EXPECT_TRUE(dialogs.requests[2].folder.isEmpty());

    // A link put in the kept file's place is replaced, never written through.
    const QString kept = config + "/last-package-folder";
    const QString victim = dir.filePath("victim");
    quorvex::testing::WriteAll(victim, "mine\n");
    ASSERT_TRUE(QFile::remove(kept));
    ASSERT_TRUE(QFile::link(victim, kept));
    LastFolder(config).keep(dir.path());
    EXPECT_EQ(quorvex::testing::ReadAll(victim), "mine\n");
    EXPECT_FALSE(QFileInfo(kept).isSymLink());
    EXPECT_EQ(LastFolder(config).recall(), dir.path());
}

TEST_F(PackageOpen, PortsThatRefuseTheUserAreNamedOnceWithTheFixThatFitsTheirOwner) {
    // Com 1 and Com 2 exist but do not open for this user; Com 3 opens.
    serial.present = {1, 2, 3};
    serial.busy = {1, 2};
    int asked = 0;
    open({}, [&asked](const QString& device) -> std::optional<AccessRefusal> {
        ++asked;
        if (device == "/dev/ttyUSB0")
            return AccessRefusal{"crw-rw---- root dialout", "dialout", "tech"};
        if (device == "/dev/ttyUSB1")
            return AccessRefusal{"crw-rw---- root root", "root", "tech"};
        return std::nullopt;
    });
    form->cmdRefresh_Click();
    EXPECT_GT(asked, 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    const QString text = prompts.messages[0].text;
    EXPECT_TRUE(text.contains("User tech may not read and write /dev/ttyUSB0 "
                              "(crw-rw---- root dialout), so it is not listed."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("sudo usermod -aG dialout tech, then log out and in again."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("/dev/ttyUSB1 (crw-rw---- root root)")) << text.toStdString();
    EXPECT_TRUE(text.contains("an administrator must give user tech access to it"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("-aG root")) << text.toStdString();
    EXPECT_FALSE(text.contains("/dev/ttyUSB2")) << "Com 3 is listed";

    // Scanned again: nothing new to tell, nothing more in the log.
    form->cmdRefresh_Click();
    EXPECT_EQ(prompts.messages.size(), 1u);
    const QString log = QString::fromLocal8Bit(quorvex::testing::ReadAll(form->errorLog().path()));
    EXPECT_EQ(log.count("Permission denied: user tech may not read and write /dev/ttyUSB0 "
                        "(crw-rw---- root dialout), /dev/ttyUSB1 (crw-rw---- root root)"),
              1)
        << log.toStdString();
    EXPECT_EQ(log.count("cmdRefresh_Click"), 1) << log.toStdString();
}

// The strongest contrast any pixel of `image` makes with `background`: the text's core pixels.
double StrongestContrast(const QImage& image, const QColor& background) {
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, ContrastRatio(image.pixelColor(x, y), background));
    return best;
}

QPalette DarkPalette() {
    QPalette p(QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7f, 0x7f, 0x7f));
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::ButtonText, Qt::white);
    return p;
}

TEST_F(PackageOpen, TheCountdownAndStatusLinesAndTheNameStayReadableWhileTheWindowIsLocked) {
    open();
    const QPalette original = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? DarkPalette() : original);
        form->setUpdateVisible(false);
        form->EnableControls(false);
        form->setText(WindowText::Message, "Please reset the unit... (7 seconds)");
        QApplication::processEvents();
        auto* message = form->findChild<QLabel*>("lblMessage");
        auto* status = form->findChild<QLabel*>("lblStat");
        EXPECT_FALSE(message->isEnabled()) << "locked with the rest";
        const QColor window = form->palette().color(QPalette::Window);
        EXPECT_GE(StrongestContrast(message->grab().toImage(), window), 4.5) << dark;
        EXPECT_GE(ContrastRatio(status->palette().color(QPalette::Disabled, QPalette::WindowText),
                                window),
                  4.5)
            << dark;
        // The wordmark lies under the chip, in the logo's lower quarter.
        const QImage logo = form->findChild<QWidget*>("imgLogo")->grab().toImage();
        const QImage name = logo.copy(0, logo.height() * 3 / 4, logo.width(), logo.height() / 4);
        EXPECT_GE(StrongestContrast(name, window), 3.0) << dark;
        form->EnableControls(true);
        form->setUpdateVisible(true);
    }
    QApplication::setPalette(original);
}

TEST(LogNamingPrompts, ABoxThatSendsTheUserToTheLogNamesItsFolderWhenItIsNotBesideTheProgram) {
    fakes::ScriptedPrompts boxes;
    QString log = "/home/tech/.local/state/quorvex/ErrorLog.txt";
    LogNamingPrompts installed(boxes, {}, [&] { return log; });
    installed.message("Failed (see ErrorLog.txt), so flash again.", Icon::Error, "Quorvex");
    installed.message("Please select a COM port from the list.", Icon::Information, "Quorvex");
    LogNamingPrompts built(boxes, "/work/build/ui", [&] { return log; });
    built.message("See ErrorLog.txt.", Icon::Error, "Quorvex");
    log = "/work/build/ui/ErrorLog.txt";
    built.message("See ErrorLog.txt.", Icon::Error, "Quorvex");
    ASSERT_EQ(boxes.messages.size(), 4u);
    EXPECT_EQ(boxes.messages[0].text,
              "Failed (see ErrorLog.txt), so flash again.\r\n\r\nErrorLog.txt is in " +
                  QDir::toNativeSeparators("/home/tech/.local/state/quorvex") + ".");
    EXPECT_EQ(boxes.messages[1].text, "Please select a COM port from the list.");
    EXPECT_TRUE(boxes.messages[2].text.endsWith("quorvex.")) << "the log moved away";
    EXPECT_EQ(boxes.messages[3].text, "See ErrorLog.txt.");
}

} // namespace

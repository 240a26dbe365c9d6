// The windows under an English locale (CMake sets LANG=en_US.UTF-8 for this
// test), with the catalogue the program installs at start-up.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QLibraryInfo>
#include <QTextBrowser>
#include <QTranslator>

#include "analysis/LumoImageView.h"
#include "analysis/MetricPlot.h"
#include "app/AboutWindow.h"
#include "app/MainWindow.h"
#include "app/YUVListItem.h"
#include "i18n/Translation.h"
#include "open/ChosenFile.h"
#include "open/OpenFileDialog.h"
#include "YuvFiles.h"

namespace {

// Every text a window shows: its title, labels, buttons, menus and actions.
QStringList ShownTexts(const QWidget& window)
{
    QStringList texts{window.windowTitle()};
    for (const QLabel* label : window.findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        texts << button->text();
    for (const QMenu* menu : window.findChildren<QMenu*>())
        texts << menu->title();
    for (const QAction* action : window.findChildren<QAction*>())
        texts << action->text();
    for (const QTextBrowser* browser : window.findChildren<QTextBrowser*>())
        texts << browser->toPlainText();
    return texts;
}

void ExpectNoChinese(const QWidget& window)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    for (const QString& text : ShownTexts(window))
        EXPECT_FALSE(text.contains(han)) << window.objectName().toStdString() << ": " << text.toStdString();
}

QString Button(const QWidget& window, const char* name)
{
    return window.findChild<QPushButton*>(name)->text();
}

class EnglishInterface : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installed_ = lumo::InstallTranslation(*QCoreApplication::instance()); }
    void SetUp() override { ASSERT_TRUE(installed_); }
    static bool installed_;
};
bool EnglishInterface::installed_ = false;

} // namespace

TEST(Translation, OnlyNonChineseLanguagesGetEnglishAndChineseGetsQtsChinese)
{
    const struct {
        const char* messagesLocale;
        QLocale::Language language;
        bool english;
        bool qtChinese;
    } cases[] = {
        {"en_US.UTF-8", QLocale::English, true, false},
        {"de_DE.UTF-8", QLocale::German, true, false},
        {"zh_CN.UTF-8", QLocale::Chinese, false, true},
        {"zh_TW.UTF-8", QLocale::Chinese, false, true},
        // LANGUAGE=zh_CN over LANG=en_US: Qt reports Chinese.
        {"en_US.UTF-8", QLocale::Chinese, false, true},
        // The C locale keeps the texts as written even when LANGUAGE names
        // another language, as gettext does; Qt's stay as Qt writes them.
        {"", QLocale::C, false, false},
        {"C", QLocale::English, false, false},
        {"C.UTF-8", QLocale::Chinese, false, false},
        {"POSIX", QLocale::English, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lumo::WantsEnglish(c.messagesLocale, c.language), c.english) << c.messagesLocale;
        EXPECT_EQ(lumo::WantsQtChinese(c.messagesLocale, c.language), c.qtChinese) << c.messagesLocale;
    }
}

// Qt's Chinese catalogue (scripts/install-deps.sh installs it) turns the
// file chooser's and the standard buttons' texts Chinese.
TEST(Translation, QtsOwnTextsInChinese)
{
    QTranslator* qt = lumo::InstallQtTranslation(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China));
    ASSERT_NE(qt, nullptr) << "no qtbase_zh_CN.qm in " << QLibraryInfo::location(QLibraryInfo::TranslationsPath).toStdString();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "All Files (*)"), "所有文件 (*)");
    QCoreApplication::removeTranslator(qt);
    delete qt;
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST_F(EnglishInterface, MainWindowAndRows)
{
    MainWindow window;
    QStringList menus;
    for (const QAction* menu : window.menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, QStringList({"Open File", "Help", "Check for Updates", "About the Two Engineers"}));
    ExpectNoChinese(window);

    // A file that cannot be read says why.
    const struct {
        int frames;
        const char* shown;
    } counts[] = {{1, "1 frame"}, {2, "2 frames"}, {-1, "Cannot read: no such file"}};
    for (const auto& c : counts) {
        const QString name = QStringLiteral("english%1.yuv").arg(c.frames);
        const QString path = c.frames > 0 ? WriteFile(name, I420Frames(16, 8, c.frames, 4)) : TestTmpPath(name);
        YUVListItem row(0, nullptr);
        row.SetReader(lumo::LumoYuvReader(path.toStdString(), 16, 8, "YUV_TYPE_I420"));
        EXPECT_EQ(row.text().toStdString(),
                  QStringLiteral("I420 (YUV 420 Planar)        %1        %2").arg(c.shown, path).toStdString());
        EXPECT_EQ(Button(row, "show_detail_btn"), "Play and Analyse");
        EXPECT_EQ(Button(row, "close_yuv_btn"), "Close");
        ExpectNoChinese(row);
    }
}

TEST_F(EnglishInterface, OpenFileDialogAndItsMessages)
{
    OpenFileDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Choose the file type and open");
    EXPECT_EQ(Button(dialog, "open_file_btn"), "Open YUV");
    EXPECT_EQ(Button(dialog, "open_file_ok"), "OK");
    // Layout names are the same in every language.
    EXPECT_EQ(dialog.findChild<QButtonGroup*>()->button(0)->text(), "I420 (YUV 420 Planar)");
    ExpectNoChinese(dialog);
    QString filter;
    OpenFileDialog::SetFileChooser([&](QWidget*, const QString&, const QString&, const QString& f) {
        filter = f;
        return QStringList();
    });
    dialog.findChild<QPushButton*>("open_file_btn")->click();
    OpenFileDialog::SetFileChooser({});
    EXPECT_TRUE(filter.startsWith("YUV files (*.yuv *.y4m ")) << filter.toStdString();
    EXPECT_TRUE(filter.endsWith(";;All files (*)")) << filter.toStdString();
    dialog.layout()->activate();
    EXPECT_LE(dialog.minimumSizeHint().height(), 720);
    EXPECT_LE(dialog.minimumSizeHint().width(), 1366);

    lumo::YuvGuess guess;
    guess.isY4m = true;
    guess.y4m.status = lumo::Y4mStatus::BadFrameHeader;
    guess.y4m.badFrame = 3;
    EXPECT_EQ(Y4mProblem("a.y4m", guess), "Cannot open the Y4M file a.y4m: the FRAME header of frame 3 is damaged");
}

TEST_F(EnglishInterface, TwoFileAnalysisWindowFitsA1366x768ScreenWithAPanel)
{
    const QString a = WriteFile("english_a.yuv", I420Frames(64, 48, 3, 8));
    const QString b = WriteFile("english_b.yuv", I420Frames(64, 48, 3, 20));
    auto* window = new LumoImageView(lumo::LumoYuvReader(a.toStdString(), 64, 48, "YUV_TYPE_I420"));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->Open2ndFile(lumo::LumoYuvReader(b.toStdString(), 64, 48, "YUV_TYPE_I420"));
    ASSERT_TRUE(window->Plot()->isVisible());
    // 768 less a 40 px panel and a title bar.
    EXPECT_LE(window->minimumSizeHint().height(), 690);
    EXPECT_LE(window->minimumSizeHint().width(), 1366);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(EnglishInterface, AboutWindow)
{
    AboutWindow about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About the Two Engineers");
    const QString text = about.findChild<QTextBrowser*>("introTextBrowser")->toPlainText();
    EXPECT_TRUE(text.contains("YUV Lumo team (lumo-team@localhost)")) << text.toStdString();
    EXPECT_TRUE(text.contains("Website")) << text.toStdString();
    ExpectNoChinese(about);
}

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QTextBrowser>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "app/AboutWindow.h"
#include "OnlineTestSupport.h"

namespace {

const std::vector<std::string> kOpened = {"INFO",        "2.2.1",           "Windows", "YUVLumo",
                                          "AboutWindow", "AboutDevelopers", "NULL",    "[user_email]; [info] NULL"};
const std::vector<std::string> kLinkFollowed = {"INFO",        "2.2.1",           "Windows",
                                                "YUVLumo",     "AboutWindow",     "AboutDevelopers",
                                                "AboutOmbrelClick", "[user_email]; [info] NULL"};

// A point in the middle of the document's link text.
QPoint LinkPoint(QTextBrowser* browser)
{
    QTextDocument* doc = browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (!it.fragment().charFormat().isAnchor())
                continue;
            QTextCursor cursor(doc);
            cursor.setPosition(it.fragment().position() + it.fragment().length() / 2);
            const QRect r = browser->cursorRect(cursor);
            return r.center();
        }
    }
    return {};
}

} // namespace

TEST(AboutWindow, ShowsTheProductTheTeamTheSiteAndTheVersion)
{
    qputenv("LUMO_SERVICE_URL", "http://127.0.0.1:9");
    AboutWindow window;
    EXPECT_EQ(window.objectName(), "AboutWindow");
    EXPECT_EQ(window.windowTitle(), "关于这两个工程师");
    EXPECT_EQ(window.size(), QSize(519, 329));
    EXPECT_TRUE(window.testAttribute(Qt::WA_DeleteOnClose));
    auto* version = window.findChild<QLabel*>(QStringLiteral("versionLabel"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "YuvLumo 2.2.1");
    EXPECT_EQ(version->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    auto* browser = window.findChild<QTextBrowser*>(QStringLiteral("introTextBrowser"));
    ASSERT_NE(browser, nullptr);
    EXPECT_FALSE(browser->openLinks());
    EXPECT_FALSE(browser->openExternalLinks());

    // Nine centred lines in order; the bold ones are the name and headings.
    const QStringList lines = {QString(),
                               QStringLiteral("YUV Lumo"),
                               QStringLiteral("更好用、更全面、更强大的YUV图像视频分析工具"),
                               QString(),
                               QStringLiteral("作者（排名不分先后）用爱发电二人组:"),
                               QStringLiteral("YUV Lumo team（lumo-team@localhost）"),
                               QString(),
                               QStringLiteral("官网"),
                               QStringLiteral("http://127.0.0.1:9/#/YuvLumo")};
    const bool bold[] = {false, true, false, false, true, true, false, true, false};
    QStringList seen;
    int i = 0;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next(), ++i) {
        seen.append(block.text());
        EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << i;
        if (i < 9 && !block.text().isEmpty()) {
            EXPECT_EQ(block.begin().fragment().charFormat().fontWeight() >= QFont::Bold, bold[i]) << i;
            EXPECT_EQ(block.begin().fragment().charFormat().fontPointSize(), 13) << i;
        }
    }
    EXPECT_EQ(seen, lines);
    const QTextCharFormat link = browser->document()->lastBlock().begin().fragment().charFormat();
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), "http://127.0.0.1:9/#/YuvLumo");
    EXPECT_TRUE(link.fontUnderline());
    EXPECT_EQ(link.foreground().color(), QColor(Qt::blue));
    RestoreServiceUrl();
}

TEST(AboutWindow, EachWindowReportsItselfAndEveryLinkClick)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    UrlCatcher browserOpened;
    QPointer<AboutWindow> first = new AboutWindow;
    QPointer<AboutWindow> second = new AboutWindow;
    first->show();
    second->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    ASSERT_TRUE(service.WaitForEvents(2));

    auto* browser = first->findChild<QTextBrowser*>(QStringLiteral("introTextBrowser"));
    const QString before = browser->toHtml();
    const QPoint at = LinkPoint(browser);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(browserOpened.opened.size(), 2);
    EXPECT_EQ(browserOpened.opened[0], QUrl(service.baseUrl() + "/#/YuvLumo"));
    EXPECT_EQ(browserOpened.opened[1], browserOpened.opened[0]);
    EXPECT_EQ(browser->toHtml(), before);
    EXPECT_TRUE(browser->source().isEmpty());

    ASSERT_TRUE(service.WaitForEvents(4));
    QTest::qWait(200);
    EXPECT_EQ(service.Events(), (std::vector<std::vector<std::string>>{kOpened, kOpened, kLinkFollowed, kLinkFollowed}));

    // Closing destroys a window; the other one stays.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible());
    delete second;
}

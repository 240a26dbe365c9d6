#include <gtest/gtest.h>

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

#include "online/FeedbackWindow.h"
#include "online/NewVersionDiglog.h"
#include "OnlineTestSupport.h"

namespace {

const std::vector<std::string> kDownloadEvent = {"INFO",       "2.2.1",      "Windows",
                                                 "YUVLumo",    "TopTabPage", "TopTabUpdateBlock",
                                                 "TopTabUpdateBlockDownload", "[user_email]; [info] NULL"};
const std::vector<std::string> kFeedbackWindowEvent = {"INFO",        "2.2.1",         "Windows", "YUVLumo",
                                                       "AboutWindow", "AboutFeedback", "NULL",
                                                       "[user_email]; [info] NULL"};

// Types `text` into a new feedback window, clicks submit and waits until
// the reply has been handled.
void Submit(FeedbackWindow* window, const QString& text, int clicks = 1)
{
    window->findChild<QTextEdit*>(QStringLiteral("descTextEdit"))->setPlainText(text);
    auto* button = window->findChild<QPushButton*>(QStringLiteral("submitButton"));
    for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(button, Qt::LeftButton);
}

bool WaitAnswered(const QPointer<FeedbackWindow>& window)
{
    return QTest::qWaitFor([&] { return !window || window->pendingRequests() == 0; }, 15000);
}

} // namespace

TEST(NewVersionDiglog, FormShowsTheVersionAndTheDownloadLink)
{
    qputenv("LUMO_SERVICE_URL", "http://127.0.0.1:9/");
    struct Case {
        QString version;
        QString label;
    } cases[] = {
        {QStringLiteral("3.0.0"), QStringLiteral("发现新版本：3.0.0")},
        {QString(), QStringLiteral("发现新版本：")},
        // Markup from the network is shown as it is.
        {QStringLiteral("<b>9</b>&amp;"), QStringLiteral("发现新版本：<b>9</b>&amp;")},
    };
    for (const Case& c : cases) {
        NewVersionDiglog dialog(c.version);
        EXPECT_EQ(dialog.objectName(), "NewVersionDiglog");
        EXPECT_EQ(dialog.windowTitle(), "检查到新版本");
        EXPECT_EQ(dialog.size(), QSize(465, 301));
        EXPECT_TRUE(dialog.testAttribute(Qt::WA_DeleteOnClose));
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("new_version_label"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), c.label);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->font().family(), "黑体");
        EXPECT_EQ(label->font().pointSize(), 20);
        EXPECT_EQ(label->font().weight(), 75);
        auto* link = dialog.findChild<QLabel*>(QStringLiteral("new_version_link"));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text(),
                  "<a style=\"color:blue;\" href=\"http://127.0.0.1:9/#/YuvLumo\">点击下载</a>");
        for (const char* name : {"verticalLayout", "horizontalLayout", "horizontalLayout_2"})
            EXPECT_NE(dialog.findChild<QLayout*>(QString::fromLatin1(name)), nullptr) << name;
    }
    RestoreServiceUrl();
}

TEST(NewVersionDiglog, EveryLinkClickOpensTheDownloadPageAndIsReported)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    UrlCatcher browser;
    QPointer<NewVersionDiglog> dialog = new NewVersionDiglog(QStringLiteral("3.0.0"));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto* link = dialog->findChild<QLabel*>(QStringLiteral("new_version_link"));
    // Click the link text itself, twice.
    const QPoint inside(link->fontMetrics().horizontalAdvance(QStringLiteral("点击")) / 2 + 2, link->height() / 2);
    QTest::mouseClick(link, Qt::LeftButton, {}, inside);
    QTest::mouseClick(link, Qt::LeftButton, {}, inside);
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.opened[0], QUrl(service.baseUrl() + "/#/YuvLumo"));
    EXPECT_EQ(browser.opened[1], browser.opened[0]);
    EXPECT_TRUE(dialog->isVisible());

    ASSERT_TRUE(service.WaitForEvents(2));
    QTest::qWait(200);
    const auto events = service.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], kDownloadEvent);
    EXPECT_EQ(events[1], kDownloadEvent);

    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

TEST(FeedbackWindow, FormHasItsNamesAndTexts)
{
    qputenv("LUMO_SERVICE_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(UnusedPort()));
    FeedbackWindow window;
    EXPECT_EQ(window.windowTitle(), "问题反馈");
    EXPECT_EQ(window.size(), QSize(400, 349));
    auto* central = window.findChild<QWidget*>(QStringLiteral("centralwidget"));
    ASSERT_NE(central, nullptr);
    EXPECT_EQ(central->minimumSize(), QSize(400, 300));
    EXPECT_EQ(central->maximumSize(), QSize(9999, 9999));
    auto* grid = window.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    ASSERT_NE(grid, nullptr);
    EXPECT_NE(window.findChild<QLayout*>(QStringLiteral("formLayout")), nullptr);
    auto* label = window.findChild<QLabel*>(QStringLiteral("explainLabel"));
    auto* edit = window.findChild<QTextEdit*>(QStringLiteral("descTextEdit"));
    auto* button = window.findChild<QPushButton*>(QStringLiteral("submitButton"));
    ASSERT_TRUE(label && edit && button);
    EXPECT_EQ(label->text(), "请将您的问题输入下方输入框之后提交");
    EXPECT_EQ(button->text(), "提交反馈");
    // The three widgets stand in the middle column, one under the other.
    EXPECT_EQ(grid->itemAtPosition(1, 1)->widget(), label);
    EXPECT_EQ(grid->itemAtPosition(2, 1)->widget(), edit);
    EXPECT_EQ(grid->itemAtPosition(3, 1)->widget(), button);
    EXPECT_NE(window.findChild<QWidget*>(QStringLiteral("menubar")), nullptr);
    EXPECT_NE(window.findChild<QWidget*>(QStringLiteral("statusbar")), nullptr);
    RestoreServiceUrl();
}

TEST(FeedbackWindow, AcceptedTextArrivesWholeAndTheWindowCloses)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    QPointer<FeedbackWindow> window = new FeedbackWindow;
    window->show();
    const QString text = QStringLiteral("画面 偏绿 & 闪烁\nline 2: a+b=c 100% ~_-.");
    Submit(window, text);
    ASSERT_TRUE(WaitAnswered(window));
    EXPECT_EQ(TakeMessageTexts(), QStringList{QStringLiteral("提交成功 请关注您的登录邮箱邮件")});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(service.Feedback(), std::vector<std::string>{text.toStdString()});

    // The window's opening was reported too.
    ASSERT_TRUE(service.WaitForEvents(1));
    const auto events = service.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], kFeedbackWindowEvent);
}

TEST(FeedbackWindow, EveryFailureIsToldAndTheWindowStays)
{
    struct Case {
        const char* name;
        int httpStatus; // 0: the real service; -1: nothing listening
        std::string body;
        QString typed;
        QString shown;
    } cases[] = {
        {"refused by the service", 0, "", QString(), QStringLiteral("提交失败 反馈内容不能为空")},
        // Over the body limit (1 KiB here) was an HTTP error, shown as a
        // network error.
        {"too long for the service", 0, "", QString(400, QChar(0x6587)),
         QStringLiteral("提交失败 反馈内容过长，请删减后再提交")},
        {"code in the envelope", 200, R"({"code":403,"message":"稍后 再试 & 重发"})", QStringLiteral("x"),
         QStringLiteral("提交失败 稍后 再试 & 重发")},
        {"code as text", 200, R"({"code":"200","message":"m"})", QStringLiteral("x"), QStringLiteral("提交失败 m")},
        {"no message", 200, R"({"code":500})", QStringLiteral("x"), QStringLiteral("提交失败 ")},
        {"not json", 200, "<html>busy</html>", QStringLiteral("x"), QStringLiteral("提交失败 ")},
        {"empty body", 200, "", QStringLiteral("x"), QStringLiteral("提交失败 ")},
        {"error status", 500, R"({"code":200,"message":"ok"})", QStringLiteral("x"), QStringLiteral("网络错误")},
        {"nothing listening", -1, "", QStringLiteral("x"), QStringLiteral("网络错误")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ServiceRunner> service;
        std::unique_ptr<FakeService> fake;
        if (c.httpStatus == 0) {
            service = std::make_unique<ServiceRunner>(QStringLiteral("2.2.1"),
                                                      QStringList{QStringLiteral("--max-body"), QStringLiteral("1024")});
            ASSERT_TRUE(service->ok());
        } else if (c.httpStatus > 0) {
            fake = std::make_unique<FakeService>(c.httpStatus, c.body);
        } else {
            PointClientAt(UnusedPort());
        }
        QPointer<FeedbackWindow> window = new FeedbackWindow;
        window->show();
        Submit(window, c.typed);
        ASSERT_TRUE(WaitAnswered(window));
        EXPECT_EQ(TakeMessageTexts(), QStringList{c.shown});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_FALSE(window.isNull());
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->findChild<QTextEdit*>(QStringLiteral("descTextEdit"))->toPlainText(), c.typed);
        if (service) {
            EXPECT_TRUE(service->Feedback().empty());
        }
        delete window;
        RestoreServiceUrl();
    }
}

TEST(FeedbackWindow, ClosedWindowStillAnswersItsRequestThenGoes)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    QPointer<FeedbackWindow> window = new FeedbackWindow;
    window->show();
    Submit(window, QStringLiteral("关闭之后"));
    EXPECT_EQ(window->pendingRequests(), 1);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 15000));
    EXPECT_EQ(TakeMessageTexts(), QStringList{QStringLiteral("提交成功 请关注您的登录邮箱邮件")});
    EXPECT_EQ(service.Feedback(), std::vector<std::string>{"关闭之后"});

    // Closed with nothing in flight: gone at once.
    window = new FeedbackWindow;
    window->show();
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST(FeedbackWindow, TwoQuickClicksSendTwoRequestsAndAnswerBoth)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    QPointer<FeedbackWindow> window = new FeedbackWindow;
    window->show();
    Submit(window, QStringLiteral("twice"), 2);
    EXPECT_EQ(window->pendingRequests(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 15000));
    const QString ok = QStringLiteral("提交成功 请关注您的登录邮箱邮件");
    EXPECT_EQ(TakeMessageTexts(), (QStringList{ok, ok}));
    EXPECT_EQ(service.Feedback(), (std::vector<std::string>{"twice", "twice"}));
}

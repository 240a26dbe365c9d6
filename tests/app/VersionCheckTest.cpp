#include <gtest/gtest.h>

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include "app/MainWindow.h"
#include "online/NewVersionDiglog.h"
#include "OnlineTestSupport.h"

namespace {

// The network managers the window holds now, oldest first.
QList<QNetworkAccessManager*> Managers(MainWindow& window)
{
    return window.findChildren<QNetworkAccessManager*>(QString(), Qt::FindDirectChildrenOnly);
}

// Waits until `manager` has delivered its next reply.
bool WaitReply(QNetworkAccessManager* manager)
{
    qRegisterMetaType<QNetworkReply*>();
    QSignalSpy spy(manager, &QNetworkAccessManager::finished);
    return spy.wait(15000);
}

// Version labels of the new-version dialogs on screen, which are closed.
QStringList TakeDialogs()
{
    QStringList labels;
    for (NewVersionDiglog* dialog : VisibleWindows<NewVersionDiglog>()) {
        EXPECT_EQ(dialog->parent(), nullptr);
        EXPECT_FALSE(dialog->isModal());
        labels.append(dialog->findChild<QLabel*>(QStringLiteral("new_version_label"))->text());
        dialog->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return labels;
}

struct Seen {
    QStringList dialogs;
    QStringList messages;
};

// A main window's start-up check, then one on-demand check: what each showed.
void RunChecks(Seen& startUp, Seen& onDemand)
{
    MainWindow window;
    const auto initial = Managers(window);
    ASSERT_EQ(initial.size(), 1);
    ASSERT_TRUE(WaitReply(initial[0]));
    startUp = {TakeDialogs(), TakeMessageTexts()};

    window.CheckVersionClickListener();
    const auto managers = Managers(window);
    ASSERT_EQ(managers.size(), 2);
    ASSERT_TRUE(WaitReply(managers[1]));
    onDemand = {TakeDialogs(), TakeMessageTexts()};
    // The on-demand manager is released with its reply.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Managers(window).size(), 1);
}

} // namespace

TEST(VersionCheck, AgainstTheService)
{
    struct Case {
        QString latest;
        QStringList startUpDialogs;
        QStringList onDemandDialogs;
        QStringList onDemandMessages;
    } cases[] = {
        {QStringLiteral("2.2.1"), {}, {}, {QStringLiteral("您已经是最新版本了")}},
        {QStringLiteral("3.0.0"), {QStringLiteral("发现新版本：3.0.0")}, {QStringLiteral("发现新版本：3.0.0")}, {}},
        {QStringLiteral("2.1.9"), {QStringLiteral("发现新版本：2.1.9")}, {QStringLiteral("发现新版本：2.1.9")}, {}},
        // Compared as text, case-sensitively.
        {QStringLiteral("2.2.1-RC"), {QStringLiteral("发现新版本：2.2.1-RC")}, {QStringLiteral("发现新版本：2.2.1-RC")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.latest.toStdString());
        ServiceRunner service(c.latest);
        ASSERT_TRUE(service.ok());
        Seen startUp, onDemand;
        RunChecks(startUp, onDemand);
        EXPECT_EQ(startUp.dialogs, c.startUpDialogs);
        EXPECT_TRUE(startUp.messages.isEmpty());
        EXPECT_EQ(onDemand.dialogs, c.onDemandDialogs);
        EXPECT_EQ(onDemand.messages, c.onDemandMessages);
    }
}

TEST(VersionCheck, OddRepliesAndFailures)
{
    struct Case {
        const char* name;
        int httpStatus; // -1: nothing listening
        std::string body;
        bool dialog;    // an empty "发现新版本：" dialog at start-up and on demand
    } cases[] = {
        {"no model", 200, R"({"code":200,"message":"ok"})", true},
        {"version not text", 200, R"({"code":200,"model":{"version":3}})", true},
        {"equal", 200, R"({"code":200,"model":{"version":"2.2.1"}})", false},
        {"code 500", 200, R"({"code":500,"model":{"version":"9.9.9"}})", false},
        {"code as text", 200, R"({"code":"200","model":{"version":"9.9.9"}})", false},
        {"not json", 200, "<html>9.9.9</html>", false},
        {"empty body", 200, "", false},
        {"error status", 500, R"({"code":200,"model":{"version":"9.9.9"}})", false},
        {"nothing listening", -1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<FakeService> fake;
        if (c.httpStatus > 0)
            fake = std::make_unique<FakeService>(c.httpStatus, c.body);
        else
            PointClientAt(UnusedPort());
        Seen startUp, onDemand;
        RunChecks(startUp, onDemand);
        const QStringList dialogs = c.dialog ? QStringList{QStringLiteral("发现新版本：")} : QStringList{};
        EXPECT_EQ(startUp.dialogs, dialogs);
        EXPECT_TRUE(startUp.messages.isEmpty());
        EXPECT_EQ(onDemand.dialogs, dialogs);
        const QStringList messages =
            std::string(c.name) == "equal" ? QStringList{QStringLiteral("您已经是最新版本了")} : QStringList{};
        EXPECT_EQ(onDemand.messages, messages);
        fake.reset();
        RestoreServiceUrl();
    }
}

TEST(VersionCheck, MenuOpensIndependentAboutAndFeedbackWindows)
{
    ServiceRunner service;
    ASSERT_TRUE(service.ok());
    MainWindow window;
    ASSERT_TRUE(WaitReply(Managers(window)[0]));
    window.AboutClickListener();
    window.AboutClickListener();
    window.FeedbackClickListener();
    window.FeedbackClickListener();
    const auto abouts = VisibleWindows<QWidget>();
    int aboutCount = 0, feedbackCount = 0;
    for (QWidget* w : abouts) {
        EXPECT_EQ(w->parent(), nullptr);
        if (w->objectName() == "AboutWindow")
            ++aboutCount;
        if (w->windowTitle() == "问题反馈")
            ++feedbackCount;
    }
    EXPECT_EQ(aboutCount, 2);
    EXPECT_EQ(feedbackCount, 2);
    // Main window, two about windows, two feedback windows.
    ASSERT_TRUE(service.WaitForEvents(5));
    QTest::qWait(200);
    int aboutEvents = 0, feedbackEvents = 0;
    for (const auto& e : service.Events()) {
        aboutEvents += e[5] == "AboutDevelopers";
        feedbackEvents += e[5] == "AboutFeedback";
    }
    EXPECT_EQ(aboutEvents, 2);
    EXPECT_EQ(feedbackEvents, 2);
    for (QWidget* w : VisibleWindows<QWidget>()) {
        if (w != &window)
            w->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(VersionCheck, RequestsArePostsWithAnEmptyForm)
{
    FakeService server(200, R"({"code":200})");
    const std::string path = "/lumo/user/version/get_latest_version";
    MainWindow window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestsTo(path).size() >= 1; }, 5000));
    window.CheckVersionClickListener();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestsTo(path).size() >= 2; }, 5000));
    for (const SeenRequest& r : server.RequestsTo(path)) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, path + "?app_name=YUVLumo");
        EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
        EXPECT_EQ(r.contentLength, "0");
        EXPECT_EQ(r.body, "");
    }
    // No "model" in the reply: an empty version, so a dialog each time.
    ASSERT_TRUE(QTest::qWaitFor([] { return VisibleWindows<NewVersionDiglog>().size() == 2; }, 5000));
    EXPECT_EQ(TakeDialogs(), (QStringList{QStringLiteral("发现新版本："), QStringLiteral("发现新版本：")}));
}

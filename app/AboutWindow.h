#pragma once

#include <QWidget>

class QLabel;
class QTextBrowser;
class QUrl;
class RecordLog;

// Presents the product: name, description, authors and the web-site link,
// with the version under it. Deletes itself when closed.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
    ~AboutWindow() override;

    // The rich-text document of the window for a given web-site address.
    static QString IntroHtml(const QString& siteUrl);

public slots:
    void openUrl(const QUrl& url);

private:
    void BuildForm();

    QTextBrowser* introTextBrowser_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    RecordLog* record_log_ = nullptr;
};

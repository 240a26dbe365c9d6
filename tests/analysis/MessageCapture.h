#pragma once

#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

// Collects the debug-channel lines of every thread while alive, with the
// program's debug category turned on.
class MessageCapture {
public:
    MessageCapture()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("lumo.debug=true"));
        previous_ = qInstallMessageHandler(&MessageCapture::Handler);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        QMutexLocker lock(&Mutex());
        Lines().clear();
    }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&Mutex());
        return Lines();
    }

private:
    static QMutex& Mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& Lines()
    {
        static QStringList l;
        return l;
    }
    static void Handler(QtMsgType, const QMessageLogContext&, const QString& msg)
    {
        QMutexLocker lock(&Mutex());
        Lines() << msg;
    }
    QtMessageHandler previous_;
};

#include "i18n/Translation.h"

#include <QCoreApplication>
#include <QTranslator>

static void InitTranslationResources()
{
    // The catalogue lives in a static library; register it explicitly.
    Q_INIT_RESOURCE(translations);
}

namespace lumo {

namespace {

QByteArray MessagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value;
    }
    return QByteArray();
}

} // namespace

bool WantsEnglish(const QByteArray& messagesLocale, QLocale::Language language)
{
    if (messagesLocale.isEmpty() || messagesLocale == "C" || messagesLocale == "POSIX" ||
        messagesLocale.startsWith("C.") || messagesLocale.startsWith("POSIX."))
        return false;
    return language != QLocale::C && language != QLocale::Chinese;
}

bool InstallTranslation(QCoreApplication& app)
{
    if (!WantsEnglish(MessagesLocale(), QLocale::system().language()))
        return false;
    InitTranslationResources();
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/yuvlumo_en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace lumo

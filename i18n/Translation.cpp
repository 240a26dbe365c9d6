#include "i18n/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
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

bool IsCLocale(const QByteArray& messagesLocale)
{
    return messagesLocale.isEmpty() || messagesLocale == "C" || messagesLocale == "POSIX" ||
           messagesLocale.startsWith("C.") || messagesLocale.startsWith("POSIX.");
}

} // namespace

bool WantsEnglish(const QByteArray& messagesLocale, QLocale::Language language)
{
    return !IsCLocale(messagesLocale) && language != QLocale::C && language != QLocale::Chinese;
}

bool WantsQtChinese(const QByteArray& messagesLocale, QLocale::Language language)
{
    return !IsCLocale(messagesLocale) && language == QLocale::Chinese;
}

QTranslator* InstallQtTranslation(QCoreApplication& app, const QLocale& locale)
{
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

bool InstallTranslation(QCoreApplication& app)
{
    const QByteArray messagesLocale = MessagesLocale();
    const QLocale system = QLocale::system();
    if (WantsQtChinese(messagesLocale, system.language())) {
        InstallQtTranslation(app, system);
        return false;
    }
    if (!WantsEnglish(messagesLocale, system.language()))
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

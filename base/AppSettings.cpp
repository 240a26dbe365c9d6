#include "base/AppSettings.h"

#include <QSettings>

QString AppSettings::Read(const QString& key, const QString& defaultValue)
{
    QSettings settings(kOrganisation, kApplication);
    return settings.value(key, defaultValue).toString();
}

void AppSettings::Write(const QString& key, const QString& value)
{
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(key, value);
}

QString AppSettings::LastOpenDir()
{
    return Read(kKeyCacheLastOpen, QStringLiteral("/"));
}

void AppSettings::SetLastOpenDir(const QString& dir)
{
    Write(kKeyCacheLastOpen, dir);
}

QString AppSettings::YuvParseList()
{
    return Read(kKeyYuvParse, QString());
}

void AppSettings::SetYuvParseList(const QString& json)
{
    Write(kKeyYuvParse, json);
}

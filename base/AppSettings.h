#pragma once

#include <QString>

// The per-user settings store (organisation "YUVLumo", application
// "MediaLumo"). Every access opens the store, touches one key and closes it
// again; nothing is cached.
class AppSettings {
public:
    static constexpr const char* kOrganisation = "YUVLumo";
    static constexpr const char* kApplication = "MediaLumo";

    // Directory in which the next file chooser opens; default "/".
    static constexpr const char* kKeyCacheLastOpen = "CACHE_LAST_OPEN";
    // The stored list of opened raw files as compact JSON; default "".
    static constexpr const char* kKeyYuvParse = "KEY_YUV_PARSE_1";

    static QString Read(const QString& key, const QString& defaultValue);
    static void Write(const QString& key, const QString& value);

    static QString LastOpenDir();
    static void SetLastOpenDir(const QString& dir);
    static QString YuvParseList();
    static void SetYuvParseList(const QString& json);
};

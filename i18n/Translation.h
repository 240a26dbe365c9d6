#pragma once

#include <QByteArray>
#include <QLocale>

class QCoreApplication;

namespace lumo {

// The interface's texts are written in Chinese; everyone whose language is
// not Chinese gets the English catalogue. As with gettext, a C or POSIX
// message locale (LC_ALL, else LC_MESSAGES, else LANG; unset counts as C)
// means the texts as written, whatever LANGUAGE says: scripts and tests see
// exactly what the code holds. `language` is the user's language otherwise
// (QLocale::system(), which already takes LANGUAGE's first entry into
// account).
bool WantsEnglish(const QByteArray& messagesLocale, QLocale::Language language);

// Decides from the environment and, when English is wanted, installs the
// embedded catalogue on `app` (the translator is the application's child).
// Returns whether it did; call it before the first window is built.
bool InstallTranslation(QCoreApplication& app);

} // namespace lumo

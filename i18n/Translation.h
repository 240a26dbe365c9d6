#pragma once

#include <QByteArray>
#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace lumo {

// The interface's texts are written in Chinese; everyone whose language is
// not Chinese gets the English catalogue. As with gettext, a C or POSIX
// message locale (LC_ALL, else LC_MESSAGES, else LANG; unset counts as C)
// means the texts as written, whatever LANGUAGE says: scripts and tests see
// exactly what the code holds. `language` is the user's language otherwise
// (QLocale::system(), which already takes LANGUAGE's first entry into
// account).
bool WantsEnglish(const QByteArray& messagesLocale, QLocale::Language language);
// Whether Qt's own texts (file chooser, standard buttons) need Qt's Chinese
// catalogue: a Chinese language under a message locale other than C.
bool WantsQtChinese(const QByteArray& messagesLocale, QLocale::Language language);

// Installs Qt's own catalogue for `locale` (qtbase_*.qm from Qt's
// translations folder; Debian ships it in qttranslations5-l10n) on `app`.
// Returns the translator, a child of `app`, or null when there is none.
QTranslator* InstallQtTranslation(QCoreApplication& app, const QLocale& locale);

// Decides from the environment and, when English is wanted, installs the
// embedded catalogue on `app` (the translator is the application's child);
// for a Chinese user it installs Qt's Chinese catalogue instead. Returns
// whether English was installed; call it before the first window is built.
bool InstallTranslation(QCoreApplication& app);

} // namespace lumo

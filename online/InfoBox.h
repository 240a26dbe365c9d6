#pragma once

#include <QString>

// The message of an online operation: an information box without parent,
// the same text as title and body, one OK button. It is application modal
// but shown without a nested event loop, so the window that asked for it
// may close or be destroyed meanwhile. The box deletes itself when closed.
class InfoBox {
public:
    static void Show(const QString& text);
};

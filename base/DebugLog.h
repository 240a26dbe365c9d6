#pragma once

#include <QLoggingCategory>

// The category "lumo": diagnostics for developers (usage-event bodies,
// stored lists, what a button did). Its debug lines are off unless turned on
// with QT_LOGGING_RULES="lumo.debug=true"; its warnings always show.
Q_DECLARE_LOGGING_CATEGORY(lumoDebug)

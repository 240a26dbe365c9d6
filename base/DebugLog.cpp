#include "base/DebugLog.h"

Q_LOGGING_CATEGORY(lumoDebug, "lumo", QtWarningMsg)

#!/usr/bin/env bash
# The English catalogue is complete and is what lupdate makes of the code:
# no unfinished entry, no text added or removed in the code since the last
# `cmake --build build --target lumo_update_translations`, and no Chinese
# text in the window folders left out of translation.
#   check_catalogue.sh SOURCE_DIR WORK_DIR   (LUPDATE names lupdate)
set -euo pipefail
src=$1 work=$2
ts=$src/i18n/yuvlumo_en.ts
status=0

if grep -n 'type="unfinished"\|type="vanished"\|type="obsolete"' "$ts"; then
    echo "FAIL: these entries of i18n/yuvlumo_en.ts need an English translation" >&2
    status=1
fi

cp "$ts" "$work/catalogue.ts"
bash "$src/i18n/lupdate.sh" "$work/catalogue.ts"
if ! diff -u "$ts" "$work/catalogue.ts"; then
    echo "FAIL: i18n/yuvlumo_en.ts does not match the code; build the lumo_update_translations target" \
         "and translate what it adds" >&2
    status=1
fi

# Han characters start with the UTF-8 bytes E4 to E9. Comments, font family
# names and texts already marked for translation are fine.
cd "$src"
unmarked=$(LC_ALL=C grep -rnP '[\xe4-\xe9][\x80-\xbf]{2}' --include='*.cpp' --include='*.h' \
               app open online analysis render base |
           LC_ALL=C grep -vP '^[^:]+:\d+:\s*//' |
           LC_ALL=C grep -vP '\btr\(|QT_TRANSLATE_NOOP\(|QCoreApplication::translate\(|QFont\b|setFamily\(' || true)
if [ -n "$unmarked" ]; then
    echo "$unmarked"
    echo "FAIL: the Chinese texts above are not marked for translation (tr, QT_TRANSLATE_NOOP)" >&2
    status=1
fi

[ "$status" -eq 0 ] && echo "catalogue: $(grep -c '<message' "$ts") entries, all translated and current"
exit "$status"

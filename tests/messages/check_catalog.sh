#!/bin/sh
# Every text marked with tr(...) or N_(...) in the product code has a Chinese
# translation in po/zh_CN.po, neither missing nor fuzzy, with the same {fields}.
set -eu
export LC_ALL=C.UTF-8
root=$1
command -v xgettext >/dev/null && command -v msgcmp >/dev/null || { echo "gettext's tools are missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$root"
find text font cli app messages studio -name '*.cpp' -o -name '*.h' 2>/dev/null | sort > "$work/files"
xgettext --from-code=UTF-8 --language=C++ --keyword= --keyword=tr:2 --keyword=N_ \
    --keyword=trn:2,3 --keyword=NP_:1,2 \
    --files-from="$work/files" --output="$work/charlib.pot" 2>"$work/xgettext.log" \
    || { cat "$work/xgettext.log"; exit 1; }
msgcmp --use-untranslated po/zh_CN.po "$work/charlib.pot" || { echo "po/zh_CN.po lacks the texts above"; exit 1; }
# msgcmp matches by msgid alone: the plurals must match too.
pairs() { msgexec -i "$1" sh -c 'printf "%s\t%s\0" "$MSGEXEC_MSGID" "${MSGEXEC_MSGID_PLURAL-}"' | sort -zu; }
pairs "$work/charlib.pot" > "$work/code.pairs"
pairs po/zh_CN.po > "$work/po.pairs"
comm -z -23 "$work/code.pairs" "$work/po.pairs" | tr '\0' '\n' > "$work/plurals"
[ ! -s "$work/plurals" ] || { cat "$work/plurals"; echo "po/zh_CN.po: the plurals above differ"; exit 1; }
msgfmt --check-format --statistics -o /dev/null po/zh_CN.po
for kind in --untranslated --only-fuzzy; do
    left=$(msgattrib $kind --no-obsolete po/zh_CN.po)
    [ -z "$left" ] || { printf '%s\n' "$left"; echo "po/zh_CN.po: texts $kind"; exit 1; }
done
# The same {fields} on both sides; an entry with a plural has them in its
# msgid, its msgid_plural and its msgstr[0] alike (msgexec gives each msgstr[n]
# on standard input, with MSGEXEC_MSGID_PLURAL set).
msgexec -i po/zh_CN.po sh -c '
    [ "$MSGEXEC_MSGID" = "" ] && exit 0
    fields() { grep -o "{[a-z0-9_:]*}" | sort | tr -d "\n"; }
    a=$(printf %s "$MSGEXEC_MSGID" | fields)
    b=$(fields)
    [ "$a" = "$b" ] || { printf "fields differ: %s\n" "$MSGEXEC_MSGID" >&2; exit 1; }
    [ -z "${MSGEXEC_MSGID_PLURAL-}" ] && exit 0
    p=$(printf %s "$MSGEXEC_MSGID_PLURAL" | fields)
    [ "$p" = "$b" ] || { printf "fields differ: %s\n" "$MSGEXEC_MSGID_PLURAL" >&2; exit 1; }' > /dev/null

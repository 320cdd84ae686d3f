#!/usr/bin/env bash
# The Debian package of a build tree: its files, control fields and maintainer scripts, the
# menu entry and the man pages. Packs into a temporary folder and installs nothing.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  exit 1
fi
deb=$tmp/quorvex_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: no $deb" >&2; ls "$tmp" >&2; exit 1; }

# Exactly these files: no test, bench or fuzz program slips in.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$(printf './usr/%s\n' bin/quorvex bin/quorvex-cli bin/quorvex-capture \
  share/applications/quorvex.desktop share/icons/hicolor/scalable/apps/quorvex.svg \
  share/man/man1/quorvex-cli.1.gz share/man/man1/quorvex.1.gz \
  share/man/man1/quorvex-capture.1.gz lib/systemd/system/quorvex-serve.service | sort)
[ "$files" = "$expected" ] || fail "package files:"$'\n'"$files"

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libpcap0.8 libcap2 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libpng16-16 \
  libxcb1 libxcb-keysyms1 liblo7 libcpp-httplib0.11 adduser libcap2-bin; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
for field in Maintainer Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field"
done

# Maintainer scripts, run against stand-ins that log their calls instead of acting.
dpkg-deb -e "$deb" "$tmp/control"
for script in postinst postrm; do
  [ -x "$tmp/control/$script" ] && sh -n "$tmp/control/$script" || fail "$script"
done
mkdir "$tmp/stubs"
for cmd in getent addgroup delgroup dpkg-statoverride chgrp chmod setcap; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\ncase " $STUB_FAIL " in *" %s "*) exit 1 ;; esac\n' \
    "$cmd" "$tmp/calls" "$cmd" >"$tmp/stubs/$cmd"
  chmod +x "$tmp/stubs/$cmd"
done
maintainer() {  # STUB_FAIL SCRIPT ARG: runs it, prints its calls
  : >"$tmp/calls"
  STUB_FAIL=$1 PATH="$tmp/stubs:$PATH" sh "$tmp/control/$2" "$3" >"$tmp/said" 2>/dev/null ||
    echo "exit $?"
  grep -v '^dpkg-statoverride' "$tmp/calls" | tr '\n' ';'
}
# No group yet and a file system without capabilities: the helper alone gets the rights, in an
# order that keeps the capabilities (chgrp drops them), and the package still installs. The
# window and quorvex-cli get none.
want="getent group quorvex;addgroup --quiet --system quorvex;"
want+="chgrp quorvex /usr/bin/quorvex-capture;chmod 750 /usr/bin/quorvex-capture;"
want+="setcap cap_net_raw,cap_net_admin=ep /usr/bin/quorvex-capture;"
got=$(maintainer "getent dpkg-statoverride setcap" postinst configure)
[ "$got" = "$want" ] || fail "postinst configure: $got"
# Installing says how a user may capture.
grep -q 'sudo usermod -aG quorvex' "$tmp/said" || fail "postinst names no usermod: $(cat "$tmp/said")"
got=$(maintainer "" postinst configure)  # the group exists, the administrator set overrides
[ "$got" = "getent group quorvex;" ] || fail "postinst with overrides: $got"
[ "$(maintainer "" postrm remove)" = "" ] || fail "postrm remove touched the group"
[[ "$(maintainer "" postrm purge)" == *"delgroup --quiet --system quorvex;" ]] ||
  fail "postrm purge kept the group"

dpkg-deb -x "$deb" "$tmp/root"

# A user outside the group runs the programs (no capability of their own): a capture through
# the helper is refused with a word of the group and usermod.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 755 "$tmp"
  said=$(setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$tmp/root/usr/bin/quorvex-cli" monitor --interface lo --seconds 1 2>&1) &&
    fail "a user outside the group captured"
  grep -q 'group quorvex.*sudo usermod -aG quorvex' <<<"$said" ||
    fail "no word of the group and usermod for a user outside it: $said"
  chmod 700 "$tmp"
else
  echo "note: not root, a user outside the group is not tried" >&2
fi
problems=$(desktop-file-validate "$tmp/root/usr/share/applications/quorvex.desktop" 2>&1) ||
  fail "desktop entry"
[ -z "$problems" ] || fail "desktop entry: $problems"

# The man pages render without a warning, carry the version and cover every command and option
# the program has (looked up unhyphenated).
for page in quorvex quorvex-cli quorvex-capture; do
  LC_ALL=C MANWIDTH=80 MANROFFOPT=-rHY=0 man --warnings -l "$tmp/root/usr/share/man/man1/$page.1.gz" \
    >"$tmp/$page.txt" 2>"$tmp/$page.err" || fail "man $page"
  [ ! -s "$tmp/$page.err" ] || fail "man $page: $(cat "$tmp/$page.err")"
  grep -q "Quorvex $version" "$tmp/$page.txt" || fail "man $page lacks the version"
done
# The helper's page names each of its options.
for opt in $("$tmp/root/usr/bin/quorvex-capture" --help | grep -oE '^ +--[a-z][a-z-]*'); do
  grep -q -- "$opt" "$tmp/quorvex-capture.txt" || fail "quorvex-capture.1 lacks $opt"
done
cli=$tmp/root/usr/bin/quorvex-cli
commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z]\+\) .*/\1/p')
[ -n "$commands" ] || fail "no commands in quorvex-cli --help"
for cmd in $commands; do
  section=$(awk -v c="   $cmd" '$0 == c { on = 1; next } on && /^ {0,3}[^ ]/ { on = 0 } on' \
    "$tmp/quorvex-cli.txt")
  [ -n "$section" ] || fail "quorvex-cli.1 lacks the command $cmd"
  for opt in $("$cli" "$cmd" --help | grep -oE '^ +--[a-z][a-z-]*'); do
    grep -q -- "$opt" <<<"$section" || fail "quorvex-cli.1 lacks $cmd $opt"
  done
done

exit $failed

#!/usr/bin/env bash
# The arm64 package against this machine's build: its files and dependencies, and its
# quorvex-cli, run under qemu-user, records capture files to the same bytes as the native one.
#   arm64_check.sh ARM64_DEB NATIVE_QUORVEX_CLI
# The emulated program loads the :arm64 C library of dpkg multiarch (scripts/setup.sh --arm64);
# not -L /usr/aarch64-linux-gnu, whose loader is of another libc revision (see the toolchain).
set -euo pipefail
deb=$(realpath "$1") native=$(realpath "$2")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

[ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || fail "not an arm64 package"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$(printf './usr/%s\n' bin/quorvex-cli bin/quorvex-capture \
  share/man/man1/quorvex-cli.1.gz share/man/man1/quorvex-capture.1.gz \
  lib/systemd/system/quorvex-serve.service | sort)
[ "$files" = "$expected" ] || fail "package files:"$'\n'"$files"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libpcap0.8 libcap2 libpng16-16 liblo7 libcpp-httplib0.11 adduser libcap2-bin; do
  grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q 'qt6' <<<"$depends" && fail "the headless package depends on Qt: $depends"

dpkg-deb -x "$deb" "$tmp/root"
arm=("qemu-aarch64-static" "$tmp/root/usr/bin/quorvex-cli")
file -b "${arm[1]}" | grep -q 'ARM aarch64' || fail "quorvex-cli is not an arm64 program"
# A hang in the emulator must fail the check, not CI's clock.
run() { timeout -s KILL 120 "$@"; }

[ "$(run "${arm[@]}" --version)" = "$("$native" --version)" ] || fail "--version differs"
helper=$(run qemu-aarch64-static "$tmp/root/usr/bin/quorvex-capture" --version) || true
[ "$helper" = "quorvex-capture $(dpkg-deb -f "$deb" Version)" ] || fail "quorvex-capture: $helper"
run "${arm[@]}" inspect --help >/dev/null || fail "arm64 quorvex-cli inspect --help"

# Art-Net and sACN shows, each recorded by both builds: the same .RGB byte for byte, and the
# arm64 build reads back what it wrote and draws the same preview.
# The preview names its file, so each build records into a folder of its own.
cd "$tmp"
mkdir native arm64
"$native" send --pcap artnet.pcap --universes 0-7 --frames 150 --fps 44 >/dev/null 2>&1
"$native" send --pcap sacn.pcap --protocol sacn --sync --universes 0-3 --channels 510 \
  --frames 120 >/dev/null 2>&1
for show in artnet sacn; do
  "$native" record --file $show.pcap --output native/$show.RGB --frames 100 --rgbw \
    >/dev/null 2>&1 || fail "native record $show"
  (cd arm64 && run "${arm[@]}" record --file ../$show.pcap --output $show.RGB --frames 100 \
    --rgbw) >"$show.log" 2>&1 || fail "arm64 record $show: $(tail -3 "$show.log")"
  [ -s native/$show.RGB ] && cmp native/$show.RGB arm64/$show.RGB ||
    fail "$show: the arm64 recording differs"
  run "${arm[@]}" inspect arm64/$show.RGB >/dev/null || fail "arm64 inspect $show"
  (cd native && "$native" preview $show.RGB >/dev/null 2>&1)
  (cd arm64 && run "${arm[@]}" preview $show.RGB >/dev/null 2>&1) || fail "arm64 preview $show"
  cmp -s native/$show.RGB.png arm64/$show.RGB.png || fail "$show: the arm64 preview differs"
done

[ $failed = 0 ] && echo "arm64 package: 1 passed, 0 failed" || exit 1

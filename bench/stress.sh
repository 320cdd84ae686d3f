#!/usr/bin/env bash
# Live stress test of `quorvex-cli record --interface`: a generated capture of the test pattern
# is replayed at a set rate into one end of a veth pair and recorded on the other end, each end
# in a network namespace of its own, so that no packet leaves them. The recorder's writer can be
# stalled from outside (strace delays one of its writes). Needs root; removes what it creates.
#
#   bench/stress.sh [--build DIR] [--rate PPS|line|top | --speed X] [--universes N]
#                   [--channels C] [--frames N] [--fps F] [--stall-ms MS --stall-at-write N]
#                   [--method mmsg|send|inject] [--helper] [--no-pin] [--nice N] [--work DIR]
#                   [--keep] [-- extra quorvex-cli record arguments, e.g. --buffer-mb 64]
#
#   --rate     packets per second; "line" is 1 GbE for the capture's packet size (default),
#              "top" as fast as this machine sends
#   --speed X  the capture's own timing (--fps frames per second), X times faster
#   --frames   frames in the capture (default 6000), --fps its timing (default 40)
#   --stall-ms MS --stall-at-write N
#              holds the recorder's N-th write for MS ms: the N-th write and the N-th writev of
#              each thread, which for the writer thread is frame N, or the N-th batch of frames
#              when it writes several at once
#   --helper   record through the capture helper, as a user of the installed package does:
#              quorvex-cli runs without any capability (root with the securebit noroot) and
#              reads the packet stream of quorvex-capture, whose copy alone gets the capture
#              capabilities
#   --no-pin   no CPU pinning (default: the replayer on the last CPU, the recorder on the rest)
#   --nice N   run the replayer and the recorder at nice N (e.g. -10 on a machine busy with
#              other work, to measure the recorder rather than the neighbours)
#   --work DIR folder for the capture and the recording (default /dev/shm: memory, not a disk)
#   --keep     keep the capture, the recording and the logs
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
rate=line speed="" universes=170 channels=512 frames=6000 fps=40
stall_ms=0 stall_at=0 method=mmsg pin=1 keep=0 niceness=0 helper=0
work_parent=/dev/shm
[ -d "$work_parent" ] || work_parent="${TMPDIR:-/tmp}"
record_extra=()

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit "${1:-1}"; }
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --speed) speed=$2; shift 2 ;;
    --universes) universes=$2; shift 2 ;;
    --channels) channels=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    --fps) fps=$2; shift 2 ;;
    --stall-ms) stall_ms=$2; shift 2 ;;
    --stall-at-write) stall_at=$2; shift 2 ;;
    --method) method=$2; shift 2 ;;
    --helper) helper=1; shift ;;
    --no-pin) pin=0; shift ;;
    --nice) niceness=$2; shift 2 ;;
    --work) work_parent=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage 0 ;;
    --) shift; record_extra=("$@"); break ;;
    *) echo "stress.sh: unknown option $1" >&2; usage ;;
  esac
done
if [ "$stall_ms" -gt 0 ] && [ "$stall_at" -le 0 ]; then
  echo "stress.sh: --stall-ms needs --stall-at-write N" >&2; exit 1
fi
if [ "$stall_ms" -gt 0 ] && [ "$helper" -eq 1 ]; then
  echo "stress.sh: --stall-ms would hold the helper's writes too; use one or the other" >&2; exit 1
fi
[ "$(id -u)" -eq 0 ] || { echo "stress.sh: needs root (network namespaces)" >&2; exit 1; }
cli="$build/cli/quorvex-cli"
capture_helper="$build/capture_helper/quorvex-capture"
replay="$build/bench/quorvex_replay"
check="$build/bench/quorvex_stress_check"
for b in "$cli" "$replay" "$check"; do
  [ -x "$b" ] || { echo "stress.sh: $b is missing; build quorvex-cli, quorvex_replay and quorvex_stress_check" >&2; exit 1; }
done
if [ "$helper" -eq 1 ] && [ ! -x "$capture_helper" ]; then
  echo "stress.sh: $capture_helper is missing; build quorvex-capture" >&2; exit 1
fi
if [ "$helper" -eq 1 ] && ! command -v setcap >/dev/null; then
  echo "stress.sh: --helper needs setcap (scripts/setup.sh installs it)" >&2; exit 1
fi
if [ "$stall_ms" -gt 0 ] && ! command -v strace >/dev/null; then
  echo "stress.sh: the stall needs strace (scripts/setup.sh installs it)" >&2; exit 1
fi

# Everything this run creates carries its process id, so two runs never share anything.
tag="qxs$$"
ns_tx="$tag-tx" ns_rx="$tag-rx" if_tx="${tag}t" if_rx="${tag}r"
work=$(mktemp -d "$work_parent/quorvex-stress-XXXXXX")
replay_pid="" recorder_pid="" cli_pid=""

cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  for p in $replay_pid $cli_pid $recorder_pid; do kill -KILL "$p" 2>/dev/null || true; done
  for p in $replay_pid $recorder_pid; do wait "$p" 2>/dev/null || true; done
  ip netns del "$ns_tx" 2>/dev/null || true
  ip netns del "$ns_rx" 2>/dev/null || true
  ip link del "$if_tx" 2>/dev/null || true
  if [ "$keep" -eq 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_rx() { ip netns exec "$ns_rx" "$@"; }
field() { sed -n "s|^$1: *||p" "$2" | head -n 1; }

load_at_start=$(cut -d' ' -f1 /proc/loadavg)

# The capture.
"$cli" send --pcap "$work/show.pcap" --universes "0-$((universes - 1))" --channels "$channels" \
  --frames "$frames" --fps "$fps" >"$work/send.log" 2>&1 || { cat "$work/send.log" >&2; exit 1; }

# The wire: a veth pair with one end in each namespace, IPv6 off so the kernel sends nothing
# of its own.
ip netns add "$ns_tx"
ip netns add "$ns_rx"
ip link add "$if_tx" type veth peer name "$if_rx"
ip link set "$if_tx" netns "$ns_tx"
ip link set "$if_rx" netns "$ns_rx"
for side in "$ns_tx $if_tx" "$ns_rx $if_rx"; do
  set -- $side
  ip netns exec "$1" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
  ip netns exec "$1" ip link set "$2" up
done

# On two cores the replayer's busy clock gets one to itself; the kernel's receive path runs on
# it too, in the sending call.
cpus=$(nproc)
replay_cpus="" record_cpus=""
if [ "$pin" -eq 1 ] && [ "$cpus" -ge 2 ]; then
  replay_cpus=$((cpus - 1))
  record_cpus=0
  if [ "$cpus" -gt 2 ]; then record_cpus="0-$((cpus - 2))"; fi
fi
replay_pin=(nice -n "$niceness") record_pin=(nice -n "$niceness")
if [ -n "$replay_cpus" ]; then
  replay_pin+=(taskset -c "$replay_cpus")
  record_pin+=(taskset -c "$record_cpus")
fi

# The replayer loads the whole capture first and waits for the go.
replay_args=(--interface "$if_tx" --pcap "$work/show.pcap" --method "$method"
             --ready "$work/replay.ready" --go "$work/replay.go")
if [ -n "$speed" ]; then replay_args+=(--speed "$speed")
elif [ "$rate" = line ]; then replay_args+=(--line-rate)
elif [ "$rate" = top ]; then replay_args+=(--top-speed)
else replay_args+=(--pps "$rate"); fi
"${replay_pin[@]}" ip netns exec "$ns_tx" "$replay" "${replay_args[@]}" >"$work/replay.log" 2>&1 &
replay_pid=$!
while [ ! -e "$work/replay.ready" ]; do
  kill -0 "$replay_pid" 2>/dev/null || { cat "$work/replay.log" >&2; exit 1; }
  sleep 0.05
done

# The recorder, under strace when its writer is to be stalled.
mkdir -p "$work/out"
record_args=(record --interface "$if_rx" --output "$work/out/stress.RGB")
case " ${record_extra[*]} " in *" --frames "*) ;; *) record_args+=(--frames 65535) ;; esac
record_args+=("${record_extra[@]}")
recorder=("$cli" "${record_args[@]}")
if [ "$helper" -eq 1 ]; then
  # An installation of the two programs in which only the helper holds the capabilities.
  mkdir "$work/bin"
  cp "$cli" "$capture_helper" "$work/bin/"
  setcap cap_net_raw,cap_net_admin=ep "$work/bin/quorvex-capture"
  recorder=(setpriv --securebits +noroot,+noroot_locked --inh-caps -all --
            "$work/bin/quorvex-cli" "${record_args[@]}")
fi
if [ "$stall_ms" -gt 0 ]; then
  # Only writes stop the recorder (seccomp filter); each is logged with its thread and time.
  recorder=(strace -f --seccomp-bpf -qq -ttt -s 0 -o "$work/strace.log" -e trace=write,writev
            -e "inject=write,writev:delay_enter=$((stall_ms * 1000)):when=$stall_at"
            -- "${recorder[@]}")
fi
"${record_pin[@]}" ip netns exec "$ns_rx" "${recorder[@]}" >"$work/record.log" 2>&1 &
recorder_pid=$!
cli_pid=$recorder_pid
if [ "$stall_ms" -gt 0 ]; then
  # strace forks test children of its own first: wait for the one that became quorvex-cli.
  cli_pid=""
  for _ in $(seq 250); do
    for c in $(cat "/proc/$recorder_pid/task/$recorder_pid/children" 2>/dev/null || true); do
      [ "$(cat "/proc/$c/comm" 2>/dev/null || true)" = quorvex-cli ] && cli_pid=$c
    done
    [ -n "$cli_pid" ] && break
    sleep 0.02
  done
  [ -n "$cli_pid" ] || { echo "stress.sh: quorvex-cli did not start under strace" >&2; exit 1; }
fi
until grep -q "surveying the interface" "$work/record.log" 2>/dev/null; do
  kill -0 "$recorder_pid" 2>/dev/null || { cat "$work/record.log" >&2; exit 1; }
  sleep 0.02
done
touch "$work/replay.go"

# The peak memory is sampled while the recorder runs, since it may end by itself (--frames).
writer_tid="" peak_kb="" ring_kb="" helper_pid="" helper_peak_kb=""
peak_of() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status" 2>/dev/null || true; }
# The kernel's capture ring is mapped into the process that opened the device and counts in its
# resident memory.
ring_of() {
  local range name v=0
  while read -r range _ _ _ _ name; do
    case "$name" in socket:*) v=$((v + (16#${range#*-} - 16#${range%-*}) / 1024)) ;; esac
  done 2>/dev/null <"/proc/$1/maps" || true
  echo "$v"
}
sample_recorder() {
  local v c
  v=$(peak_of "$cli_pid")
  [ -n "$v" ] && peak_kb=$v
  if [ -z "$writer_tid" ]; then
    writer_tid=$(grep -l '^quorvex-writer$' /proc/"$cli_pid"/task/*/comm 2>/dev/null |
                 head -n 1 | cut -d/ -f5 || true)
  fi
  if [ "$helper" -eq 1 ] && [ -z "$helper_pid" ]; then
    for c in $(cat /proc/"$cli_pid"/task/*/children 2>/dev/null || true); do
      [ "$(cat "/proc/$c/comm" 2>/dev/null || true)" = quorvex-capture ] && helper_pid=$c
    done
  fi
  if [ -n "$helper_pid" ]; then
    v=$(peak_of "$helper_pid")
    [ -n "$v" ] && helper_peak_kb=$v
  fi
  if [ -z "$ring_kb" ] && [ -n "$writer_tid" ]; then
    if [ "$helper" -eq 0 ]; then ring_kb=$(ring_of "$cli_pid")
    elif [ -n "$helper_pid" ]; then ring_kb=$(ring_of "$helper_pid"); fi
  fi
}
while kill -0 "$replay_pid" 2>/dev/null; do
  sample_recorder
  sleep 0.1
done
replay_rc=0
wait "$replay_pid" || replay_rc=$?
replay_pid=""
[ "$replay_rc" -eq 0 ] || { cat "$work/replay.log" >&2; exit 1; }

# Done when the recording has stopped growing for longer than the stall.
temp="$work/out/temp.RGB"
quiet_needed=$(( (stall_ms + 500) / 100 ))
quiet=0 last=-1
while [ "$quiet" -lt "$quiet_needed" ] && kill -0 "$recorder_pid" 2>/dev/null; do
  size=$(stat -c %s "$temp" 2>/dev/null || echo 0)
  if [ "$size" = "$last" ]; then quiet=$((quiet + 1)); else quiet=0; last=$size; fi
  sample_recorder
  sleep 0.1
done
sample_recorder
rx_dropped=$(in_rx cat "/sys/class/net/$if_rx/statistics/rx_dropped" 2>/dev/null || echo "?")
kill -INT "$cli_pid" 2>/dev/null || true
for _ in $(seq 300); do kill -0 "$recorder_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$recorder_pid" 2>/dev/null; then
  kill -INT "$cli_pid" 2>/dev/null || true   # a second Ctrl-C gives up
  for _ in $(seq 50); do kill -0 "$recorder_pid" 2>/dev/null || break; sleep 0.1; done
fi
if kill -0 "$recorder_pid" 2>/dev/null; then
  echo "stress.sh: the recorder did not stop on Ctrl-C; killed" >&2
  kill -KILL "$cli_pid" "$recorder_pid" 2>/dev/null || true
fi
record_rc=0
wait "$recorder_pid" || record_rc=$?
recorder_pid="" cli_pid=""

# What came out.
summary=$(grep '^Recording check:' "$work/record.log" | tail -n 1 || true)
seconds=$(echo "$summary" | sed -n 's/.* in \([0-9.]*\) s .*/\1/p')
missing=$(echo "$summary" | sed -n 's/.*, \([0-9]*\) frames missing upstream.*/\1/p')
kernel=$(echo "$summary" | sed -n 's/.*, \([0-9]*\) packets dropped by the kernel.*/\1/p')
sent=$(field "packets sent" "$work/replay.log" | awk '{print $1}')
reached=$(field "reached pps" "$work/replay.log")
result="$work/out/stress.RGB"
if [ ! -f "$result" ]; then
  echo "stress.sh: no recording was saved (quorvex-cli exit $record_rc)" >&2
  cat "$work/record.log" >&2
  exit 1
fi
inspect_rc=0
"$cli" inspect "$result" >"$work/inspect.log" 2>&1 || inspect_rc=$?
check_args=(--universes "$universes" --channels "$channels")
[ -n "$missing" ] && check_args+=(--missing-upstream "$missing")
[ -n "$seconds" ] && check_args+=(--seconds "$seconds" --fps "$(awk -v r="$reached" -v u="$universes" 'BEGIN { print r / u }')")
"$check" "$result" "${check_args[@]}" >"$work/check.log" || true

echo "machine:          $cpus CPUs, load average $load_at_start at the start$([ "$niceness" != 0 ] && echo ", nice $niceness")"
echo "capture:          $universes universes x $channels channels, $frames frames, $((universes * frames)) packets"
echo "replayer:         $method$([ -n "$replay_cpus" ] && echo " on CPU $replay_cpus"), target $(field "target pps" "$work/replay.log") packets/s"
echo "reached:          $reached packets/s, $(field "wire Mbit/s" "$work/replay.log") Mbit/s on the wire, max lag $(field "max lag ms" "$work/replay.log") ms"
echo "recorder:         quorvex-cli record$([ "$helper" -eq 1 ] && echo " through quorvex-capture")$([ -n "$record_cpus" ] && echo " on CPU $record_cpus") ${record_extra[*]}"
if [ "$stall_ms" -gt 0 ]; then
  # strace -f -o lines: TID TIME write(FD, ...) = BYTES (DELAYED)
  delayed=$(awk '/\(DELAYED\)/ { printf "%s%s (%s bytes)", n++ ? ", " : "", $1, $(NF - 1) }' \
            "$work/strace.log")
  if [ -z "$delayed" ]; then
    echo "stall:            none: no thread made $stall_at writes (or writevs)"
  else
    echo "stall:            write $stall_at delayed $stall_ms ms in thread $delayed; the writer thread is ${writer_tid:-?}"
  fi
fi
echo "frames sent:      $((sent / universes))"
echo "frames recorded:  $(field "frames recorded" "$work/check.log") (frames $(field "first frame" "$work/check.log") to $(field "last frame" "$work/check.log") of the pattern)"
echo "incomplete:       $(field "incomplete frames" "$work/check.log")"
echo "frames lost:      $(field "frames lost" "$work/check.log")"
sed -n 's/^  after frame/                  gap after frame/p; s/^  incomplete: /                  incomplete: /p; s/^gaps longer than/                  gaps longer than/p' "$work/check.log"
echo "kernel drops:     ${kernel:-?} packets (recorder's count), veth receive drops: $rx_dropped"
if [ "$helper" -eq 1 ]; then
  echo "peak memory:      $(awk -v k="${peak_kb:-0}" -v h="${helper_peak_kb:-0}" -v r="${ring_kb:-0}" 'BEGIN { printf "recorder %.1f MiB; helper %.1f MiB, of which %.1f MiB is the capture ring (VmHWM)", k / 1024, h / 1024, r / 1024 }')"
else
  echo "peak memory:      $(awk -v k="${peak_kb:-0}" -v r="${ring_kb:-0}" 'BEGIN { printf "%.1f MiB (VmHWM), of which %.1f MiB is the capture ring", k / 1024, r / 1024 }')"
fi
echo "recorder exit:    $record_rc; inspect (exit $inspect_rc): $(tail -n 1 "$work/inspect.log")"
echo "recorder said:    $summary"

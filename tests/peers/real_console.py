#!/usr/bin/env python3
"""Records a real lighting console and checks every frame against an independent capture.

With --sender ola, the sender is OLA (Debian's ola): olad's Art-Net plugin broadcasting 4
universes that ola_streaming_client feeds a new look every 25 ms. OLA numbers each port on its
own, its ports' counters run apart, and the order of the universes changes from frame to frame.

With --sender dmxnet, the sender is instead a small program on the npm library dmxnet (an
Art-Net node that numbers each universe itself and resends a universe's unchanged data with its
next number once a second), from --dmxnet DIR, a folder holding node_modules/dmxnet.

QLC+ (Debian's qlcplus, headless) plays a looping chaser with fades on 4 universes x 512
channels out of its Art-Net or E1.31 plugin, in a network namespace of its own, to the
recorder's end of a veth pair in a second namespace. quorvex-cli records there while dumpcap
captures the same interface. The frames QLC+ sent are decoded from that capture with tshark
(each universe's packets in the order of their sequence numbers: QLC+ sends every universe in
every frame, numbering each universe's packets on its own), and every recorded frame must be
one of them, whole, in order, none left out. Both namespaces are removed at the end.

Exit 0 when every run is whole, 1 when one is not, 77 when it cannot run here (not root, or
QLC+, dumpcap or tshark missing).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
UNIVERSES = 4
CHANNELS = 512


def sh(*args, check=True, **kw):
    return subprocess.run(list(args), check=check, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, **kw)


class Network:
    """Two namespaces joined by a veth pair, named after this process so that runs in parallel
    never meet."""

    def __init__(self, tag):
        pid = os.getpid() % 100000
        self.console = f"qvcon{pid}{tag}"
        self.recorder = f"qvrec{pid}{tag}"
        self.console_if = f"qvc{pid}{tag}"
        self.recorder_if = f"qvr{pid}{tag}"
        net = 100 + (os.getpid() + ord(tag)) % 150
        self.console_ip = f"10.77.{net}.1"
        self.recorder_ip = f"10.77.{net}.2"
        self.remove()
        for ns in (self.console, self.recorder):
            sh("ip", "netns", "add", ns)
        sh("ip", "link", "add", self.console_if, "type", "veth", "peer", "name", self.recorder_if)
        for ns, ifname, ip in ((self.console, self.console_if, self.console_ip),
                               (self.recorder, self.recorder_if, self.recorder_ip)):
            sh("ip", "link", "set", ifname, "netns", ns)
            sh("ip", "-n", ns, "addr", "add", ip + "/24", "brd", "+", "dev", ifname)
            sh("ip", "-n", ns, "link", "set", ifname, "up")
            sh("ip", "-n", ns, "link", "set", "lo", "up")

    def remove(self):
        for ns in (getattr(self, "console", None), getattr(self, "recorder", None)):
            if ns:
                sh("ip", "netns", "del", ns, check=False)


def workspace(path, protocol, console_ip, recorder_ip):
    """A QLC+ workspace: a 512-channel dimmer pack per universe, three looks, and a chaser
    that fades between them for ever, started with the workspace."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<!DOCTYPE Workspace>",
             '<Workspace xmlns="http://www.qlcplus.org/Workspace" CurrentWindow="FunctionManager">',
             " <Creator><Name>Q Light Controller Plus</Name><Version>4.12.6</Version>"
             "<Author>quorvex</Author></Creator>", ' <Engine Autostart="3">', "  <InputOutputMap>"]
    for u in range(UNIVERSES):
        lines.append(f'   <Universe Name="Universe {u + 1}" ID="{u}">')
        if protocol == "artnet":
            lines.append(f'    <Output Plugin="ArtNet" UID="{console_ip}" Line="0">')
            lines.append(f'     <PluginParameters outputIP="{recorder_ip}" outputUni="{u}"/>')
        else:
            lines.append(f'    <Output Plugin="E1.31" UID="{console_ip}" Line="0">')
            lines.append(f'     <PluginParameters multicast="0" ucastIP="{recorder_ip}" '
                         f'universe="{u + 1}"/>')
        lines.append("    </Output>")
        lines.append("   </Universe>")
    lines.append("  </InputOutputMap>")
    for u in range(UNIVERSES):
        lines.append(f"  <Fixture><Manufacturer>Generic</Manufacturer><Model>Generic</Model>"
                     f"<Mode>{CHANNELS} Channel</Mode><ID>{u}</ID><Name>Dimmers {u}</Name>"
                     f"<Universe>{u}</Universe><Address>0</Address>"
                     f"<Channels>{CHANNELS}</Channels></Fixture>")
    for look in range(3):
        lines.append(f'  <Function ID="{look}" Type="Scene" Name="Look {look}">'
                     '<Speed FadeIn="0" FadeOut="0" Duration="0"/>')
        for u in range(UNIVERSES):
            values = ",".join(f"{c},{(look * 85 + c * 3 + u * 40) % 256}" for c in range(CHANNELS))
            lines.append(f'   <FixtureVal ID="{u}">{values}</FixtureVal>')
        lines.append("  </Function>")
    lines.append('  <Function ID="3" Type="Chaser" Name="Loop">')
    lines.append('   <Speed FadeIn="700" FadeOut="0" Duration="800"/>')
    lines.append("   <Direction>Forward</Direction><RunOrder>Loop</RunOrder>")
    lines.append('   <SpeedModes FadeIn="Common" FadeOut="Common" Duration="Common"/>')
    for look in range(3):
        lines.append(f'   <Step Number="{look}" FadeIn="700" Hold="100" FadeOut="0">{look}</Step>')
    lines.append("  </Function>")
    lines.append(" </Engine>")
    lines.append("</Workspace>")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def sent_frames(capture, protocol):
    """The frames QLC+ sent, decoded by tshark. QLC+ numbers each universe's packets on its
    own, 1..255 and round to 1, and its universe threads may start a few frames apart: a
    universe's offset is how far its number runs ahead of universe 0's in the bursts where
    every universe sent one packet, and frame k holds each universe's packet numbered k plus
    its offset."""
    if protocol == "artnet":
        fields = ["artnet.output.universe", "artnet.output.sequence"]
        extra = []
        data_at = 18
    else:
        fields = ["acn.dmx.universe", "acn.dmx.seq_number"]
        extra = ["--enable-heuristic", "acn", "-o", "acn.dmx_enable:TRUE"]
        data_at = 126
    args = ["tshark", "-r", capture, *extra, "-T", "fields", "-e", "frame.time_epoch"]
    for f in fields + ["udp.payload"]:
        args += ["-e", f]
    packets = []  # (time, universe, unwrapped number, data)
    last = {}
    for line in sh(*args).stdout.splitlines():
        parts = line.split("\t")
        if len(parts) != 4 or not parts[1] or not parts[3]:
            continue
        universe = int(parts[1]) - (0 if protocol == "artnet" else 1)
        seq = int(parts[2])
        if universe in last:
            prev_seq, prev = last[universe]
            step = (seq - prev_seq) % 255 if seq and prev_seq else (seq - prev_seq) % 256
            number = prev + step
        else:
            number = seq
        last[universe] = (seq, number)
        payload = bytes.fromhex(parts[3].replace(":", ""))
        packets.append((float(parts[0]), universe, number, payload[data_at:data_at + CHANNELS]))
    # Bursts: packets less than 5 ms apart.
    offsets = {}
    burst = {}
    votes = {}
    previous = None
    for t, u, number, _ in packets + [(float("inf"), -1, 0, b"")]:
        if previous is not None and t - previous > 0.005:
            if len(burst) == UNIVERSES and all(len(v) == 1 for v in burst.values()):
                for v in range(UNIVERSES):
                    d = burst[v][0] - burst[0][0]
                    votes.setdefault(v, {}).setdefault(d, 0)
                    votes[v][d] += 1
            burst = {}
        burst.setdefault(u, []).append(number)
        previous = t
    for v in range(UNIVERSES):
        offsets[v] = max(votes.get(v, {0: 1}).items(), key=lambda kv: kv[1])[0]
    by_frame = {}
    for _, u, number, data in packets:
        by_frame.setdefault(number - offsets[u], {})[u] = data
    frames = []
    latest = {}
    for k in sorted(by_frame):
        latest.update(by_frame[k])
        if len(latest) == UNIVERSES:
            frames.append(b"".join(latest[u] for u in range(UNIVERSES)))
    return frames, offsets


DMXNET_SENDER = """
const dmxlib = require('dmxnet');
const [consoleIp, recorderIp] = process.argv.slice(2);
const net = new dmxlib.dmxnet({log: {level: 'error'}, hosts: [consoleIp]});
const senders = [0, 1, 2, 3].map(u => net.newSender({ip: recorderIp, universe: u,
                                                     base_refresh_interval: 1000}));
let f = 0;
setInterval(() => {
  f++;
  senders.forEach((s, u) => {
    for (let c = 0; c < 512; c++) s.prepChannel(c, (5 * f + 17 * u + c) & 255);
    s.transmit();
  });
}, 25);
"""


OLA_PLUGINS = ["artnet", "dmx4linux", "dummy", "e131", "espnet", "ftdidmx", "gpio", "karate",
               "kinet", "libftdi", "milinst", "nanoleaf", "opendmx", "openpixelcontrol", "osc",
               "pathport", "renard", "sandnet", "shownet", "spi", "stageprofi", "uartdmx",
               "usbdmx", "usbpro", "usbserial"]

OLA_FEEDER = """
import subprocess, sys, time
procs = [subprocess.Popen(["ola_streaming_client", "-u", str(u)], stdin=subprocess.PIPE,
                          text=True) for u in range(4)]
f = 0
t = time.time()
while True:
    f += 1
    for u, p in enumerate(procs):
        p.stdin.write(",".join(str((5 * f + 17 * u + c) % 256) for c in range(512)) + "\\n")
        p.stdin.flush()
    t += 0.025
    time.sleep(max(0, t - time.time()))
"""


def start_ola(net, work):
    """olad in the console's namespace (it will not run as root), its Art-Net plugin alone,
    broadcasting on the veth; returns the daemon and its feeder."""
    config = tempfile.mkdtemp(prefix="quorvex-ola-")
    os.chmod(config, 0o777)
    for plugin in OLA_PLUGINS:
        with open(os.path.join(config, f"ola-{plugin}.conf"), "w") as f:
            if plugin == "artnet":
                f.write(f"enabled = true\nip = {net.console_ip}\nalways_broadcast = true\n"
                        "use_limited_broadcast = false\nuse_loopback = false\n"
                        "output_ports = 4\n")
            else:
                f.write("enabled = false\n")
    for name in os.listdir(config):
        os.chmod(os.path.join(config, name), 0o666)
    in_ns = ["ip", "netns", "exec", net.console]
    daemon = subprocess.Popen([*in_ns, "runuser", "-u", "nobody", "--", "olad", "-c", config,
                               "--no-http"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while True:
        patched = all(sh(*in_ns, "ola_patch", "-d", "1", "-p", str(u), "-u", str(u),
                         check=False).returncode == 0 for u in range(UNIVERSES))
        if patched or time.time() > deadline:
            break
        time.sleep(0.3)
    script = os.path.join(work, "ola_feeder.py")
    with open(script, "w") as f:
        f.write(OLA_FEEDER)
    feeder = subprocess.Popen([*in_ns, sys.executable, script], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    return daemon, feeder, config


def dmxnet_frames(capture):
    """dmxnet's frames: each universe's packets in order, less its resends of unchanged data;
    frame k holds each universe's k-th."""
    out = sh("tshark", "-r", capture, "-T", "fields", "-e", "artnet.output.universe",
             "-e", "udp.payload").stdout
    per = {}
    for line in out.splitlines():
        parts = line.split("\t")
        if len(parts) != 2 or not parts[0]:
            continue
        data = bytes.fromhex(parts[1].replace(":", ""))[18:18 + CHANNELS]
        mine = per.setdefault(int(parts[0]), [])
        if not mine or mine[-1] != data:
            mine.append(data)
    count = min((len(v) for v in per.values()), default=0)
    return [b"".join(per[u][k] for u in range(UNIVERSES)) for k in range(count)], {}


def recorded_frames(path):
    data = open(path, "rb").read()
    count = int.from_bytes(data[14:16], "big")
    length = int.from_bytes(data[16:20], "big")
    ports = int.from_bytes(data[20:22], "big")
    header = 535 + 13 * ports
    return [data[header + i * length:header + (i + 1) * length] for i in range(count)]


def one_run(cli, protocol, frames, load, work, tag, sender="qlcplus", dmxnet=None):
    net = Network(tag)
    console = recorder = capture = hog = feeder = None
    config = None
    try:
        show = os.path.join(work, "show.qxw")
        workspace(show, protocol, net.console_ip, net.recorder_ip)
        independent = os.path.join(work, "independent.pcap")
        output = os.path.join(work, "qlc.RGB")
        for stale in (independent, output, output + ".json"):
            if os.path.exists(stale):
                os.remove(stale)
        capture = subprocess.Popen(["ip", "netns", "exec", net.recorder, "dumpcap", "-q", "-P",
                                    "-i", net.recorder_if, "-f", "udp", "-w", independent],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        recorder = subprocess.Popen(["ip", "netns", "exec", net.recorder, cli, "record",
                                     "--interface", net.recorder_if, "--output", output,
                                     "--frames", str(frames), "--universes-per-port", "4",
                                     "--timeout", "30"],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        time.sleep(1.0)  # dumpcap and the recorder listen before the console starts
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=work,
                   XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
        if sender == "ola":
            console, feeder, config = start_ola(net, work)
        elif sender == "dmxnet":
            script = os.path.join(work, "dmxnet_sender.js")
            with open(script, "w") as f:
                f.write(DMXNET_SENDER)
            env["NODE_PATH"] = os.path.join(dmxnet, "node_modules")
            command = ["node", script, net.console_ip, net.recorder_ip]
        else:
            command = ["qlcplus", "-o", show, "-p"]
        if sender != "ola":
            console = subprocess.Popen(["ip", "netns", "exec", net.console, *command], env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if load:
            # A busy core beside the console: its timer runs late and its universe threads
            # send the frames they owe back to back.
            hog = subprocess.Popen(["ip", "netns", "exec", net.console, sys.executable, "-c",
                                    "while True: pass"])
        log, _ = recorder.communicate(timeout=120)
        time.sleep(0.3)
    finally:
        for p in (hog, feeder, console):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
        if capture and capture.poll() is None:
            capture.send_signal(signal.SIGINT)
            capture.wait(timeout=10)
        net.remove()
        if config:
            shutil.rmtree(config, ignore_errors=True)
    if recorder.returncode != 0:
        return False, f"record exited {recorder.returncode}:\n{log}"
    sent, _ = (dmxnet_frames(independent) if sender in ("dmxnet", "ola")
               else sent_frames(independent, protocol))
    got = recorded_frames(output)
    if len(got) != frames:
        return False, f"{len(got)} frames recorded, {frames} asked for:\n{log}"
    # Held looks repeat frames: the run may start at any of the frames equal to the first.
    starts = [k for k, s in enumerate(sent) if s == got[0]]
    if not starts:
        return False, f"the first recorded frame is none the sender sent (torn):\n{log}"
    def matching(k):
        return next((i for i, frame in enumerate(got)
                     if k + i >= len(sent) or sent[k + i] != frame), len(got))

    first = max(starts, key=matching)
    i = matching(first)
    if i < len(got):
        where = [j + 1 for j, s in enumerate(sent) if s == got[i]]
        return False, (f"recorded frame {i + 1} is not sent frame {first + i + 1}"
                       f" (it matches {where or 'none'}):\n{log}")
    check = next((l for l in log.splitlines() if "Recording check" in l), "")
    return True, f"{len(got)} frames whole from sent frame {first + 1}; {check}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--protocol", choices=["artnet", "sacn"], default="artnet")
    parser.add_argument("--frames", type=int, default=200)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--load", action="store_true", help="keep a core busy beside QLC+")
    parser.add_argument("--keep", help="a folder to keep the last run's capture and recording "
                        "in, and each run that was not whole in a folder run-N beside them")
    parser.add_argument("--sender", choices=["qlcplus", "dmxnet", "ola"], default="qlcplus")
    parser.add_argument("--dmxnet", help="folder holding node_modules/dmxnet")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("skipped: needs root for network namespaces")
        return SKIP
    if args.sender != "qlcplus" and args.protocol != "artnet":
        parser.error(f"{args.sender} sends Art-Net here")
    needed = ["dumpcap", "tshark", "ip",
              *{"qlcplus": ["qlcplus"], "dmxnet": ["node"],
                "ola": ["olad", "ola_patch", "ola_streaming_client", "runuser"]}[args.sender]]
    if args.sender == "dmxnet" and not os.path.isdir(
            os.path.join(args.dmxnet or "", "node_modules", "dmxnet")):
        print("skipped: no dmxnet (give --dmxnet DIR, after npm install dmxnet there)")
        return SKIP
    for tool in needed:
        if not shutil.which(tool):
            print(f"skipped: {tool} is not installed")
            return SKIP
    whole = 0
    with tempfile.TemporaryDirectory(prefix="quorvex-console-") as scratch:
        work = args.keep or scratch
        os.makedirs(work, exist_ok=True)
        for run in range(args.runs):
            ok, said = one_run(os.path.abspath(args.cli), args.protocol, args.frames, args.load,
                               work, chr(ord("a") + run % 26), args.sender,
                               os.path.abspath(args.dmxnet) if args.dmxnet else None)
            whole += ok
            if not ok and args.keep:
                failed = os.path.join(work, f"run-{run + 1}")
                os.makedirs(failed, exist_ok=True)
                for name in ("independent.pcap", "qlc.RGB", "qlc.RGB.json"):
                    if os.path.exists(os.path.join(work, name)):
                        shutil.copy(os.path.join(work, name), failed)
                with open(os.path.join(failed, "said.txt"), "w") as f:
                    f.write(said + "\n")
            print(f"run {run + 1}: {'whole' if ok else 'NOT WHOLE'}: {said}", flush=True)
    print(f"{whole} of {args.runs} runs whole ({args.sender} {args.protocol}, {args.frames} frames"
          f"{', busy core' if args.load else ''})")
    return 0 if whole == args.runs else 1


if __name__ == "__main__":
    sys.exit(main())

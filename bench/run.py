#!/usr/bin/env python3
"""The updater against the limits of this machine, as ratios: each figure is the median over
--runs interleaved runs of (ours / the limit measured right beside it). Builds the bench preset
(build-bench/), prints a table and writes bench/results.json. Not part of .ci/run.

  download   1 GiB from nginx (TLS on 127.0.0.1, sendfile on) with DownLoadManager, written to
             disk, against `curl -o` and against a bare QNetworkAccessManager discarding bytes
  memory     peak RSS growth of that download over idle, 1 GiB and 256 MiB
  signed     the same 1 GiB stated and signed: CPU per GiB with the digest, and the time from
             startDownload (what the click calls) to the first installer byte on disk
  windows    under a private Xvfb, against bench/minimalwindow: time to MapNotify, idle RSS,
             the silent daily check (less its fixed 200 ms delay), the hand-off to a running
             updater

`read-cap` instead settles the download's read buffer cap: bare Qt reading as DownLoadManager
does (readAll, written to disk, flushed) with a cap of 2, 4, 8 and 16 MiB, each in interleaved
pairs with bare Qt discarding; it prints the median throughput ratio and RSS growth per cap, and
the cap to keep. `--quick` proves the machinery (64 MiB downloads, any number of runs) and
writes nothing to bench/.

Every updater run gets HOME, XDG_* and TMPDIR of its own. Needs nginx, curl, Xvfb and libX11's
headers: `bash scripts/bench` installs them first.
"""
import argparse
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "data"
MIB = 1024 * 1024
GIB = 1024 * MIB
RESULT_KEYS = ["download_vs_qt", "download_vs_curl", "cpu_vs_curl", "cpu_per_gib_signed",
               "first_byte_ms", "rss_growth_mib_1gib", "rss_growth_mib_256mib",
               "startup_vs_minimal", "dailycheck_vs_minimal", "handoff_vs_minimal",
               "idle_rss_vs_minimal", "handoff_first_cpu_ms"]
CAPS_MIB = [2, 4, 8, 16]
CAP_GOAL_RATIO = 0.9
CAP_GOAL_RSS_MIB = 16
DAILY_CHECK_DELAY_MS = 200

NGINX_CONF = """worker_processes 1;
master_process off;
daemon off;
pid {work}/nginx.pid;
error_log {work}/nginx-error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 5;
    client_body_temp_path {work}/nginx-tmp;
    proxy_temp_path {work}/nginx-tmp;
    fastcgi_temp_path {work}/nginx-tmp;
    uwsgi_temp_path {work}/nginx-tmp;
    scgi_temp_path {work}/nginx-tmp;
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{port} ssl;
        ssl_certificate {data}/server.pem;
        ssl_certificate_key {data}/server.key;
        # Lets nginx hand TLS to the kernel (and so use sendfile) where the kernel can.
        ssl_conf_command Options KTLS;
        root {work}/www;
    }}
}}
"""


class BenchError(Exception):
    pass


def say(text):
    print("== " + text, file=sys.stderr, flush=True)


def wait_for(seconds, check):
    """Polls check() for up to seconds (set-up only; nothing measured waits this way)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.1)
    return False


def values(path):
    """The key=value lines of a driver's or bench_launch's output; the last one of a key wins."""
    found = {}
    for line in Path(path).read_text(errors="replace").splitlines():
        key, sep, value = line.partition("=")
        if sep:
            found[key] = value
    return found


def number(found, key, path):
    try:
        return float(found[key])
    except (KeyError, ValueError):
        raise BenchError(f"no {key} in {path}") from None


def build_targets():
    presets = json.loads((ROOT / "CMakePresets.json").read_text())
    return next(p["targets"] for p in presets["buildPresets"] if p["name"] == "bench")


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build_dir).resolve()
        self.work = self.build / "bench-run"
        self.big = 64 * MIB if args.quick else GIB
        self.small = 16 * MIB if args.quick else 256 * MIB
        self.raw = {}
        self.processes = []
        self.sandboxes = 0
        self.tools = {
            "updater": self.build / "GlimmerpaneUpdater",
            "service": self.build / "fixtures/versionservice/glimmerpane-version-service",
            "sign": self.build / "tools/sign/glimmerpane-sign",
            "driver": self.build / "bench/bench_download_driver",
            "minimal": self.build / "bench/minimalwindow",
            "launch": self.build / "bench/bench_launch",
        }

    # --- set-up ---------------------------------------------------------------------------
    def build_tools(self):
        say(f"building the bench preset in {self.build}")
        quiet = {"stdout": subprocess.DEVNULL, "cwd": ROOT, "check": True}
        subprocess.run(["cmake", "--preset", "bench", "-B", str(self.build)], **quiet)
        subprocess.run(["cmake", "--build", str(self.build), "--parallel", str(os.cpu_count()),
                        "--target", *build_targets()], **quiet)

    def check_tools(self):
        for tool in self.tools.values():
            if not os.access(tool, os.X_OK):
                raise BenchError(f"missing {tool}")

    def start(self, command, output, **kwargs):
        with open(output, "w") as out:
            process = subprocess.Popen([str(c) for c in command], stdout=out,
                                       stderr=subprocess.STDOUT, **kwargs)
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
        for leftover in (self.work / "dl").glob("*"):
            leftover.unlink()

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        for sub in ("www", "dl", "out", "sandboxes"):
            (self.work / sub).mkdir(parents=True)
        # Every connection goes straight to 127.0.0.1, for curl and Qt alike.
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                     "ALL_PROXY", "no_proxy", "NO_PROXY", "QT_QPA_PLATFORM", "QT_NO_GLIB"):
            os.environ.pop(name, None)
        # Sparse files: no disk space, read as zeros (TLS does not compress, so zeros cost what
        # any bytes cost).
        for name, size in (("installer-big.exe", self.big), ("installer-small.exe", self.small)):
            with open(self.work / "www" / name, "wb") as f:
                f.truncate(size)

    def sign_installer(self):
        """A vendor key of this run, and the three members that state and sign the installer."""
        sign = str(self.tools["sign"])
        key = self.work / "vendor.key"
        self.public_key = subprocess.run([sign, "keygen", str(key)], check=True,
                                         capture_output=True, text=True).stdout.strip()
        members = json.loads(subprocess.run(
            [sign, "sign", str(key), str(self.work / "www/installer-big.exe"), "--version", "1.0.9"],
            check=True, capture_output=True, text=True).stdout)
        if int(members["size"]) != self.big:
            raise BenchError(f"glimmerpane-sign stated {members['size']} bytes")
        self.signed_options = ["--size", str(members["size"]), "--sha256", members["sha256"],
                               "--signature", members["signature"], "--version", "1.0.9"]

    def start_nginx(self):
        say("starting nginx on 127.0.0.1")
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        (self.work / "nginx-tmp").mkdir(exist_ok=True)
        for _ in range(8):
            port = random.randint(20000, 49999)
            (self.work / "nginx.conf").write_text(
                NGINX_CONF.format(work=self.work, port=port, data=DATA))
            process = self.start([nginx, "-p", self.work, "-e", self.work / "nginx-error.log",
                                  "-c", self.work / "nginx.conf"], self.work / "nginx.out")
            origin = f"https://127.0.0.1:{port}"
            probe = ["curl", "-sf", "--cacert", str(DATA / "ca.pem"), "-r", "0-0", "-o",
                     os.devnull, origin + "/installer-small.exe"]
            if wait_for(5, lambda: subprocess.run(probe).returncode == 0):
                self.url_big = origin + "/installer-big.exe"
                self.url_small = origin + "/installer-small.exe"
                return
            process.kill()
            process.wait()
        sys.stderr.write((self.work / "nginx-error.log").read_text(errors="replace"))
        raise BenchError("nginx did not start")

    def start_service(self, name, latest):
        """A version service offering `latest`; returns its origin."""
        output = self.work / f"{name}.out"
        self.start([self.tools["service"], "--port", "0", "--latest-version", latest,
                    "--release-notes", self.work / "notes.txt",
                    "--certificate", DATA / "server.pem", "--key", DATA / "server.key",
                    "--request-log", self.work / f"{name}.requests"], output)
        listening = lambda: [l for l in output.read_text().splitlines()
                             if l.startswith("listening on ")]
        if not wait_for(10, listening):
            raise BenchError(f"the version service did not start: {output.read_text()}")
        return listening()[0][len("listening on "):]

    def start_display(self):
        say("starting the version services and Xvfb")
        (self.work / "notes.txt").write_text(
            "Glimmerpane 1.0.9\n- Faster start-up on large libraries\n"
            "- The dark theme follows the system again\n")
        self.newer_service = self.start_service("newer", "1.0.9")
        self.same_service = self.start_service("same", "108")
        display_file = self.work / "xvfb.display"
        with open(display_file, "w") as display:
            self.start(["Xvfb", "-displayfd", str(display.fileno()), "-noreset", "-screen", "0",
                        "1024x768x24", "-nolisten", "tcp"], self.work / "xvfb.out",
                       pass_fds=(display.fileno(),))
        if not wait_for(10, lambda: display_file.read_text().strip()):
            raise BenchError("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + display_file.read_text().strip()

    def sandbox(self, service=None):
        """The environment of one run: a fresh HOME, XDG_* and TMPDIR, and for the updater the
        version service to ask."""
        self.sandboxes += 1
        box = self.work / "sandboxes" / str(self.sandboxes)
        for sub in ("home", "data", "config", "cache", "runtime", "tmp"):
            (box / sub).mkdir(parents=True)
        (box / "runtime").chmod(0o700)
        env = dict(os.environ, HOME=str(box / "home"), XDG_DATA_HOME=str(box / "data"),
                   XDG_CONFIG_HOME=str(box / "config"), XDG_CACHE_HOME=str(box / "cache"),
                   XDG_RUNTIME_DIR=str(box / "runtime"), TMPDIR=str(box / "tmp"))
        if service:
            env.update(GLIMMERPANE_VERSION_SERVICE=service,
                       GLIMMERPANE_EXTRA_CA_CERTS=str(DATA / "ca.pem"))
        return env

    # --- running and recording ----------------------------------------------------------------
    def run(self, command, output, errors, env=None, timeout=900):
        """Runs one measured program, its key=value lines to output; returns them."""
        with open(output, "w") as out, open(self.work / errors, "a") as err:
            try:
                code = subprocess.run([str(c) for c in command], stdout=out, stderr=err, env=env,
                                      timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise BenchError(f"{Path(command[0]).name} took over {timeout} s") from None
        found = values(output)
        found["returncode"] = code
        return found

    def record(self, name, value):
        self.raw.setdefault(name, []).append(value)
        with open(self.work / "raw.tsv", "a") as raw:
            raw.write(f"{name}\t{value:.4f}\n")

    def median(self, name):
        return statistics.median(self.raw[name]) if self.raw.get(name) else float("nan")

    def driver(self, output, *arguments, env=None):
        env = dict(os.environ, GLIMMERPANE_EXTRA_CA_CERTS=str(DATA / "ca.pem"), **(env or {}))
        return self.run([self.tools["driver"], *arguments], output, "driver.err", env)

    def download_manager(self, url, size, output, signed=False):
        target = self.work / "dl/installer.exe"
        options = self.signed_options if signed else []
        env = {"GLIMMERPANE_UPDATE_PUBLIC_KEY": self.public_key} if signed else None
        found = self.driver(output, "manager", url, target, *options, env=env)
        target.unlink(missing_ok=True)
        if found["returncode"] != 0:
            raise BenchError(f"DownLoadManager download failed ({found})")
        if int(found.get("bytes", -1)) != size:
            raise BenchError(f"DownLoadManager wrote {found.get('bytes')} bytes, not {size}")
        return found

    def download_bare(self, output, *options):
        found = self.driver(output, "bare", self.url_big, *options)
        if found["returncode"] != 0 or int(found.get("bytes", -1)) != self.big:
            raise BenchError(f"bare QNetworkAccessManager failed or short ({found})")
        return found

    def download_curl(self, output):
        target = self.work / "dl/curl.exe"
        found = self.run([self.tools["launch"], "--", "curl", "--silent", "--show-error", "--fail",
                          "--cacert", DATA / "ca.pem", "--output", target, "--write-out",
                          "curl_s=%{time_total}\\ncurl_bytes=%{size_download}\\n",
                          self.url_big], output, "curl.err")
        target.unlink(missing_ok=True)
        if found.get("exit_code") != "0" or int(found.get("curl_bytes", -1)) != self.big:
            raise BenchError(f"curl failed or short ({found})")
        return found

    def launch(self, output, env, *program, options=(), errors="updater.err"):
        return self.run([self.tools["launch"], *options, "--", *program], output, errors, env)

    # --- 1-3: download throughput, CPU and memory -----------------------------------------------
    def downloads(self, runs):
        say(f"download: {runs} runs of {self.big // MIB} MiB each with DownLoadManager (unsigned"
            " and signed), curl and bare Qt (interleaved)")
        gib = self.big / GIB
        mib = self.big / MIB
        cpu = lambda f, path: (number(f, "user_ms", path) + number(f, "sys_ms", path)) / 1000
        orders = [["manager", "curl", "bare", "signed"], ["curl", "bare", "signed", "manager"],
                  ["bare", "signed", "manager", "curl"], ["signed", "manager", "curl", "bare"]]
        for i in range(runs):
            out = {who: self.work / f"out/{who}.{i + 1}" for who in orders[0]}
            got = {}
            for who in orders[i % 4]:
                if who == "manager":
                    got[who] = self.download_manager(self.url_big, self.big, out[who])
                elif who == "signed":
                    got[who] = self.download_manager(self.url_big, self.big, out[who], True)
                elif who == "curl":
                    got[who] = self.download_curl(out[who])
                else:
                    got[who] = self.download_bare(out[who])
            m, b, c, s = got["manager"], got["bare"], got["curl"], got["signed"]
            # MiB/s from each client's own transfer time (request to last byte on disk, TLS
            # included); CPU seconds per GiB.
            ms = mib / (number(m, "wall_ms", out["manager"]) / 1000)
            bs = mib / (number(b, "wall_ms", out["bare"]) / 1000)
            cs = mib / number(c, "curl_s", out["curl"])
            mcpu, bcpu = cpu(m, out["manager"]) / gib, cpu(b, out["bare"]) / gib
            ccpu = cpu(c, out["curl"]) / gib
            self.record("manager_mib_s", ms)
            self.record("bare_mib_s", bs)
            self.record("curl_mib_s", cs)
            self.record("manager_cpu_s_per_gib", mcpu)
            self.record("curl_cpu_s_per_gib", ccpu)
            self.record("bare_cpu_s_per_gib", bcpu)
            self.record("download_vs_qt", ms / bs)
            self.record("download_vs_curl", ms / cs)
            self.record("cpu_vs_curl", mcpu / ccpu)
            self.record("cpu_per_gib_signed", cpu(s, out["signed"]) / gib)
            self.record("first_byte_ms", number(s, "first_byte_ms", out["signed"]))
            self.record("rss_growth_mib_1gib", self.rss_growth(m, out["manager"]))
            self.record("progress_signals_per_gib", number(m, "progress_signals", out["manager"]))
            print(f"   run {i + 1}: MiB/s DownLoadManager {ms:.0f}, curl {cs:.0f}, bare Qt"
                  f" {bs:.0f}; CPU s {mcpu:.2f}, {ccpu:.2f}, {bcpu:.2f}", file=sys.stderr)
        for i in range(runs):
            out = self.work / f"out/manager256.{i + 1}"
            found = self.download_manager(self.url_small, self.small, out)
            self.record("rss_growth_mib_256mib", self.rss_growth(found, out))

    @staticmethod
    def rss_growth(found, path):
        return (number(found, "rss_peak_kib", path) - number(found, "rss_idle_kib", path)) / 1024

    # --- 4 and 7: start-up to a mapped window, and idle memory ----------------------------------
    def startup(self, runs):
        # Both run until 1.5 s after their window was mapped (the updater's version check is
        # done by then), then RSS is read and they are terminated.
        say(f"start-up and idle memory: {runs} pairs of the updater and the minimal window")
        options = ("--map", "--settle", "1500", "--rss", "--term")
        for i in range(runs):
            u, w = (self.work / f"out/startup-{who}.{i + 1}" for who in ("updater", "minimal"))
            got = {}
            for who in (["updater", "minimal"] if i % 2 == 0 else ["minimal", "updater"]):
                if who == "updater":
                    got[who] = self.launch(u, self.sandbox(self.newer_service),
                                           self.tools["updater"], "version=1.0.8", options=options)
                else:
                    got[who] = self.launch(w, self.sandbox(), self.tools["minimal"],
                                           options=options, errors="minimal.err")
            for who, path in (("updater", u), ("minimal", w)):
                if got[who].get("map_ms", "-1") == "-1" or "rss_kib" not in got[who]:
                    raise BenchError(f"no window in {path}")
            umap, wmap = number(got["updater"], "map_ms", u), number(got["minimal"], "map_ms", w)
            urss, wrss = number(got["updater"], "rss_kib", u), number(got["minimal"], "rss_kib", w)
            self.record("updater_map_ms", umap)
            self.record("minimal_map_ms", wmap)
            self.record("updater_idle_rss_mib", urss / 1024)
            self.record("minimal_idle_rss_mib", wrss / 1024)
            self.record("startup_vs_minimal", umap / wmap)
            self.record("idle_rss_vs_minimal", urss / wrss)

    def minimal_quit(self, output):
        found = self.launch(output, self.sandbox(), self.tools["minimal"], "--quit-after-show",
                            options=("--map",), errors="minimal.err")
        if found.get("exit_code") != "0":
            raise BenchError(f"the minimal window exited with {found.get('exit_code')}")
        return number(found, "exit_ms", output)

    # --- 5: the silent daily check that finds nothing ------------------------------------------
    def daily_check(self, runs):
        say(f"daily check: {runs} pairs of `version=1.0.8 dailyCheck` (same version offered) and"
            " the minimal start and quit")
        for i in range(runs):
            d, w = (self.work / f"out/daily-{who}.{i + 1}" for who in ("updater", "minimal"))
            for who in (["updater", "minimal"] if i % 2 == 0 else ["minimal", "updater"]):
                if who == "updater":
                    found = self.launch(d, self.sandbox(self.same_service), self.tools["updater"],
                                        "version=1.0.8", "dailyCheck")
                    if found.get("exit_code") != "0":
                        raise BenchError(f"the daily check exited with {found.get('exit_code')}")
                    check = number(found, "exit_ms", d) - DAILY_CHECK_DELAY_MS
                else:
                    minimal = self.minimal_quit(w)
            self.record("dailycheck_ms", check)
            self.record("minimal_start_quit_ms", minimal)
            self.record("dailycheck_vs_minimal", check / minimal)

    # --- 6: the hand-off to a running updater ----------------------------------------------------
    @staticmethod
    def cpu_ns(pid):
        """CPU time of all of a process's threads, in nanoseconds."""
        tasks = list(Path(f"/proc/{pid}/task").glob("*/schedstat"))
        if tasks:
            return sum(int(t.read_text().split()[0]) for t in tasks)
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) * 1e9 / os.sysconf("SC_CLK_TCK")

    def handoff(self, runs):
        say(f"hand-off: {runs} second starts while an updater runs, paired with the minimal"
            " start and quit")
        env = self.sandbox(self.newer_service)
        first_out = self.work / "out/first"
        with open(first_out, "w") as out, open(self.work / "updater.err", "a") as err:
            first = subprocess.Popen(
                [str(self.tools["launch"]), "--map", "--settle", "1500", "--ready", "--timeout",
                 "600000", "--", str(self.tools["updater"]), "version=1.0.8"],
                stdout=out, stderr=err, env=env)
        self.processes.append(first)
        if not wait_for(20, lambda: values(first_out).get("ready") == "1"):
            raise BenchError("the first updater did not show its window")
        first_pid = int(values(first_out)["pid"])
        try:
            for i in range(runs):
                h, w = (self.work / f"out/handoff{who}.{i + 1}" for who in ("", "-minimal"))
                for who in (["updater", "minimal"] if i % 2 == 0 else ["minimal", "updater"]):
                    if who == "updater":
                        before = self.cpu_ns(first_pid)
                        found = self.launch(h, env, self.tools["updater"], "version=1.0.8")
                        if found.get("exit_code") != "0":
                            raise BenchError("the second start exited with"
                                             f" {found.get('exit_code')}")
                        time.sleep(0.5)  # the first instance raises its window
                        self.record("handoff_first_cpu_ms", (self.cpu_ns(first_pid) - before) / 1e6)
                        second = number(found, "exit_ms", h)
                    else:
                        minimal = self.minimal_quit(w)
                self.record("handoff_ms", second)
                self.record("handoff_minimal_ms", minimal)
                self.record("handoff_vs_minimal", second / minimal)
            os.kill(first_pid, signal.SIGTERM)
        except (FileNotFoundError, ProcessLookupError):
            raise BenchError("the first updater ended during the hand-offs") from None
        first.wait(timeout=30)

    # --- the read buffer cap -------------------------------------------------------------------
    def read_cap(self, runs):
        say(f"read cap: {runs} rounds of {self.big // MIB} MiB, bare Qt reading as DownLoadManager"
            f" does with a cap of {', '.join(map(str, CAPS_MIB))} MiB, each paired with bare Qt")
        target = self.work / "dl/cap.bin"
        for i in range(runs):
            caps = CAPS_MIB[i % len(CAPS_MIB):] + CAPS_MIB[:i % len(CAPS_MIB)]
            for j, cap in enumerate(caps):
                c, b = self.work / f"out/cap{cap}.{i + 1}", self.work / f"out/cap{cap}-bare.{i + 1}"
                for who in (["capped", "bare"] if (i + j) % 2 == 0 else ["bare", "capped"]):
                    if who == "capped":
                        target.unlink(missing_ok=True)  # the driver appends
                        capped = self.download_bare(c, "--cap", str(cap * MIB), "--file", target,
                                                    "--flush", "--readall")
                        target.unlink()
                    else:
                        bare = self.download_bare(b)
                self.record(f"cap_{cap}_vs_qt",
                            number(bare, "wall_ms", b) / number(capped, "wall_ms", c))
                self.record(f"cap_{cap}_rss_growth_mib", self.rss_growth(capped, c))
        rows = []
        for cap in CAPS_MIB:
            ratio, rss = self.median(f"cap_{cap}_vs_qt"), self.median(f"cap_{cap}_rss_growth_mib")
            rows.append((cap, ratio, rss, ratio >= CAP_GOAL_RATIO and rss <= CAP_GOAL_RSS_MIB))
        keep = next((cap for cap, _, _, met in rows if met), CAPS_MIB[0])
        quick = " (--quick: not a measurement)" if self.args.quick else ""
        print(f"\nread buffer cap: medians of {runs} interleaved pairs per cap, {os.cpu_count()}"
              f" CPUs, {self.describe()}{quick}\n")
        print(f"{'cap':>7}  {'vs bare Qt':>10}  {'RSS growth MiB':>14}  both goals")
        for cap, ratio, rss, met in rows:
            print(f"{cap:>3} MiB  {ratio:>10.3f}  {rss:>14.1f}  {'met' if met else '-'}")
        print(f"\nkeep {keep} MiB: the smallest cap that reaches {CAP_GOAL_RATIO}x bare Qt with RSS"
              f" growth within {CAP_GOAL_RSS_MIB} MiB, else {CAPS_MIB[0]} MiB")
        summary = {"caps_mib": CAPS_MIB, "keep_mib": keep, "runs": runs, "cpus": os.cpu_count(),
                   "rows": [{"cap_mib": cap, "vs_qt": round(ratio, 3),
                             "rss_growth_mib": round(rss, 3)} for cap, ratio, rss, _ in rows]}
        (self.work / "read-cap.json").write_text(json.dumps(summary, indent=2) + "\n")

    # --- the table and bench/results.json --------------------------------------------------------
    def describe(self):
        found = subprocess.run(["git", "-C", str(ROOT), "describe", "--always", "--dirty"],
                               capture_output=True, text=True).stdout.strip()
        return found or "?"

    def report(self, runs, started):
        m, cpus = self.median, os.cpu_count()
        lines = [f'  "{key}": {m(key):.3f},' for key in RESULT_KEYS]
        lines += [f'  "runs": {runs},', f'  "cpus": {cpus}']
        quick = self.args.quick
        json_path = self.work / "results-quick.json" if quick else ROOT / "bench/results.json"
        json_path.write_text("{\n" + "\n".join(lines) + "\n}\n")

        verdict = lambda met: "met" if met else "MISSED"
        g1, g256 = m("rss_growth_mib_1gib"), m("rss_growth_mib_256mib")
        print(f"\nGlimmerpane Updater bench: medians of {runs} interleaved runs, {cpus} CPUs,"
              f" {self.describe()}{' (--quick: not a measurement)' if quick else ''}\n")
        print(f"{'figure':<22} {'median':>7}  {'goal':<8} {'result':<7} beside it (medians)")

        def row(key, goal="-", met=None, beside=""):
            result = "-" if met is None else verdict(met)
            print(f"{key:<22} {m(key):7.3f}  {goal:<8} {result:<7} {beside}")

        row("download_vs_qt", ">= 0.9", m("download_vs_qt") >= 0.9,
            f"DownLoadManager {m('manager_mib_s'):.1f} MiB/s, bare Qt {m('bare_mib_s'):.1f} MiB/s")
        row("download_vs_curl", beside=f"curl {m('curl_mib_s'):.1f} MiB/s")
        row("cpu_vs_curl", beside=f"{m('manager_cpu_s_per_gib'):.2f} s/GiB, curl"
            f" {m('curl_cpu_s_per_gib'):.2f} s/GiB, bare Qt {m('bare_cpu_s_per_gib'):.2f} s/GiB")
        row("cpu_per_gib_signed",
            beside="CPU s/GiB of a stated and signed download, the SHA-256 included")
        row("first_byte_ms", beside="ms from startDownload (the click) to the first installer"
            " byte on disk, signed")
        row("rss_growth_mib_1gib", "<= 16", g1 <= 16 and g1 <= g256 + 2,
            "MiB over idle (met: also within 2 MiB of 256 MiB's)")
        row("rss_growth_mib_256mib", "<= 16", g256 <= 16, "MiB over idle")
        row("startup_vs_minimal", "<= 1.25", m("startup_vs_minimal") <= 1.25,
            f"to MapNotify: updater {m('updater_map_ms'):.1f} ms,"
            f" minimal {m('minimal_map_ms'):.1f} ms")
        row("dailycheck_vs_minimal", "<= 1.5", m("dailycheck_vs_minimal") <= 1.5,
            f"check {m('dailycheck_ms'):.1f} ms + {DAILY_CHECK_DELAY_MS} ms delay, minimal"
            f" start+quit {m('minimal_start_quit_ms'):.1f} ms")
        row("handoff_vs_minimal", "<= 1.0", m("handoff_vs_minimal") <= 1.0,
            f"second start {m('handoff_ms'):.1f} ms, minimal {m('handoff_minimal_ms'):.1f} ms")
        row("handoff_first_cpu_ms", beside="CPU ms of the running updater per hand-off")
        row("idle_rss_vs_minimal", "<= 1.5", m("idle_rss_vs_minimal") <= 1.5,
            f"updater {m('updater_idle_rss_mib'):.1f} MiB,"
            f" minimal {m('minimal_idle_rss_mib'):.1f} MiB")
        shown = lambda path: os.path.relpath(path, ROOT)
        print(f"\nwrote {shown(json_path)}; every run: {shown(self.work / 'raw.tsv')};"
              f" took {time.time() - started:.0f} s")


def main():
    env = os.environ.get
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", nargs="?", choices=["all", "read-cap"], default="all")
    parser.add_argument("--runs", type=int, default=int(env("BENCH_RUNS", "0")) or None,
                        help="interleaved runs per figure (default 7, at least 5; BENCH_RUNS)")
    parser.add_argument("--quick", action="store_true",
                        help="a smoke run: 64 MiB downloads, 1 run unless --runs, nothing written"
                             " to bench/")
    parser.add_argument("--build-dir", default=env("BENCH_BUILD_DIR", str(ROOT / "build-bench")),
                        help="the bench preset's build folder (BENCH_BUILD_DIR)")
    parser.add_argument("--skip-build", action="store_true", default=bool(env("BENCH_SKIP_BUILD")),
                        help="use what is built (BENCH_SKIP_BUILD=1)")
    args = parser.parse_args()
    runs = args.runs or (1 if args.quick else 7)
    if runs < (1 if args.quick else 5):
        parser.error("--runs (BENCH_RUNS) must be at least 5, or 1 with --quick")

    started = time.time()
    bench = Bench(args)
    try:
        if not args.skip_build:
            bench.build_tools()
        bench.check_tools()
        bench.prepare()
        bench.start_nginx()
        if args.what == "read-cap":
            bench.read_cap(runs)
            return 0
        bench.sign_installer()
        bench.start_display()
        bench.downloads(runs)
        bench.startup(runs)
        bench.daily_check(runs)
        bench.handoff(runs)
        bench.report(runs, started)
        return 0
    except (BenchError, subprocess.CalledProcessError) as error:
        print(f"bench: {error}", file=sys.stderr)
        return 1
    finally:
        bench.stop_all()


if __name__ == "__main__":
    sys.exit(main())

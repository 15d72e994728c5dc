"""A peer of the application server written from docs/protocol.md alone, for
tests that send what an attacker or a broken network would: frames by hand,
TLS or not, from a chosen loopback source address.

Also the site these tests need: a temporary folder with a database of demo
data, a self-signed certificate for 127.0.0.1 made with the openssl command
line, an accounts file, and the real server process started on a free
loopback port (Server). Everything is bounded in time: every socket has a
time-out, and the server is killed when the test ends however it ends."""
import os
import resource
import select
import signal
import socket
import ssl
import struct
import subprocess
import tempfile
import time

import cbor2

CONF_RASTR = "exp13000.rdmConfRastr"
PASSWORD = "conferencia-2026"
TIMEOUT_S = 10
START_TIMEOUT_S = 60    # for a server to say it listens
MAX_REPLY = 64 * 1024 * 1024


class Closed(Exception):
    """The server closed the connection before a whole frame arrived."""


def frame(message):
    payload = cbor2.dumps(message)
    return struct.pack(">I", len(payload)) + payload


def hello(user=None, password=None, module=CONF_RASTR, features=None):
    message = ["hello", 1, module, None]
    if features is not None or user is not None:
        message.append(features or [])
    if user is not None:
        message.append([user, password])
    return frame(message)


def call(method, args, call_id=1):
    return frame(["call", call_id, method, args, []])


def date(days):
    """A date argument: days since 1899-12-30 (docs/protocol.md, "Values")."""
    return cbor2.CBORTag(65000, float(days))


class Connection:
    """One connection to the server, plain or TLS, from `source` (a loopback
    address: all of 127/8 is this machine)."""

    def __init__(self, port, tls_authority=None, source="127.0.0.1", timeout=TIMEOUT_S):
        raw = socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0))
        if tls_authority:
            context = ssl.create_default_context(cafile=tls_authority)
            raw = context.wrap_socket(raw, server_hostname="127.0.0.1")
        self.sock = raw

    def send(self, data):
        self.sock.sendall(data)

    def _exactly(self, size):
        data = bytearray()
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise Closed()
            data += chunk
        return bytes(data)

    def receive(self):
        (size,) = struct.unpack(">I", self._exactly(4))
        if size == 0 or size > MAX_REPLY:
            raise AssertionError(f"frame of invalid size {size}")
        return cbor2.loads(self._exactly(size))

    def closed_by_server(self, within=TIMEOUT_S):
        """Reads and drops whatever comes until the server closes; False if it
        is still open after `within` seconds."""
        self.sock.settimeout(within)
        try:
            while self.sock.recv(65536):
                pass
            return True
        except (socket.timeout, TimeoutError):
            return False
        except (ConnectionResetError, ssl.SSLError, OSError):
            return True

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def result_of(connection, call_id):
    """The result of call `call_id`, skipping the notices that come first; a
    fault (of the call or of the connection) is returned whole."""
    while True:
        message = connection.receive()
        if message[0] == "result" and message[1] == call_id:
            return message[2]
        if message[0] == "fault":
            return message
        if message[0] not in ("notice", "result"):
            raise AssertionError(f"unexpected message {message}")


def drain(connection, quiet=2.0):
    """Every message that arrives until `quiet` seconds pass without one."""
    connection.sock.settimeout(quiet)
    messages = []
    try:
        while True:
            messages.append(connection.receive())
    except (socket.timeout, TimeoutError):
        return messages


def login(port, user="maria", password=PASSWORD, tls_authority=None, source="127.0.0.1", timeout=TIMEOUT_S):
    """A connection past its welcome; raises AssertionError with the fault
    otherwise."""
    connection = Connection(port, tls_authority, source, timeout)
    connection.send(hello(user, password))
    reply = connection.receive()
    if reply[0] != "welcome":
        connection.close()
        raise AssertionError(f"login refused: {reply}")
    return connection


class Site:
    """A temporary site: demo database (of `scale`), certificate and key for
    127.0.0.1, accounts "maria" and "joao" (PASSWORD)."""

    def __init__(self, appserver, scale=1):
        self.appserver = appserver
        self.dir = tempfile.TemporaryDirectory(prefix="exp-peer-")
        self.path = self.dir.name
        self.database = self.file("demo.sqlite")
        self.certificate = self.file("server.crt")
        self.key = self.file("server.key")
        self.accounts = self.file("accounts")
        run([appserver, "--init-demo", "--scale", str(scale), "--database", self.database])
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
             "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", self.key, "-out", self.certificate])
        os.chmod(self.key, 0o600)
        for user in ("maria", "joao"):
            run([appserver, "--add-user", user, "--branches", "*", "--accounts", self.accounts], stdin=PASSWORD + "\n")

    def file(self, name):
        return os.path.join(self.path, name)

    def secure_arguments(self):
        return ["--tls-cert", self.certificate, "--tls-key", self.key, "--accounts", self.accounts]

    def cleanup(self):
        self.dir.cleanup()


class SiteOf:
    """What Server needs of a site whose database is made elsewhere (a
    PostgreSQL URI, say): the program, the database, a folder."""

    def __init__(self, appserver, database, folder):
        self.appserver = appserver
        self.database = database
        self.folder = folder

    def file(self, name):
        return os.path.join(self.folder, name)


def stopped_within(server, seconds):
    """TERM, then how long the server took to exit (None: it did not within
    `seconds` + 5)."""
    server.process.terminate()
    begun = time.monotonic()
    try:
        server.process.wait(seconds + 5)
    except subprocess.TimeoutExpired:
        return None
    return time.monotonic() - begun


class Checks(list):
    """The failures a test has found: calling it with a condition that does
    not hold records `what` and prints it at once."""

    def __call__(self, condition, what):
        if not condition:
            self.append(what)
            print(f"FALHOU: {what}", flush=True)


def create_database(name):
    """A new database of the cluster scripts/with-postgres runs."""
    subprocess.run(["psql", "-d", "postgres", "-c", f"CREATE DATABASE {name}"], check=True, capture_output=True,
                   timeout=60)


def verdict(failures, held="", log=""):
    """The exit code of a peer test: 1 with each failure printed (and the end
    of the server's log, when given), else 0 with what held."""
    if failures:
        print("\n".join(failures))
        if log:
            print("--- server log (end) ---")
            print(log[-4000:])
        return 1
    if held:
        print(held)
    return 0


def run(arguments, stdin=None):
    done = subprocess.run(arguments, input=stdin, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise RuntimeError(f"{arguments[0]} failed: {done.stdout}{done.stderr}")
    return done


class Server:
    """The real server on a free loopback port, its log in a file; killed on
    exit (or by stop())."""

    def __init__(self, site, arguments=(), nofile=None):
        self.log_path = site.file(f"server-{time.monotonic_ns()}.log")
        self.log_file = open(self.log_path, "w")
        limit = None
        if nofile is not None:
            limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
        self.process = subprocess.Popen(
            [site.appserver, "--listen", "127.0.0.1:0", "--database", site.database, *arguments],
            stdout=subprocess.PIPE, stderr=self.log_file, text=True, preexec_fn=limit)
        ready, _, _ = select.select([self.process.stdout], [], [], START_TIMEOUT_S)
        line = self.process.stdout.readline() if ready else f"(nothing in {START_TIMEOUT_S} s)\n"
        if "ouvindo em" not in line:
            self.stop()
            raise RuntimeError(f"server did not start: {line}{self.log()}")
        self.port = int(line.rsplit(":", 1)[1])

    def alive(self):
        return self.process.poll() is None

    def rss_mb(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return 0.0

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as log:
            return log.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log_file.close()
        return self.process.returncode

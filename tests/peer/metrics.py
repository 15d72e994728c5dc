#!/usr/bin/python3
"""The metrics port (--metrics) seen from outside, on loopback, bounded in
count and time:

- only GET /metrics is answered: other methods get 405, other paths 404;
- a flood (many requests one after another, and more connections at once
  than it keeps) leaves it answering, and the connections beyond its cap
  are closed at once;
- a slow client, and one that sends more than a request may hold, are
  closed within the port's time and size bounds without an answer, and
  the RPC port serves all along.

    metrics.py APPSERVER"""
import socket
import sys
import time

import peer

MAX_OPEN = 8            # TMetricsEndpoint::MaxOpen
LIFETIME_S = 10         # TMetricsEndpoint::LifetimeMs
MAX_REQUEST = 8192      # TMetricsEndpoint::MaxRequestBytes


def request(port, data, timeout=5):
    """Sends `data`, returns what came back until the server closed or
    `timeout` passed without a byte."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        sock.sendall(data)
        reply = b""
        try:
            while chunk := sock.recv(65536):
                reply += chunk
                if b"\r\n\r\n" in reply:
                    head, _, body = reply.partition(b"\r\n\r\n")
                    length = [int(line.split(b":")[1]) for line in head.split(b"\r\n")
                              if line.lower().startswith(b"content-length:")]
                    if length and len(body) >= length[0]:
                        break
        except socket.timeout:
            pass
        return reply


def get(port, path="/metrics", method="GET"):
    return request(port, f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())


def status(reply):
    return int(reply.split(b" ", 2)[1]) if reply.startswith(b"HTTP/1.") else None


def closed_within(sock, seconds):
    """Whether the server closed `sock` within `seconds`, reading and dropping
    what it sends; the time it took."""
    started = time.monotonic()
    sock.settimeout(0.5)
    while time.monotonic() - started < seconds:
        try:
            if sock.recv(65536) == b"":
                return True, time.monotonic() - started
        except socket.timeout:
            continue
        except OSError:
            return True, time.monotonic() - started
    return False, seconds


def check_methods(port, failures):
    if status(get(port)) != 200:
        failures.append("GET /metrics: not 200")
    for method in ("POST", "PUT", "DELETE", "PATCH", "OPTIONS"):
        code = status(get(port, method=method))
        if code != 405:
            failures.append(f"{method} /metrics: {code}, not 405")
    for path in ("/", "/metrics/x", "/admin", "/metrics?x=" + "a" * 100):
        code = status(get(port, path))
        if code not in (404,) and not (path.startswith("/metrics?") and code == 200):
            failures.append(f"GET {path}: {code}, not 404")
    if status(request(port, b"GARBAGE\r\n\r\n", timeout=3)) == 200:
        failures.append("a request that is no HTTP was answered 200")


def check_flood(port, failures):
    started = time.monotonic()
    for _ in range(200):
        if status(get(port)) != 200:
            failures.append("flood: a request one after another was not answered")
            break
    print(f"200 scrapes in {time.monotonic() - started:.2f} s")
    # The server lets go of a connection once it sees it closed: a moment,
    # so that the ones held below are all it holds.
    time.sleep(1)
    held = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(MAX_OPEN)]
    try:
        time.sleep(0.3)
        extra = socket.create_connection(("127.0.0.1", port), timeout=5)
        closed, _ = closed_within(extra, 3)
        extra.close()
        if not closed:
            failures.append(f"flood: a connection beyond {MAX_OPEN} open was kept")
    finally:
        for sock in held:
            sock.close()
    time.sleep(0.3)
    if status(get(port)) != 200:
        failures.append("flood: not answered once the idle connections closed")


def check_slow_and_big(port, rpc_port, failures):
    slow = socket.create_connection(("127.0.0.1", port), timeout=5)
    slow.sendall(b"GET /metrics HTTP/1.1\r\n")
    big = socket.create_connection(("127.0.0.1", port), timeout=5)
    try:
        big.sendall(b"GET /metrics HTTP/1.1\r\nX-Padding: " + b"a" * (4 * MAX_REQUEST))
    except OSError:
        pass  # closed while we wrote: what is checked
    closed, seconds = closed_within(big, 3)
    if not closed:
        failures.append(f"a request over {MAX_REQUEST} bytes was not closed")
    big.close()
    rpc = peer.Connection(rpc_port)
    try:
        rpc.send(peer.hello())
        if rpc.receive()[0] != "welcome":
            failures.append("the RPC port did not serve beside a slow metrics client")
    finally:
        rpc.close()
    # One byte a second: the port's time bound, not the pace, ends it.
    started = time.monotonic()
    answered = b""
    slow.settimeout(1)
    while time.monotonic() - started < LIFETIME_S + 5:
        try:
            slow.sendall(b"X")
            chunk = slow.recv(4096)
            if chunk == b"":
                break
            answered += chunk
        except socket.timeout:
            continue
        except OSError:
            break
    seconds = time.monotonic() - started
    slow.close()
    if answered.startswith(b"HTTP/1.1 200"):
        failures.append("a slow client was answered 200")
    if seconds > LIFETIME_S + 2:
        failures.append(f"a slow client was kept {seconds:.1f} s")
    print(f"slow client closed after {seconds:.1f} s")


def main(argv):
    site = peer.Site(argv[1])
    failures = []
    server = None
    try:
        server = peer.Server(site, ["--metrics", "127.0.0.1:0"])
        line = server.process.stdout.readline()
        if "métricas em" not in line:
            raise RuntimeError(f"no metrics port: {line}")
        port = int(line.rsplit(":", 1)[1])
        for check in (check_methods, check_flood):
            check(port, failures)
        check_slow_and_big(port, server.port, failures)
        if not server.alive():
            failures.append("the server died")
        elif status(get(port)) != 200:
            failures.append("not answered after the checks")
    finally:
        log = server.log() if server else ""
        if server:
            server.stop()
        site.cleanup()
    return peer.verdict(failures, "metrics port held", log)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Replies nobody reads, from many connections of one user, seen from outside.

On demo data of scale 10 (work lists of about 2.4 MB), one user opens 60
connections from 30 addresses, pipelines 4 work lists on each and reads
none of the replies, through receive buffers kept small. The server's
resident memory must stay under the bound docs/appserver.md states, and
another user's call from elsewhere must be served meanwhile.

    backpressure.py APPSERVER"""
import socket
import sys
import time

import peer

CONNECTIONS = 60
PIPELINED = 4
MEMORY_BOUND_MB = 160
WORK_LIST = ["0001", "T", "T", peer.date(0), peer.date(0), peer.date(0), peer.date(0)]


def unread(port, source):
    raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
    raw.settimeout(peer.TIMEOUT_S)
    raw.bind((source, 0))
    raw.connect(("127.0.0.1", port))
    connection = peer.Connection.__new__(peer.Connection)
    connection.sock = raw
    connection.send(peer.hello("maria", peer.PASSWORD))
    if connection.receive()[0] != "welcome":
        raise AssertionError("maria was refused")
    connection.send(b"".join(peer.call("GetDados", WORK_LIST, i) for i in range(1, PIPELINED + 1)))
    return connection


def main(argv):
    site = peer.Site(argv[1], scale=10)
    server = peer.Server(site, ["--accounts", site.accounts])
    failures = []
    held = []
    peak = 0.0
    try:
        baseline = server.rss_mb()
        for i in range(CONNECTIONS):
            held.append(unread(server.port, f"127.0.0.{100 + i % 30}"))
        end = time.monotonic() + 12
        served = None
        while time.monotonic() < end:
            peak = max(peak, server.rss_mb())
            if served is None and time.monotonic() > end - 9:
                start = time.monotonic()
                station = peer.login(server.port, "joao", source="127.0.0.2", timeout=20)
                station.send(peer.call("GetItensIUM", ["0001", "0000000001"]))
                if station.receive()[0] != "result":
                    failures.append("another user's call was not served")
                served = time.monotonic() - start
                station.close()
            time.sleep(0.2)
        if not server.alive():
            failures.append("the server ended")
        if peak > MEMORY_BOUND_MB:
            failures.append(f"the server grew to {peak:.0f} MB (bound {MEMORY_BOUND_MB} MB)")
        print(f"server memory: {baseline:.0f} MB at start, {peak:.0f} MB at most under {CONNECTIONS} connections "
              f"x {PIPELINED} unread work lists; another user served in {served or 0:.2f} s")
    except (AssertionError, OSError, peer.Closed) as error:
        failures.append(repr(error))
    finally:
        for connection in held:
            connection.close()
        log = server.log()
        server.stop()
        site.cleanup()
    return peer.verdict(failures, "replies bounded", log)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

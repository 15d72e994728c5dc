#!/usr/bin/python3
"""Change notices seen from outside, against the real server:

- a subscriber that stops reading does not grow the server: while others
  make notices by the thousand, the server's memory stays within a few MiB,
  the notices for it are dropped once its waiting output passes the bound,
  and when it reads again it gets what was kept, then one "missed" notice,
  then the notices made after it caught up;
- a connection that did not agree "notices" may not subscribe;
- a station that changes its name is announced absent by the name it was
  announced present with, when it leaves an invoice and when it hangs up, so
  no other window keeps a ghost of it.

    notices.py APPSERVER"""
import socket
import sys
import time

import peer

BRANCH = "0001"
TOGGLES = 30000  # two notices each (absent, present): more than the kernel buffers hold
BATCH = 500


def subscribe(connection, user, station, invoice, call_id):
    connection.send(peer.call("AssinaAvisos", [BRANCH, user, station, invoice], call_id))


def greet(port, features, receive_buffer=None):
    """A connection past its welcome; `receive_buffer` sets the socket's
    receive buffer before it connects (afterwards TCP would not open the
    window again promptly)."""
    if receive_buffer is None:
        connection = peer.Connection(port)
    else:
        raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        raw.settimeout(peer.TIMEOUT_S)
        raw.connect(("127.0.0.1", port))
        connection = peer.Connection.__new__(peer.Connection)
        connection.sock = raw
    connection.send(peer.hello(features=features))
    welcome = connection.receive()
    if welcome[0] != "welcome":
        raise AssertionError(f"refused: {welcome}")
    return connection, welcome


def check_slow_subscriber(server, failures):
    slow, _ = greet(server.port, ["compact", "notices"], receive_buffer=8192)
    subscribe(slow, "lenta", "EST-LENTA", "", 1)
    if peer.result_of(slow, 1) != [True, []]:
        failures.append("the slow subscriber was not subscribed")
        return
    fast, welcome = greet(server.port, ["compact", "notices"])
    if welcome[4] != ["compact", "notices"]:
        failures.append(f"features agreed: {welcome}")
    rss_before = server.rss_mb()
    started = time.monotonic()
    # In batches sent at once: the server answers them in order.
    for batch in range(0, TOGGLES, BATCH):
        for i in range(batch, batch + BATCH):
            subscribe(fast, "rapida", "EST-RAPIDA", f"{i % 2 + 1:010d}", i + 10)
        peer.result_of(fast, batch + BATCH - 1 + 10)
    rss_growth = server.rss_mb() - rss_before
    if rss_growth > 16:
        failures.append(f"the server grew {rss_growth:.1f} MiB for an unread subscriber")
    kept = peer.drain(slow)
    events = [m[1] for m in kept if m[0] == "notice"]
    if "missed" not in events:
        failures.append(f"no \"missed\" notice after {len(events)} of {2 * TOGGLES} notices")
    elif len(events) >= 2 * TOGGLES:
        failures.append("nothing was dropped: the flood was too small to test the bound")
    elif events.index("missed") != len(events) - 1:
        failures.append("notices came after \"missed\" before the subscriber had caught up")
    # Caught up, it hears what follows.
    subscribe(fast, "rapida", "EST-RAPIDA", "", 99999)
    peer.result_of(fast, 99999)
    after = [m for m in peer.drain(slow, 1.0) if m[0] == "notice"]
    if not any(m[1] == "absent" and m[7] == "EST-RAPIDA" for m in after):
        failures.append(f"no notice after catching up: {after}")
    print(f"{TOGGLES} toggles in {time.monotonic() - started:.1f} s; slow subscriber kept {len(events)} notices, "
          f"server grew {rss_growth:.1f} MiB")
    slow.close()
    fast.close()


def check_feature_needed(server, failures):
    plain, welcome = greet(server.port, ["compact"])
    if len(welcome) != 5 or welcome[4] != ["compact"]:
        failures.append(f"welcome without notices: {welcome}")
    subscribe(plain, "ana", "EST-A", "", 1)
    reply = peer.result_of(plain, 1)
    if reply[0] is not False or "notices" not in reply[1]:
        failures.append(f"a subscription without the feature: {reply}")
    plain.close()


def check_absent_as_present(server, failures):
    watcher, _ = greet(server.port, ["compact", "notices"])
    subscribe(watcher, "vigia", "EST-VIGIA", "", 1)
    peer.result_of(watcher, 1)
    station, _ = greet(server.port, ["compact", "notices"])
    subscribe(station, "ana", "EST-1", "0000000001", 1)
    peer.result_of(station, 1)
    station.send(peer.call("IdentificaEstacao", ["ana", "EST-2"], 2))
    peer.result_of(station, 2)
    subscribe(station, "ana", "EST-2", "", 3)
    peer.result_of(station, 3)
    subscribe(station, "ana", "EST-3", "0000000002", 4)
    peer.result_of(station, 4)
    station.send(peer.call("IdentificaEstacao", ["ana", "EST-4"], 5))
    peer.result_of(station, 5)
    station.close()
    heard = [(m[1], m[3], m[7]) for m in peer.drain(watcher, 1.5) if m[0] == "notice" and m[1] in ("present", "absent")]
    expected = [("present", "0000000001", "EST-1"), ("absent", "0000000001", "EST-1"),
                ("present", "0000000002", "EST-3"), ("absent", "0000000002", "EST-3")]
    if heard != expected:
        failures.append(f"presences heard {heard}, expected {expected}")
    watcher.close()


def main(argv):
    site = peer.Site(argv[1])
    server = peer.Server(site)
    failures = []
    try:
        for check in (check_feature_needed, check_absent_as_present, check_slow_subscriber):
            try:
                check(server, failures)
            except (AssertionError, OSError, peer.Closed) as error:
                failures.append(f"{check.__name__}: {error}")
        if not server.alive():
            failures.append("the server died")
    finally:
        server.stop()
        site.cleanup()
    return peer.verdict(failures, "notices held")


if __name__ == "__main__":
    sys.exit(main(sys.argv))

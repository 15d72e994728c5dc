#!/usr/bin/python3
"""The caps a server keeps before and around a login, seen from outside:

- connections over the global cap, and over the cap of one address, are told
  "busy" at once, over TLS too (after the handshake), while another address
  is still served;
- a server whose descriptor limit is below its cap (ulimit -n 128) lowers the
  cap, says so, and answers the client after 200 idle ones with "busy"
  instead of letting it time out;
- hellos announcing big frames are refused at once and reserve nothing of
  the request memory: 32 of them do not make a login "busy";
- logins in flight from one address are bounded, and a failure counts even
  when its client hung up before the answer;
- an address that reconnects in a loop is cut off, others are served;
- with the caps lowered to the descriptor limit, one address's idle
  connections take no more than its share of them: another address is served;
- a full table of connection rates (more addresses than it holds, each
  connecting once) still lets a new address in;
- one user announcing big frames on many connections takes no more than its
  share of the request memory: another user's call is served;
- --listen takes a bracketed IPv6 address.

    caps.py APPSERVER"""
import contextlib
import socket
import sys
import time

import peer


def expect_fault(connection, code, within=5):
    connection.sock.settimeout(within)
    reply = connection.receive()
    if reply[0] != "fault" or reply[2] != code:
        raise AssertionError(f"expected the fault {code!r}, got {reply}")
    return reply[3]


@contextlib.contextmanager
def serving(site, failures, what, arguments=(), **options):
    """A server for one check, and the connections it holds, closed after it;
    what the check meets on the way becomes one failure named `what`."""
    server = peer.Server(site, arguments, **options)
    held = []
    try:
        yield server, held
    except (AssertionError, OSError, peer.Closed) as error:
        failures.append(f"{what}: {error!r}")
    finally:
        for connection in held:
            connection.close()
        server.stop()


def check_global_and_address_caps(site, failures):
    arguments = [*site.secure_arguments(), "--max-connections", "12", "--max-connections-per-address", "3"]
    with serving(site, failures, "caps", arguments) as (server, held):
        held += [peer.Connection(server.port, site.certificate, "127.0.0.2") for _ in range(3)]
        extra = peer.Connection(server.port, site.certificate, "127.0.0.2")
        held.append(extra)
        start = time.monotonic()
        message = expect_fault(extra, "busy")
        if "deste endereço" not in message or time.monotonic() - start > 2:
            failures.append(f"per-address cap over TLS: {message!r} after {time.monotonic() - start:.1f} s")
        for source in ("127.0.0.3", "127.0.0.40", "127.0.0.41"):
            held += [peer.Connection(server.port, site.certificate, source) for _ in range(3)]
        over = peer.Connection(server.port, site.certificate, "127.0.0.4")
        held.append(over)
        message = expect_fault(over, "busy")
        if "limite de 12 conexões" not in message:
            failures.append(f"global cap over TLS: {message!r}")
        for connection in held[:2]:
            connection.close()
        time.sleep(0.5)
        held.append(peer.login(server.port, "joao", peer.PASSWORD, site.certificate, "127.0.0.5"))


def check_descriptor_limit(site, failures):
    with serving(site, failures, "descriptor limit", ["--max-connections-per-address", "1000"],
                 nofile=128) as (server, held):
        if "ulimit -n" not in server.log():
            failures.append("the lowered cap was not reported: " + server.log()[-500:])
        for i in range(200):
            held.append(peer.Connection(server.port, source=f"127.0.0.{10 + i % 8}", timeout=5))
        late = peer.Connection(server.port, timeout=5)
        held.append(late)
        start = time.monotonic()
        try:
            expect_fault(late, "busy", within=3)
        except (socket.timeout, TimeoutError):
            failures.append(f"descriptor limit: no answer within {time.monotonic() - start:.1f} s")
        if not server.alive():
            failures.append("descriptor limit: the server ended")


def greeting(server, held, source):
    """What a hello from `source` is answered (the connection kept in `held`)."""
    station = peer.Connection(server.port, source=source, timeout=5)
    held.append(station)
    station.send(peer.hello())
    return station.receive()


def check_address_share_under_descriptor_limit(site, failures):
    with serving(site, failures, "address share", nofile=128) as (server, held):
        for _ in range(60):
            held.append(peer.Connection(server.port, source="127.0.0.20", timeout=5))
        time.sleep(0.5)
        reply = greeting(server, held, "127.0.0.21")
        if reply[0] != "welcome":
            failures.append(f"address share: another address was refused: {reply}")


def check_full_rate_table(site, failures):
    addresses = 4200  # more than the table holds
    with serving(site, failures, "full rate table") as (server, held):
        for i in range(addresses):
            connection = peer.Connection(server.port, source=f"127.1.{i // 250}.{i % 250 + 1}", timeout=5)
            connection.send(peer.hello())
            connection.receive()
            connection.close()
        reply = greeting(server, held, "127.2.0.1")
        if reply[0] != "welcome":
            failures.append(f"full rate table: a new address was refused: {reply}")


def faults(connections, code, within):
    """How many of `connections` are answered the fault `code` within `within` seconds each."""
    counted = 0
    for connection in connections:
        try:
            expect_fault(connection, code, within=within)
            counted += 1
        except (socket.timeout, TimeoutError, peer.Closed):
            pass
    return counted


def check_budget_share(site, failures):
    with serving(site, failures, "budget share", ["--accounts", site.accounts]) as (server, held):
        for _ in range(32):
            connection = peer.login(server.port, "maria", source="127.0.0.30")
            held.append(connection)
            connection.send(bytes.fromhex("0010000086"))  # a 1 MiB frame announced, one byte of it sent
        refused = faults(held, "busy", 0.2)
        other = peer.login(server.port, "joao", source="127.0.0.31")
        held.append(other)
        other.send(peer.call("GetItensIUM", ["0001", "0000000001"]))
        reply = other.receive()
        if reply[0] != "result":
            failures.append(f"budget share: another user's call got {reply} ({refused} of maria's 32 refused)")
        elif refused < 16:
            failures.append(f"budget share: only {refused} of maria's 32 big frames refused")


def check_big_hellos(site, failures):
    with serving(site, failures, "big hellos") as (server, held):
        for _ in range(32):
            held.append(peer.Connection(server.port, source="127.0.0.2"))
            held[-1].send(bytes.fromhex("0010000086"))
        refused = faults(held, "frame", 2)
        if refused != 32:
            failures.append(f"big hellos: {refused} of 32 refused at once")
        station = peer.Connection(server.port)
        held.append(station)
        station.send(peer.hello() + peer.call("GetItensIUM", ["0001", "0000000001"]))
        if station.receive()[0] != "welcome" or station.receive()[0] != "result":
            failures.append("big hellos: the station was not served")


def check_logins_in_flight(site, failures):
    with serving(site, failures, "logins in flight", site.secure_arguments()) as (server, held):
        # Ten wrong logins at once from one address: four are taken in, the
        # others refused unchecked.
        held += [peer.Connection(server.port, site.certificate, "127.0.0.6") for _ in range(10)]
        for connection in held:
            connection.send(peer.hello("maria", "errada-1"))
        messages = []
        for connection in held:
            try:
                messages.append(expect_fault(connection, "auth", within=40))
            except (socket.timeout, TimeoutError, peer.Closed):
                messages.append("")
        refused = sum("Tentativas demais" in m for m in messages)
        checked = server.log().count("usuário ou senha inválidos")
        if refused < 6 or checked > 4:
            failures.append(f"logins in flight: {refused} refused unchecked, {checked} checked")
        # Hanging up before the answer does not escape the count: each of
        # these is checked and counted, so the next answer comes later.
        before = server.log().count("usuário ou senha inválidos")
        for _ in range(3):
            connection = peer.Connection(server.port, site.certificate, "127.0.0.7")
            connection.send(peer.hello("joao", "errada-2"))
            time.sleep(0.8)
            connection.close()
        time.sleep(1.5)
        counted = server.log().count("usuário ou senha inválidos") - before
        if counted < 2:
            failures.append(f"hang-ups: {counted} of 3 failures counted")
        last = server.log().strip().splitlines()[-1]
        if "resposta em 1000 ms" in last:
            failures.append(f"hang-ups: the delay did not grow: {last}")


def check_connect_rate(site, failures):
    """An address that reconnects in a loop is cut off before any handshake,
    and only that address."""
    with serving(site, failures, "connect rate", site.secure_arguments()) as (server, held):
        cut = 0
        for _ in range(400):
            try:
                with socket.create_connection(("127.0.0.1", server.port), timeout=5,
                                              source_address=("127.0.0.8", 0)) as sock:
                    sock.sendall(b"\x16\x03\x01\x00\x05hello")
                    if not sock.recv(4096):
                        cut += 1
            except OSError:
                cut += 1
        if cut < 400 - 128 - 50:
            failures.append(f"connect rate: {cut} of 400 connections cut off")
        if "conexões novas demais" not in server.log():
            failures.append("connect rate: not logged")
        held.append(peer.login(server.port, "joao", peer.PASSWORD, site.certificate, "127.0.0.9"))


def check_ipv6_listen(site, failures):
    """--listen takes an IPv6 address in brackets, as a URL writes it."""
    if not socket.has_ipv6:
        return
    with serving(site, failures, "[::1]", ["--listen", "[::1]:0"]) as (server, held):
        with socket.create_connection(("::1", server.port), timeout=5) as sock:
            sock.sendall(peer.hello())
            if b"welcome" not in sock.recv(4096):
                failures.append("[::1]: no welcome")


def main(argv):
    site = peer.Site(argv[1])
    failures = []
    try:
        for check in (check_global_and_address_caps, check_descriptor_limit, check_address_share_under_descriptor_limit,
                      check_full_rate_table, check_budget_share, check_big_hellos, check_logins_in_flight,
                      check_connect_rate, check_ipv6_listen):
            check(site, failures)
    finally:
        site.cleanup()
    return peer.verdict(failures, "caps held")


if __name__ == "__main__":
    sys.exit(main(sys.argv))

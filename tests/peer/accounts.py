#!/usr/bin/python3
"""What an account may still do once it should not, seen from outside, on a
server with accounts (loopback, no TLS):

- a user whose branch is taken away (--set-branches, SIGHUP) hears no more
  notices of it on the connection it has open; once its line is removed
  (SIGHUP), its open connections are refused every call, the health check's
  and IdentificaEstacao included;
- a stranger who knows a user's name and hangs up right after each hello
  (a fresh address every 1.5 s) does not keep that user's correct login out;
- a user of one branch who scans an IUM read on another branch is not told
  that branch's invoice;
- one user's identified requests are rated: a burst of refused calls with
  distinct identifiers is cut short, and the request log keeps no more.

    accounts.py APPSERVER"""
import signal
import sqlite3
import sys
import threading
import time

import peer

HEALTH = "Servidor.rdmSaude"


def notices_hello(user, module=peer.CONF_RASTR, features=("compact", "notices")):
    return peer.hello(user, peer.PASSWORD, module, list(features))


def connect(port, user, module=peer.CONF_RASTR, features=("compact", "notices"), source="127.0.0.1"):
    connection = peer.Connection(port, source=source)
    connection.send(notices_hello(user, module, features))
    welcome = connection.receive()
    if welcome[0] != "welcome":
        raise AssertionError(f"{user} refused: {welcome}")
    return connection


def reload_accounts(server, times):
    """SIGHUP, then waits until the log says the accounts were read again
    for the `times`-th time."""
    server.process.send_signal(signal.SIGHUP)
    deadline = time.monotonic() + 10
    while server.log().count("contas relidas") < times:
        if time.monotonic() > deadline:
            raise AssertionError("the accounts were not read again: " + server.log()[-500:])
        time.sleep(0.05)


def refused_or_closed(connection, request):
    """True when `request` gets no result: a fault, or the connection closed."""
    try:
        connection.send(request)
        reply = connection.receive()
        while reply[0] == "notice":
            reply = connection.receive()
        return reply[0] == "fault"
    except (peer.Closed, OSError):
        return True


def check_revoked_account(site, server, failures):
    listening = connect(server.port, "maria")
    listening.send(peer.call("AssinaAvisos", ["0001", "maria", "EST-MARIA", ""], 1))
    if peer.result_of(listening, 1) != [True, []]:
        raise AssertionError("maria was not subscribed")
    health = connect(server.port, "maria", HEALTH, ())
    peer.run([site.appserver, "--set-branches", "maria", "--branches", "0002", "--accounts", site.accounts])
    reload_accounts(server, 1)
    joao = connect(server.port, "joao")
    joao.send(peer.call("AssinaAvisos", ["0001", "joao", "EST-JOAO", "0000000001"], 1))
    peer.result_of(joao, 1)
    heard = [m for m in peer.drain(listening, 1.5) if m[0] == "notice" and m[2] == "0001"]
    if heard:
        failures.append(f"revoked branch: maria still heard {heard}")
    with open(site.accounts) as accounts:
        lines = [line for line in accounts if not line.startswith("maria:")]
    with open(site.accounts, "w") as accounts:
        accounts.writelines(lines)
    reload_accounts(server, 2)
    if not refused_or_closed(health, peer.call("Verificar", [], 2)):
        failures.append("removed account: Verificar still answered")
    if not refused_or_closed(listening, peer.call("IdentificaEstacao", ["maria", "EST-MARIA"], 2)):
        failures.append("removed account: IdentificaEstacao still answered")
    for connection in (listening, health, joao):
        connection.close()


def check_hang_ups_keep_no_one_out(site, server, failures):
    user = "rui"
    # Four wrong guesses at once from four addresses: the user's next check
    # is 8 s after the last.
    guesses = [peer.Connection(server.port, source=f"127.0.0.{11 + i}") for i in range(4)]
    for guess in guesses:
        guess.send(peer.hello(user, "errada-123"))
    for guess in guesses:
        guess.closed_by_server(15)
        guess.close()
    stop = threading.Event()

    def hang_up_again_and_again():
        for i in range(12):
            if stop.is_set():
                return
            try:
                stranger = peer.Connection(server.port, source=f"127.0.0.{40 + i}")
                stranger.send(peer.hello(user, "errada-456"))
                stranger.close()
            except OSError:
                pass
            time.sleep(1.5)

    stranger = threading.Thread(target=hang_up_again_and_again, daemon=True)
    stranger.start()
    time.sleep(7)
    start = time.monotonic()
    try:
        peer.login(server.port, user, source="127.0.0.99", timeout=40).close()
    except (AssertionError, peer.Closed, OSError) as error:
        failures.append(f"hang-ups: the user's own login was refused after {time.monotonic() - start:.1f} s: "
                        f"{error}")
    stop.set()
    stranger.join()
    checked = sum(user in line for line in server.log().splitlines() if "senha inválidos para" in line)
    print(f"hang-ups: {checked} password(s) of {user} checked and failed")


def foreign_reading(database):
    """An IUM read on branch 0002 whose product is on an open invoice of
    branch 0001 with room for one more reading: (invoice, scan, their invoice)."""
    with sqlite3.connect(database) as db:
        row = db.execute(
            "SELECT NF.NRLANCTONF, L.CDIUMPROD, L.NRLANCTONF FROM LEITURAIUM L"
            " JOIN ITEMNOTA IT ON IT.CDPRODUTO = L.CDPRODUTO AND IT.CDFILIAL = '0001'"
            " JOIN NOTAFISCAL NF ON NF.CDFILIAL = IT.CDFILIAL AND NF.NRLANCTONF = IT.NRLANCTONF"
            " WHERE L.CDFILIAL = '0002' AND NF.IDCONFRASTR = 'N' LIMIT 1").fetchone()
    if row is None:
        raise AssertionError("the demo data has no reading of branch 0002 on a product of branch 0001")
    return row


def check_no_foreign_invoice_named(site, server, failures):
    invoice, scan, theirs = foreign_reading(site.database)
    ana = connect(server.port, "ana", features=())
    ana.send(peer.call("setLeituraIUM", ["0001", invoice, scan], 1))
    reply = peer.result_of(ana, 1)
    ana.close()
    if reply[0] is not False or "já foi lido" not in reply[1]:
        failures.append(f"foreign reading: not refused as read already: {reply}")
    elif theirs in reply[1] or "0002" in reply[1]:
        failures.append(f"foreign reading: branch 0002's invoice named to a user of 0001: {reply[1]}")


def check_identified_requests_rated(site, server, failures):
    calls = 1000
    joao = connect(server.port, "joao", features=("compact", "request-id"))
    burst = b"".join(peer.frame(["call", i, "setConfRastrOK", ["0001", "9999999999"], [], f"rq-{i:06d}"])
                     for i in range(calls))
    joao.send(burst)
    rated = 0
    for i in range(calls):
        reply = peer.result_of(joao, i)
        if reply[0] is False and "requisições demais" in reply[1]:
            rated += 1
    joao.close()
    with sqlite3.connect(site.database) as db:
        (kept,) = db.execute("SELECT COUNT(*) FROM REQUISICAO WHERE CDUSUARIO = 'joao'").fetchone()
    print(f"identified requests: {calls} sent, {rated} refused for the rate, {kept} recorded")
    if rated == 0 or kept > 400:
        failures.append(f"identified requests: {kept} of {calls} recorded, {rated} refused for the rate")


def main(argv):
    site = peer.Site(argv[1])
    for user, branches in (("rui", "*"), ("ana", "0001")):
        peer.run([site.appserver, "--add-user", user, "--branches", branches, "--accounts", site.accounts],
                 stdin=peer.PASSWORD + "\n")
    server = peer.Server(site, ["--accounts", site.accounts])
    failures = []
    try:
        for check in (check_no_foreign_invoice_named, check_identified_requests_rated, check_revoked_account,
                      check_hang_ups_keep_no_one_out):
            try:
                check(site, server, failures)
            except (AssertionError, OSError, peer.Closed) as error:
                failures.append(f"{check.__name__}: {error!r}")
        if not server.alive():
            failures.append("the server died")
    finally:
        log = server.log()
        server.stop()
        site.cleanup()
    return peer.verdict(failures, "accounts held", log)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

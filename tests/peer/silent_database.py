#!/usr/bin/python3
"""A PostgreSQL database that stops answering without closing the link must
not stop the server from serving what does not need it: run beside a
throwaway cluster (scripts/with-postgres), against the real server process.

1. The backend of the server's notice listener is frozen (SIGSTOP), as a
   database host that froze or vanished behind a network that still
   completes TCP is. A station then opens a reading window (a subscription
   with an invoice, whose presence the server sends through the listener),
   and while that presence waits for the frozen backend: another
   connection's call is answered, a new login is welcomed, the server still
   answers after the listener has given the backend up, and TERM stops it.
2. The database URI's first host is a port that accepts TCP and never
   answers: the server starts, welcomes a login, serves a call through the
   host behind it and stops on TERM.

    silent_database.py APPSERVER

Every wait is bounded; only loopback addresses are used."""
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import uuid

import peer

DATABASE = "exp_silent_" + uuid.uuid4().hex[:12]
PROMPT_S = 2.0      # what "at once" means for what needs no database
ANSWER_S = 4.0      # how long the server awaits a statement's answer


def psql(sql):
    done = subprocess.run(["psql", "-d", DATABASE, "-At", "-c", sql], check=True, capture_output=True, text=True,
                          timeout=30)
    return done.stdout.split()


def listener_pid():
    """The backend of the server's notice listener, once it listens."""
    for _ in range(100):
        pids = psql("SELECT pid FROM pg_stat_activity WHERE query LIKE 'LISTEN%'")
        if pids:
            return int(pids[0])
        time.sleep(0.1)
    return None


def timed(action):
    """What `action` returned (None when its connection failed or timed out)
    and the seconds it took."""
    begun = time.monotonic()
    try:
        result = action()
    except (OSError, peer.Closed):
        result = None
    return result, time.monotonic() - begun


def welcomed(port):
    connection = peer.Connection(port, timeout=15)
    connection.send(peer.hello())
    reply = connection.receive()
    connection.close()
    return reply[0] == "welcome"


def answered(port, invoice):
    connection = peer.Connection(port, timeout=15)
    connection.send(peer.hello())
    connection.receive()
    connection.send(peer.call("GetItensIUM", ["0001", invoice]))
    reply = connection.receive()
    connection.close()
    return reply[0] == "result"


def first_invoice():
    return psql("SELECT MIN(NRLANCTONF) FROM NOTAFISCAL WHERE CDFILIAL = '0001'")[0]


def frozen_listener(appserver, folder, check):
    uri = f"postgresql:///{DATABASE}"
    server = peer.Server(peer.SiteOf(appserver, uri, folder))
    invoice = first_invoice()
    pid = listener_pid()
    check(pid is not None, "the listener's backend was found")
    if pid is None:
        server.stop()
        return
    os.kill(pid, signal.SIGSTOP)
    try:
        station = peer.Connection(server.port, timeout=15)
        station.send(peer.hello(features=["notices"]))
        station.receive()
        station.send(peer.call("AssinaAvisos", ["0001", "", "EST-LEITURA", invoice]))
        reply, took = timed(station.receive)
        check(reply is not None and reply[0] == "result" and took < PROMPT_S, f"the subscription was answered at once ({took:.2f} s)")
        ok, took = timed(lambda: welcomed(server.port))
        check(ok and took < PROMPT_S, f"a login was welcomed while the presence waits ({took:.2f} s)")
        ok, took = timed(lambda: answered(server.port, invoice))
        check(ok and took < PROMPT_S, f"another connection's call was answered ({took:.2f} s)")
        time.sleep(ANSWER_S + 1)
        ok, took = timed(lambda: answered(server.port, invoice))
        check(ok and took < PROMPT_S, f"a call was answered after the listener gave up ({took:.2f} s)")
        check("avisos entre servidores interrompidos" in server.log(), "the log says the listener lost its link")
        station.close()
        took = peer.stopped_within(server, 5)
        check(took is not None and took <= 5, f"TERM stopped the server within 5 s ({took})")
    finally:
        os.kill(pid, signal.SIGCONT)
        server.stop()


def silent_first_host(appserver, folder, check):
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(64)  # the kernel completes every handshake; nothing is ever read or said
    held = []
    done = threading.Event()

    def hold():
        silent.settimeout(0.2)
        while not done.is_set():
            try:
                held.append(silent.accept()[0])
            except socket.timeout:
                pass

    holder = threading.Thread(target=hold, daemon=True)
    holder.start()
    port = silent.getsockname()[1]
    host = os.environ["PGHOST"]
    uri = (f"postgresql:///{DATABASE}?host=127.0.0.1,{host}&port={port},{os.environ.get('PGPORT', '5432')}"
           f"&user={os.environ['PGUSER']}")
    try:
        begun = time.monotonic()
        try:
            server = peer.Server(peer.SiteOf(appserver, uri, folder))
        except RuntimeError as error:
            check(False, f"the server started listening: {error}")
            return
        took = time.monotonic() - begun
        print(f"silent_database: servidor ouvindo {took:.2f} s depois de iniciado com o primeiro host mudo", flush=True)
        check(took < 20, f"the server started listening ({took:.2f} s)")
        invoice = first_invoice()
        ok, took = timed(lambda: welcomed(server.port))
        check(ok and took < PROMPT_S, f"a login was welcomed ({took:.2f} s)")
        ok, took = timed(lambda: answered(server.port, invoice))
        check(ok and took < 10, f"a call was served through the host behind the silent one ({took:.2f} s)")
        took = peer.stopped_within(server, 5)
        check(took is not None and took <= 5, f"TERM stopped the server within 5 s ({took})")
        server.stop()
    finally:
        done.set()
        holder.join(5)
        for connection in held:
            connection.close()
        silent.close()


def main():
    appserver = sys.argv[1]
    if os.environ.get("EXP_TEST_POSTGRES") != "1":
        print("silent_database: needs scripts/with-postgres")
        return 1
    failures = check = peer.Checks()
    peer.create_database(DATABASE)
    with tempfile.TemporaryDirectory(prefix="exp-silent-") as folder:
        peer.run([appserver, "--init-demo", "--database", f"postgresql:///{DATABASE}"])
        frozen_listener(appserver, folder, check)
        silent_first_host(appserver, folder, check)
    return peer.verdict(failures, "a silent database held nothing of the server's event loop")


if __name__ == "__main__":
    sys.exit(main())

"""A PostgreSQL failover under load, and what the servers do while their
database is gone: run beside a primary with a synchronous standby
(scripts/with-postgres --standby), against the real server process.

Eight clients, written from docs/protocol.md alone, store readings through
two application servers whose database is the multi-host URI of the two
clusters with target_session_attrs=read-write. Each call carries a request
identifier; a client whose connection breaks before the reply sends the call
once more with the same identifier, on the other server, as the reference
client does. Mid-burst the primary is stopped abruptly (pg_ctl stop -m
immediate) and the standby promoted at once; with --silent, the primary's
processes are frozen instead (SIGSTOP), so that its port still completes
TCP and its links stay up but nothing answers, as a host that lost its
power or its network behaves. Then:

  - every write acknowledged to a client is in the new primary;
  - no change was applied twice (one audit record per stored reading);
  - no client was told a false refusal (every scan is new, for an item with
    a free unit: any refusal is false);
  - writing resumes, through both servers;
  - a station hearing the branch's notices through one server is told it may
    have missed some while that server's database link was down, and then
    hears a reading stored through the other server.

Before that, with the standby stopped, a commit waits for it (synchronous
replication): the health check says no, a server stops on TERM within 10 s
all the same, and once the standby is back the health check says yes. After it,
with the new primary stopped: the health check says no (exit 1), a server
stops on TERM within 10 s while a call waits for the database, and once the
database is back the health check says yes (exit 0).

    failover.py APPSERVER [--silent] [--figure]

With --figure it prints `figure: failover_recovery_s SECONDS s` (or
`failover_silent_recovery_s` with --silent), the time
from the stop of the primary to the first write acknowledged by the promoted
standby (bench/run). Every loop is bounded in count and time; only loopback
addresses are used."""
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import uuid

import peer

CLIENTS = 8
PAUSE_S = 0.05          # between a client's calls
BEFORE_STOP_S = 2.0     # writing before the primary stops
RESUMED_ACKS = 3        # acknowledgements per client after the promotion that end the burst
BURST_LIMIT_S = 60.0
CALL_TIMEOUT_S = 60     # longer than a server waits for its database (30 s)


def pg_ctl(*arguments):
    command = [os.path.join(os.environ["EXP_TEST_PG_BIN"], "pg_ctl"), *arguments]
    if os.environ.get("EXP_TEST_PG_AS"):
        command = ["runuser", "-u", os.environ["EXP_TEST_PG_AS"], "--", *command]
    subprocess.run(command, check=True, capture_output=True, timeout=60)


def psql(sql, port):
    done = subprocess.run(["psql", "-p", str(port), "-d", DATABASE, "-AtF", "|", "-c", sql],
                          check=True, capture_output=True, text=True, timeout=60)
    return [line.split("|") for line in done.stdout.splitlines() if line]


DATABASE = "exp_failover_" + uuid.uuid4().hex[:12]
PRIMARY_PORT = 5432
STANDBY_PORT = int(os.environ.get("EXP_TEST_PG_STANDBY_PORT", "5433"))


class Client(threading.Thread):
    """Stores one new reading after another, through servers[first] and, after
    a lost connection, the other; records every outcome."""

    def __init__(self, number, servers, items, stop):
        super().__init__(daemon=True)
        self.number = number
        self.servers = servers
        self.current = number % len(servers)
        self.items = items
        self.stop = stop
        self.connection = None
        self.acks = []        # (serial, time acknowledged, time sent)
        self.refusals = []    # (serial, message)
        self.failures = []    # (serial, what)

    def connect(self):
        self.connection = peer.Connection(self.servers[self.current].port, timeout=CALL_TIMEOUT_S)
        self.connection.send(peer.hello(features=["request-id"]))
        welcome = self.connection.receive()
        if welcome[0] != "welcome" or "request-id" not in welcome[4]:
            raise AssertionError(f"no request-id agreed: {welcome}")

    def send(self, args, request):
        if self.connection is None:
            self.connect()
        self.connection.send(peer.frame(["call", 1, "setLeituraIUM", args, [], request]))
        return self.connection.receive()

    def run(self):
        serial = 0
        for invoice, gtin, free in self.items:
            for _ in range(free):
                if self.stop.is_set():
                    return
                serial += 1
                code = f"F{self.number}X{serial}"
                args = ["0001", invoice, f"]d201{gtin}21{code}"]
                request = str(uuid.uuid4())
                sent = time.monotonic()
                reply = None
                for attempt in (1, 2):
                    try:
                        reply = self.send(args, request)
                        break
                    except (peer.Closed, OSError) as e:
                        if self.connection:
                            self.connection.close()
                        self.connection = None
                        self.current = (self.current + 1) % len(self.servers)
                        if attempt == 2:
                            self.failures.append((code, f"lost twice: {e!r}"))
                if reply is not None:
                    if reply[0] == "result" and reply[2][0] is True:
                        self.acks.append((code, time.monotonic(), sent))
                    elif reply[0] == "result":
                        self.refusals.append((code, reply[2][1]))
                    else:
                        self.failures.append((code, reply[3]))
                time.sleep(PAUSE_S)
            time.sleep(0)


class Ear(threading.Thread):
    """A station hearing branch 0001's notices through one server: each
    notice's event, invoice and the time it came."""

    def __init__(self, server):
        super().__init__(daemon=True)
        self.connection = peer.Connection(server.port, timeout=300)
        self.connection.send(peer.hello(features=["notices"]))
        welcome = self.connection.receive()
        if welcome[0] != "welcome" or "notices" not in welcome[4]:
            raise AssertionError(f"no notices agreed: {welcome}")
        self.connection.send(peer.call("AssinaAvisos", ["0001", "", "EST-OUVINTE", ""]))
        self.heard = []
        self.subscribed = threading.Event()

    def run(self):
        try:
            while True:
                message = self.connection.receive()
                if message[0] == "result" and message[1] == 1:
                    self.subscribed.set()
                elif message[0] == "notice":
                    self.heard.append((message[1], message[3], time.monotonic()))
        except (peer.Closed, OSError):
            pass

    def heard_since(self, event, invoice, since, within):
        deadline = time.monotonic() + within
        while time.monotonic() < deadline:
            if any(e == event and (invoice is None or i == invoice) and at > since for e, i, at in self.heard):
                return True
            time.sleep(0.05)
        return False


def open_items(port):
    """(invoice, GTIN-14, free units) of branch 0001's open IUM items."""
    rows = psql("SELECT IT.NRLANCTONF, LPAD(PR.CDGTIN, 14, '0'), IT.QTITEMPROD - (SELECT COUNT(*) FROM LEITURAIUM L"
                "  WHERE L.CDFILIAL = IT.CDFILIAL AND L.NRLANCTONF = IT.NRLANCTONF AND L.CDPRODUTO = IT.CDPRODUTO)"
                " FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
                " JOIN NOTAFISCAL NF ON NF.CDFILIAL = IT.CDFILIAL AND NF.NRLANCTONF = IT.NRLANCTONF"
                " WHERE IT.CDFILIAL = '0001' AND NF.IDCONFRASTR = 'N' AND PR.IDCONTROLAIUM = 'S'"
                " ORDER BY IT.NRLANCTONF, IT.CDPRODUTO", port)
    return [(invoice, gtin, int(float(free))) for invoice, gtin, free in rows if float(free) >= 1]


def wait_synchronous():
    for _ in range(100):
        if psql("SELECT sync_state FROM pg_stat_replication", PRIMARY_PORT) == [["sync"]]:
            return True
        time.sleep(0.1)
    return False


def primary_processes():
    """The primary cluster's postmaster and every process it started."""
    with open(os.path.join(os.environ["EXP_TEST_PG_PRIMARY"], "postmaster.pid")) as pid_file:
        postmaster = int(pid_file.readline())
    children = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == postmaster:
                        children.append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    return [postmaster, *children]


def health(appserver, server):
    return subprocess.run([appserver, "--health", f"127.0.0.1:{server.port}"], capture_output=True, text=True,
                          timeout=30)


def main():
    appserver = sys.argv[1]
    figure = "--figure" in sys.argv[2:]
    silent = "--silent" in sys.argv[2:]
    frozen = []
    if os.environ.get("EXP_TEST_STANDBY") != "1":
        print("failover: needs scripts/with-postgres --standby")
        return 1
    failures = check = peer.Checks()
    peer.create_database(DATABASE)
    folder = tempfile.TemporaryDirectory(prefix="exp-failover-")
    servers = []
    try:
        peer.run([appserver, "--init-demo", "--scale", "6", "--database", f"postgresql:///{DATABASE}"])
        host = os.environ["PGHOST"]
        uri = (f"postgresql:///{DATABASE}?host={host},{host}&port={PRIMARY_PORT},{STANDBY_PORT}"
               f"&user={os.environ['PGUSER']}&target_session_attrs=read-write")
        site = peer.SiteOf(appserver, uri, folder.name)
        servers = [peer.Server(site), peer.Server(site)]

        items = open_items(PRIMARY_PORT)

        # The standby away: a commit waits for it, and TERM still stops the
        # server within 10 s.
        host_options = f"-k {host} -c listen_addresses= -c max_connections=200"
        pg_ctl("-D", os.environ["EXP_TEST_PG_STANDBY"], "-m", "immediate", "-w", "stop")
        held = peer.Server(site)
        waiting = Client(98, [held], [items.pop()], threading.Event())
        waiting.start()
        time.sleep(1.0)
        answer = health(appserver, held)
        print(f"failover: saúde com o standby fora: {answer.stderr.strip()}", flush=True)
        check(answer.returncode == 1 and "não" in answer.stderr, f"health says no while commits wait: {answer}")
        took = peer.stopped_within(held, 10)
        print(f"failover: TERM com um commit à espera do standby atendido em "
              f"{'mais de 15' if took is None else f'{took:.2f}'} s", flush=True)
        check(took is not None and took <= 10, f"TERM within 10 s while a commit waits ({took})")
        if took is None:
            held.process.kill()
        held.stop()
        pg_ctl("-D", os.environ["EXP_TEST_PG_STANDBY"], "-l", os.path.join(host, "standby.log"), "-w",
               "-o", f"{host_options} -p {STANDBY_PORT} -c cluster_name=standby -c wal_receiver_timeout=5s", "start")
        check(wait_synchronous(), "the standby is synchronous again")
        waiting.join(CALL_TIMEOUT_S)
        answer = health(appserver, servers[0])
        check(answer.returncode == 0 and "sim" in answer.stdout, f"health says yes once commits complete: {answer}")

        ear = Ear(servers[1])
        ear.start()
        check(ear.subscribed.wait(10), "the station hearing notices was subscribed")
        stop = threading.Event()
        clients = [Client(n, servers, items[n::CLIENTS], stop) for n in range(CLIENTS)]
        for client in clients:
            client.start()

        time.sleep(BEFORE_STOP_S)
        stopped = time.monotonic()
        if silent:
            frozen = primary_processes()
            for pid in frozen:
                os.kill(pid, signal.SIGSTOP)
        else:
            pg_ctl("-D", os.environ["EXP_TEST_PG_PRIMARY"], "-m", "immediate", "-w", "stop")
        after_stop = time.monotonic()
        pg_ctl("-D", os.environ["EXP_TEST_PG_STANDBY"], "-w", "promote")
        promoted = time.monotonic()

        deadline = promoted + BURST_LIMIT_S
        while time.monotonic() < deadline:
            if all(sum(1 for _, at, sent in c.acks if sent > after_stop) >= RESUMED_ACKS for c in clients):
                break
            if not any(c.is_alive() for c in clients):
                break
            time.sleep(0.1)
        stop.set()
        for client in clients:
            client.join(CALL_TIMEOUT_S * 2 + 10)

        acks = [a for c in clients for a in c.acks]
        refusals = [r for c in clients for r in c.refusals]
        lost = [f for c in clients for f in c.failures]
        resumed = [at for c in clients for _, at, sent in c.acks if sent > after_stop]
        stored = {row[0]: int(row[1]) for row in psql(
            "SELECT L.NRSERIE, (SELECT COUNT(*) FROM AUDITORIA A WHERE A.IDEVENTO = 'L' AND A.CDIUMPROD = L.CDIUMPROD)"
            " FROM LEITURAIUM L WHERE L.NRSERIE LIKE 'F%X%'", STANDBY_PORT)}
        missing = [code for code, _, _ in acks if code not in stored]
        twice = [code for code, audits in stored.items() if audits != 1]
        recovery = min(resumed) - stopped if resumed else float("inf")
        print(f"failover: {len(acks)} escritas confirmadas ({len(resumed)} depois da promoção), "
              f"{len(refusals)} recusas, {len(lost)} falhas, {len(missing)} confirmadas e perdidas, "
              f"{len(twice)} aplicadas duas vezes; primário parado em {after_stop - stopped:.2f} s, "
              f"promovido em {promoted - after_stop:.2f} s; primeira escrita no novo primário {recovery:.2f} s "
              f"depois da parada", flush=True)
        check(len(acks) > 0 and any(sent < stopped for _, _, sent in acks), "writes before the stop")
        check(not missing, f"acknowledged writes lost: {missing[:5]}")
        check(not twice, f"changes applied twice: {twice[:5]}")
        check(not refusals, f"false refusals: {refusals[:3]}")
        per_client = [sum(1 for _, _, sent in c.acks if sent > after_stop) for c in clients]
        check(all(count >= RESUMED_ACKS for count in per_client),
              f"writing resumed for every client (acknowledged after the stop: {per_client})")
        check(recovery <= 10, f"failover recovered within 10 s ({recovery:.2f} s)")
        if lost:
            print(f"failover: falhas: {lost[:5]}", flush=True)
        if figure:
            print(f"figure: failover_{'silent_' if silent else ''}recovery_s {recovery:.2f} s", flush=True)

        # The notices cross servers again through the new primary.
        check(ear.heard_since("missed", None, stopped, 10), "the station was told it may have missed notices")
        invoice, gtin, _ = open_items(STANDBY_PORT)[0]
        probe = Client(97, [servers[0]], [], threading.Event())
        sent = time.monotonic()
        reply = probe.send(["0001", invoice, f"]d201{gtin}21OUVIDA1"], str(uuid.uuid4()))
        probe.connection.close()
        check(reply[0] == "result" and reply[2][0] is True, f"a reading after the failover was stored: {reply}")
        check(ear.heard_since("reading", invoice, sent, 5),
              "a reading stored through one server after the failover was heard through the other")
        ear.connection.close()

        # The new primary goes away: the health check says no, and a server
        # stops on TERM while a call waits for the database.
        pg_ctl("-D", os.environ["EXP_TEST_PG_STANDBY"], "-m", "immediate", "-w", "stop")
        answer = health(appserver, servers[0])
        check(answer.returncode == 1 and "não" in answer.stderr, f"health says no without the database: {answer}")
        waiting = Client(99, [servers[1]], items[-1:], threading.Event())
        waiting.start()
        time.sleep(1.0)
        took = peer.stopped_within(servers[1], 10)
        print(f"failover: TERM com o banco fora atendido em {'mais de 15' if took is None else f'{took:.2f}'} s",
              flush=True)
        check(took is not None and took <= 10, f"TERM within 10 s without a database ({took})")
        waiting.join(CALL_TIMEOUT_S)

        pg_ctl("-D", os.environ["EXP_TEST_PG_STANDBY"], "-l", os.path.join(host, "promoted.log"), "-w",
               "-o", f"{host_options} -p {STANDBY_PORT}", "start")
        answer = health(appserver, servers[0])
        check(answer.returncode == 0 and "sim" in answer.stdout, f"health says yes once the database is back: {answer}")
    finally:
        # A frozen primary is ended for good, so that nothing of it wakes up
        # beside the new one.
        for pid in frozen:
            for sig in (signal.SIGKILL, signal.SIGCONT):
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
        for server in servers:
            server.stop()
            if failures:
                print("".join(line for line in server.log().splitlines(keepends=True) if "falha" in line)[:4000],
                      flush=True)
        folder.cleanup()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

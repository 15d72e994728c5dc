#!/usr/bin/python3
"""A PostgreSQL site seen from outside: its database roles as a station, an
operator and the servers hold them (run under scripts/with-postgres, whose
PGHOST, PGPORT and PGUSER name the throwaway cluster's administrator).

- `--create-roles` leaves the stations' role of an earlier set-up no way
  into the database (stations query through the server);
- `--migrate` run by the administrator leaves the new tables the owner's,
  so the servers' role reads and writes them;
- a change commits and is answered even when its NOTIFY cannot be sent;
- a notice written on the channel by a role given CONNECT by hand is not
  believed by any server, and what it hears on the channel does not tell a
  branch, an invoice or a user.

    pg_site.py APPSERVER"""
import os
import subprocess
import sys
import time

import peer

OWNER = "peer_dono"
SERVERS = "peer_servidor"
STATIONS = "peer_estacao"
DATABASE = "peer_site"
CHANNEL = "exp13000_avisos"


def psql(sql, user=None, database=DATABASE, check=True):
    arguments = ["psql", "-X", "-v", "ON_ERROR_STOP=1", "-At", "-d", database, "-c", sql]
    if user:
        arguments += ["-U", user]
    done = subprocess.run(arguments, capture_output=True, text=True, timeout=60)
    if check and done.returncode != 0:
        raise AssertionError(f"psql {sql!r} as {user or 'admin'}: {done.stderr.strip()}")
    return done


def uri(user=None):
    return f"postgresql:///{DATABASE}" + (f"?user={user}" if user else "")


def set_up(appserver):
    psql(f"DROP DATABASE IF EXISTS {DATABASE}", database="postgres")
    for role in (OWNER, SERVERS, STATIONS):
        psql(f"DROP ROLE IF EXISTS {role}", database="postgres")
    psql(f"CREATE ROLE {OWNER} LOGIN", database="postgres")
    psql(f"CREATE DATABASE {DATABASE} OWNER {OWNER} ENCODING 'UTF8' TEMPLATE template0", database="postgres")
    # The stations' role as an earlier set-up left it.
    psql(f"CREATE ROLE {STATIONS} LOGIN", database="postgres")
    psql(f"GRANT CONNECT ON DATABASE {DATABASE} TO {STATIONS}", database="postgres")
    peer.run([appserver, "--create-roles", "--database", uri(), "--server-role", SERVERS, "--station-role", STATIONS],
             stdin="\n")
    peer.run([appserver, "--init-demo", "--database", uri(OWNER)])


def check_stations_role_shut_out(failures):
    done = psql("SELECT 1", user=STATIONS, check=False)
    if done.returncode == 0:
        failures.append("the stations' role of an earlier set-up still connects")


def check_migrate_as_administrator(appserver, failures):
    psql("DROP TABLE REQUISICAO; DROP TABLE IF EXISTS CHAVEAVISO; ALTER TABLE FILIAL DROP COLUMN NRGLN;"
         " UPDATE VERSAOESQUEMA SET NRVERSAO = 1", user=OWNER)
    peer.run([appserver, "--migrate", "--database", uri()])
    owners = psql("SELECT tablename || ':' || tableowner FROM pg_tables"
                  " WHERE tablename IN ('requisicao', 'chaveaviso') ORDER BY 1").stdout.split()
    if f"requisicao:{OWNER}" not in owners or any(not owner.endswith(f":{OWNER}") for owner in owners):
        failures.append(f"--migrate as the administrator: tables owned {owners}")
    for table in ("REQUISICAO",):
        done = psql(f"SELECT COUNT(*) FROM {table}", user=SERVERS, check=False)
        if done.returncode != 0:
            failures.append(f"--migrate as the administrator: the servers' role cannot read {table}: "
                            f"{done.stderr.strip()}")
    refused = subprocess.run([appserver, "--migrate", "--database", uri(SERVERS)], capture_output=True, text=True,
                             timeout=60)
    if refused.returncode == 0 or "--migrate" not in refused.stderr:
        failures.append(f"--migrate as the servers' role: exit {refused.returncode}, {refused.stderr.strip()}")


def confirmable_invoices():
    return psql("SELECT NRLANCTONF FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND IDCONFRASTR = 'N'"
                " ORDER BY NRLANCTONF").stdout.split()


def check_commit_without_notify(site, failures):
    psql("REVOKE EXECUTE ON FUNCTION pg_notify(text, text) FROM PUBLIC")
    server = peer.Server(site)
    try:
        connection = peer.Connection(server.port)
        connection.send(peer.hello())
        connection.receive()
        confirmed = None
        for i, invoice in enumerate(confirmable_invoices()[:10]):
            connection.send(peer.call("setConfRastrOK", ["0001", invoice], i))
            reply = connection.receive()
            if reply[0] == "result" and reply[2][0] is True:
                confirmed = invoice
                break
        connection.close()
        if confirmed is None:
            failures.append(f"no confirmation committed while NOTIFY fails; last reply {reply}")
        elif psql(f"SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = '{confirmed}'"
                  ).stdout.strip() != "S":
            failures.append(f"the confirmation of {confirmed} was answered and not recorded")
    finally:
        server.stop()
        psql("GRANT EXECUTE ON FUNCTION pg_notify(text, text) TO PUBLIC")


def check_station_role_on_the_channel(site, failures):
    psql(f"GRANT CONNECT ON DATABASE {DATABASE} TO {STATIONS}")
    server = peer.Server(site)
    try:
        watcher = peer.Connection(server.port)
        watcher.send(peer.hello(features=["compact", "notices"]))
        watcher.receive()
        watcher.send(peer.call("AssinaAvisos", ["0001", "vigia", "EST-VIGIA", ""], 1))
        if watcher.receive()[0] != "result":
            raise AssertionError("the watcher was not subscribed")
        # A station's role listens while a station of the server opens an invoice.
        listening = subprocess.Popen(
            ["psql", "-X", "-d", DATABASE, "-U", STATIONS, "-c", f"LISTEN {CHANNEL}", "-c", "SELECT pg_sleep(2)"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        time.sleep(0.5)
        present = peer.Connection(server.port)
        present.send(peer.hello(features=["compact", "notices"]))
        present.receive()
        present.send(peer.call("AssinaAvisos", ["0001", "ana", "EST-ANA", "0000000001"], 1))
        present.receive()
        heard = listening.communicate(timeout=30)[0]
        if "EST-ANA" in heard or "0000000001" in heard or '"b"' in heard:
            failures.append(f"the stations' role read a notice: {heard.strip()}")
        # And writes one of its own.
        forged = psql(f"SELECT pg_notify('{CHANNEL}', '{{\"e\":\"reading\",\"b\":\"0001\",\"i\":\"0000000001\","
                      f"\"p\":\"0000000003\",\"c\":999,\"u\":\"gerente\",\"s\":\"EST-X\"}}')",
                      user=STATIONS, check=False)
        watcher.sock.settimeout(2)
        believed = []
        try:
            while True:
                message = watcher.receive()
                if message[0] == "notice" and message[1] == "reading":
                    believed.append(message)
        except (TimeoutError, OSError):
            pass
        if believed:
            failures.append(f"a notice forged by the stations' role was believed: {believed}")
        print(f"stations' role: NOTIFY {'refused' if forged.returncode else 'sent'}, nothing believed")
        for connection in (watcher, present):
            connection.close()
    finally:
        server.stop()


def main(argv):
    appserver = argv[1]
    if not os.environ.get("PGHOST"):
        print("pg_site.py runs under scripts/with-postgres")
        return 1
    site = peer.Site(appserver)
    failures = []
    try:
        set_up(appserver)
        site.database = uri(SERVERS)
        for check in (check_stations_role_shut_out,
                      lambda f: check_migrate_as_administrator(appserver, f),
                      lambda f: check_commit_without_notify(site, f),
                      lambda f: check_station_role_on_the_channel(site, f)):
            try:
                check(failures)
            except (AssertionError, OSError, peer.Closed, RuntimeError, subprocess.TimeoutExpired) as error:
                failures.append(repr(error))
    finally:
        site.cleanup()
    return peer.verdict(failures, "the site's database roles held")


if __name__ == "__main__":
    sys.exit(main(sys.argv))

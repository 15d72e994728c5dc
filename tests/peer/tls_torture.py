#!/usr/bin/python3
"""Whatever reaches a TLS listener before a login must cost that connection
only: one server with TLS and accounts is sent, in a bounded loop, garbage,
truncated records, TLS 1.0 and 1.1 hellos, hellos offering only NULL or only
export ciphers, an SSLv2-style hello, a client that rejects the certificate,
clients that vanish or reset mid-handshake, and a handshake followed by
garbage. The hostile connections all come from one address, which the
server's per-address limits are there to slow down; what the test asserts is
the server's behaviour toward everybody else: after every round a station on
another address (as real stations are) still logs in and is served a call,
and at the end the server stops cleanly on SIGTERM.

    tls_torture.py APPSERVER [ROUNDS]"""
import os
import socket
import ssl
import struct
import sys
import time

import warnings

import peer

# The old protocols are offered on purpose.
warnings.simplefilter("ignore", DeprecationWarning)

# Where the hostile connections come from, and where the station that must
# still be served logs in from.
HOSTILE = "127.0.0.1"
STATION = "127.0.0.2"


def client_hello(version, suites, extensions=b""):
    """A ClientHello record of `version` offering `suites` (TLS 1.2, RFC 5246 7.4.1.2)."""
    body = struct.pack(">H", version) + os.urandom(32) + b"\x00"
    body += struct.pack(">H", 2 * len(suites)) + b"".join(struct.pack(">H", s) for s in suites)
    body += b"\x01\x00"
    if extensions:
        body += struct.pack(">H", len(extensions)) + extensions
    handshake = b"\x01" + struct.pack(">I", len(body))[1:] + body
    return b"\x16\x03\x01" + struct.pack(">H", len(handshake)) + handshake


def real_client_hello():
    """The first flight of Python's own TLS client, to cut short."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname="127.0.0.1")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


AES = [0x002F, 0x0035, 0xC013, 0xC014]
NULL_ONLY = [0x0001, 0x0002, 0x003B]
EXPORT_ONLY = [0x0003, 0x0006, 0x0008, 0x0011, 0x0014]

RAW_CASES = {
    "ten bytes": bytes.fromhex("16030100056865 6c6c6f".replace(" ", "")),
    "plain hello frame": peer.hello("maria", peer.PASSWORD),
    "http": b"GET / HTTP/1.0\r\n\r\n",
    "random": bytes(range(256)) * 4,
    "truncated record": b"\x16\x03\x01\x02\x00" + b"\x01\x00\x01\xfc\x03\x03",
    "record too long": b"\x16\x03\x01\xff\xff" + b"\x00" * 512,
    "tls 1.0 hello": client_hello(0x0301, AES),
    "tls 1.1 hello": client_hello(0x0302, AES),
    "tls 1.2 null only": client_hello(0x0303, NULL_ONLY),
    "tls 1.2 export only": client_hello(0x0303, EXPORT_ONLY),
    "no suites": client_hello(0x0303, []),
    "sslv2 hello": bytes.fromhex("802e0100020015000000100100800700c0030080060040020080") + os.urandom(16),
    "alert first": b"\x15\x03\x03\x00\x02\x02\x28",
    "change cipher first": b"\x14\x03\x03\x00\x01\x01",
}


def send_raw(port, data, how):
    """Sends `data`, then reads until the server closes ("read"), closes at
    once ("close"), or resets the connection ("reset")."""
    with socket.create_connection(("127.0.0.1", port), timeout=5, source_address=(HOSTILE, 0)) as sock:
        sock.sendall(data)
        if how == "reset":
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        if how == "read":
            try:
                while sock.recv(4096):
                    pass
            except (socket.timeout, ConnectionResetError):
                pass


def untrusting_client(port):
    """A client that does not trust the server's certificate and says so."""
    context = ssl.create_default_context()
    with socket.create_connection(("127.0.0.1", port), timeout=5, source_address=(HOSTILE, 0)) as sock:
        try:
            with context.wrap_socket(sock, server_hostname="127.0.0.1"):
                raise AssertionError("an untrusted certificate was accepted")
        except ssl.SSLCertVerificationError:
            pass


def handshake_then(port, authority, data):
    """A whole handshake, then `data` inside TLS, then close."""
    connection = peer.Connection(port, authority, source=HOSTILE, timeout=5)
    connection.send(data)
    connection.close()


# How the server's per-address limit turns the hostile address away: the
# connection is closed or reset before or during the handshake. That is the
# limit working, not a failure.
REFUSED = (ConnectionResetError, BrokenPipeError, ssl.SSLEOFError, ssl.SSLZeroReturnError)


def hostile(action, *args):
    """Runs one hostile connection; True when the server turned it away."""
    try:
        action(*args)
        return False
    except REFUSED:
        return True


def served(server, site):
    try:
        connection = peer.login(server.port, tls_authority=site.certificate, source=STATION)
    except REFUSED:
        return False
    connection.send(peer.call("GetItensIUM", ["0001", "0000000001"]))
    reply = connection.receive()
    connection.close()
    return reply[0] == "result"


def main(argv):
    appserver = argv[1]
    rounds = int(argv[2]) if len(argv) > 2 else 3
    site = peer.Site(appserver)
    server = peer.Server(site, site.secure_arguments())
    failures = []
    refused = 0
    try:
        hello = real_client_hello()
        for round_number in range(rounds):
            for name, data in RAW_CASES.items():
                for how in ("read", "close", "reset"):
                    refused += hostile(send_raw, server.port, data, how)
                    if not server.alive():
                        failures.append(f"round {round_number}: {name} ({how}) ended the server")
                        raise SystemExit
            for how in ("close", "reset", "read"):
                refused += hostile(send_raw, server.port, hello, how)
            refused += hostile(send_raw, server.port, hello[: len(hello) // 2], "close")
            refused += hostile(untrusting_client, server.port)
            refused += hostile(handshake_then, server.port, site.certificate, b"\x00\x00\x00\x05garbage")
            refused += hostile(handshake_then, server.port, site.certificate, b"\x00\x10\x00\x00\x86")
            if not server.alive():
                failures.append(f"round {round_number}: the server ended")
                raise SystemExit
            if not served(server, site):
                failures.append(f"round {round_number}: a login was not served")
        # Old protocols are refused by the handshake itself, with an alert,
        # not by a crash or a silent close after a time-out.
        for version in (ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1):
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            try:
                context.set_ciphers("ALL:@SECLEVEL=0")
                context.minimum_version = version
                context.maximum_version = version
            except (ValueError, ssl.SSLError):
                continue
            start = time.monotonic()
            with socket.create_connection(("127.0.0.1", server.port), timeout=5, source_address=(HOSTILE, 0)) as sock:
                try:
                    context.wrap_socket(sock, server_hostname="127.0.0.1")
                    failures.append(f"{version.name} was accepted")
                except (ssl.SSLError, ConnectionResetError, OSError):
                    if time.monotonic() - start > 2:
                        failures.append(f"{version.name} was refused only after {time.monotonic() - start:.1f} s")
    except SystemExit:
        pass
    finally:
        alive = server.alive()
        code = server.stop()
        log = server.log()
        site.cleanup()
    if not alive:
        failures.append(f"the server ended with code {code}")
    elif code != 0:
        failures.append(f"SIGTERM ended the server with code {code}")
    return peer.verdict(failures, f"{rounds} rounds of {len(RAW_CASES) * 3 + 7} hostile connections each "
                                  f"({refused} turned away by the per-address limit): the server kept serving "
                                  "the station on another address", log)


if __name__ == "__main__":
    sys.exit(main(sys.argv))

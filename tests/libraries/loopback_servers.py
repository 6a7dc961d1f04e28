#!/usr/bin/env python3
"""Runs a test program beside two web servers of its own on 127.0.0.1, one
plain and one over TLS with a certificate made here that no one vouches for,
and tells the program where they are:
  TAPERLY_TEST_HTTP_URL, TAPERLY_TEST_HTTPS_URL
  TAPERLY_TEST_HTTPS_CERTIFICATE   the TLS server's certificate, DER in base64
Each answers any GET with "taperly loopback". Exits with the program's status.
Usage: loopback_servers.py PROGRAM [ARGUMENTS...]"""
import base64
import http.server
import os
import ssl
import subprocess
import sys
import tempfile
import threading

BODY = b"taperly loopback"

# The certificate names the address the test connects to, so that only the
# trust in it is missing; it may sign (a root of its own), so that trusting
# it is enough on every TLS library.
CERTIFICATE_CONFIG = """
[req]
distinguished_name = name
x509_extensions = extensions
prompt = no
[name]
CN = 127.0.0.1
[extensions]
basicConstraints = critical, CA:TRUE
keyUsage = critical, digitalSignature, keyEncipherment, keyCertSign
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
"""


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(BODY)))
        self.end_headers()
        self.wfile.write(BODY)

    def log_message(self, *_):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that refuses the certificate ends the handshake: expected.
        pass


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"{server.server_address[1]}"


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory(prefix="taperly-loopback-") as folder:
        config, key, certificate = (os.path.join(folder, name)
                                    for name in ("openssl.cnf", "key.pem", "certificate.pem"))
        with open(config, "w") as out:
            out.write(CERTIFICATE_CONFIG)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-config", config, "-keyout", key, "-out", certificate],
                       check=True, capture_output=True)
        plain = Server(("127.0.0.1", 0), Handler)
        secure = Server(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        # The handshake happens in each connection's own thread, so a client
        # that stalls in it holds up no other.
        secure.socket = context.wrap_socket(secure.socket, server_side=True,
                                            do_handshake_on_connect=False)
        with open(certificate) as pem:
            der = ssl.PEM_cert_to_DER_cert(pem.read())
        environment = dict(os.environ,
                           TAPERLY_TEST_HTTP_URL=f"http://127.0.0.1:{serve(plain)}/",
                           TAPERLY_TEST_HTTPS_URL=f"https://127.0.0.1:{serve(secure)}/",
                           TAPERLY_TEST_HTTPS_CERTIFICATE=base64.b64encode(der).decode())
        status = subprocess.run(sys.argv[1:], env=environment).returncode
        plain.shutdown()
        secure.shutdown()
    sys.exit(status)


if __name__ == "__main__":
    main()

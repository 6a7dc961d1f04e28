#!/usr/bin/env python3
"""Stand-ins for the call services, written from their published contracts
(Rdio Scanner, OpenMHz, Broadcastify Calls), on a loopback port of their own.

Usage: call_servers.py FOLDER [--key K] [--system N] [--short-name S]
                       [--talkgroups 1,2] [--system-id N] [--skew SECONDS]
                       [--port N] [--tls CERTIFICATE KEY] [--tls-self-signed]

Prints the port it listens on, then serves until it is ended:
  POST /api/call-upload        Rdio Scanner
  POST /<short name>/upload    OpenMHz
  POST /call-upload            Broadcastify Calls, then PUT /sound/<n>
Every request that reaches a service is a JSON line in FOLDER/calls.jsonl
(its fields, its sound saved as FOLDER/sound-<n>.<ext>, what was answered,
whether the service kept it: a duplicate it drops is not kept),
and the same as lines in FOLDER/calls.txt: "call <n>", "service <s>",
"answered <status> <text>", "method", "path", "content_type", "time",
"kept yes|no", a "field
<name>=<value>" for each text, "file <field> <type> <saved path> <name>",
then "end"; backslashes and line ends escaped.

Faults: each line of FOLDER/faults.txt is used once, by the first request
it fits, and removed: "<service> <fault>", the service rdio, openmhz,
broadcastify, sound (Broadcastify's PUT) or any; the fault one of
  status <code> [<retry-after seconds or -> [<text>]]
                                         answer that status and text, the call not kept
  echo <code>                            answer that status with the key it was sent
  cut                                    keep the call, then close without an answer
  reset                                  close with a reset once the request is in, the call not kept
  redirect                               307 to the same service on this server
  hang                                   keep the call, never answer
  slowdown                               503 SlowDown (with Retry-After: 1)
"""
import argparse
import email.parser
import email.policy
import json
import os
import socket
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock = threading.Lock()
state = {"count": 0, "rdio": [], "broadcastify": {}, "sounds": {}}


def fields_of(handler, body):
    """A multipart form's fields: texts, and files as (name, type, bytes)."""
    kind = handler.headers.get("Content-Type", "")
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + kind.encode() + b"\r\n\r\n" + body)
    fields = {}
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        filename = part.get_filename()
        payload = part.get_payload(decode=True)
        if filename is not None:
            fields[name] = (filename, part.get_content_type(), payload)
        else:
            fields[name] = payload.decode("utf-8")
    return fields


def take_fault(folder, service):
    path = os.path.join(folder, "faults.txt")
    with lock:
        try:
            with open(path) as f:
                lines = [l.strip() for l in f if l.strip()]
        except FileNotFoundError:
            return None
        for i, line in enumerate(lines):
            who, _, fault = line.partition(" ")
            if who in (service, "any"):
                del lines[i]
                with open(path + ".new", "w") as f:
                    f.write("".join(l + "\n" for l in lines))
                os.replace(path + ".new", path)
                return fault.split()
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def body(self):
        return self.rfile.read(int(self.headers.get("Content-Length", "0")))

    def answer(self, status, text="", headers=()):
        data = text.encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def record(self, service, fields, answered, extra=None, kept=False):
        with lock:
            state["count"] += 1
            n = state["count"]
            entry = {"n": n, "service": service, "time": time.time(), "answered": answered,
                     "path": self.path, "method": self.command,
                     "content_type": self.headers.get("Content-Type", "")}
            texts = {}
            for name, value in fields.items():
                if isinstance(value, tuple):
                    filename, kind, data = value
                    ext = filename.rsplit(".", 1)[-1] if "." in filename else "bin"
                    saved = os.path.join(args.folder, "sound-%d.%s" % (n, ext))
                    with open(saved, "wb") as f:
                        f.write(data)
                    entry["file"] = {"field": name, "name": filename, "type": kind,
                                     "saved": saved, "bytes": len(data)}
                else:
                    texts[name] = value
            entry["fields"] = texts
            entry["kept"] = kept
            entry.update(extra or {})
            with open(os.path.join(args.folder, "calls.jsonl"), "a") as f:
                f.write(json.dumps(entry) + "\n")
            # The same as lines a test reads without a JSON parser.
            def line(*words):
                return " ".join(str(w).replace("\\", "\\\\").replace("\n", "\\n") for w in words) + "\n"
            text = line("call", n) + line("service", service) + line("answered", answered)
            text += line("method", self.command) + line("path", self.path)
            text += line("content_type", entry["content_type"])
            text += line("time", "%.3f" % entry["time"]) + line("kept", "yes" if kept else "no")
            for name, value in texts.items():
                text += line("field", name + "=" + value)
            if "file" in entry:
                f = entry["file"]
                text += line("file", f["field"], f["type"], f["saved"], f["name"])
            with open(os.path.join(args.folder, "calls.txt"), "a") as f:
                f.write(text + "end\n")
            return n

    def faulted(self, service, fields, extra=None):
        """Acts on a fault for this request; True when it answered (or not) so."""
        fault = take_fault(args.folder, service)
        if not fault:
            return False
        if fault[0] == "status":
            headers = [("Retry-After", fault[2])] if len(fault) > 2 and fault[2] != "-" else []
            text = " ".join(fault[3:]) or "fault"
            self.record(service, fields, "fault %s %s" % (fault[1], text), extra)
            self.answer(int(fault[1]), text, headers)
        elif fault[0] == "echo":
            key = fields.get("key") or fields.get("api_key") or fields.get("apiKey") or ""
            self.record(service, fields, "fault %s echo" % fault[1], extra)
            self.answer(int(fault[1]), "Refused the key %s, sorry" % key)
        elif fault[0] == "slowdown":
            self.record(service, fields, "fault 503", extra)
            self.answer(503, "<Error><Code>SlowDown</Code></Error>", [("Retry-After", "1")])
        elif fault[0] == "cut":
            self.serve(service, fields, extra, quiet=True)
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
        elif fault[0] == "redirect":
            self.record(service, fields, "fault 307 redirect", extra)
            self.answer(307, "", [("Location", "http://127.0.0.1:%d%s" % (port, self.path))])
        elif fault[0] == "reset":
            self.record(service, fields, "fault reset", extra)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
        elif fault[0] == "hang":
            self.serve(service, fields, extra, quiet=True)
            time.sleep(3600)
        return True

    def do_POST(self):
        body = self.body()
        parts = self.path.strip("/").split("/")
        try:
            fields = fields_of(self, body)
        except Exception as error:  # what a real service would refuse too
            self.answer(400, "bad form: %s" % error)
            return
        if self.path == "/api/call-upload":
            service = "rdio"
        elif self.path == "/call-upload":
            service = "broadcastify"
        elif len(parts) == 2 and parts[1] == "upload":
            service = "openmhz"
        else:
            self.answer(404, "not found")
            return
        if not self.faulted(service, fields):
            self.serve(service, fields)

    def do_PUT(self):
        body = self.body()
        name = self.path.rsplit("/", 1)[-1]
        fields = {"sound": ("%s.mp3" % name, self.headers.get("Content-Type", ""), body)}
        extra = {"sound_of": name}
        if not self.faulted("sound", fields, extra):
            self.serve("sound", fields, extra)

    def serve(self, service, fields, extra=None, quiet=False):
        self.kept = False
        status, text = getattr(self, "serve_" + service)(fields)
        self.record(service, fields, "%d %s" % (status, text), extra, self.kept)
        if not quiet:
            self.answer(status, text)

    def serve_rdio(self, f):
        system, talkgroup = f.get("system", ""), f.get("talkgroup", "")
        if f.get("key") != args.key:
            return 401, "Invalid API key for system %s talkgroup %s." % (system, talkgroup)
        missing = [n for n in ("audio", "dateTime", "system", "talkgroup") if n not in f]
        if missing or not isinstance(f["audio"], tuple):
            return 417, "Incomplete call data: %s" % ", ".join(missing)
        if not (system.isdigit() and talkgroup.isdigit() and int(system) > 0 and int(talkgroup) > 0):
            return 417, "Incomplete call data: system and talkgroup must be numbers"
        when = int(f["timestamp"]) if "timestamp" in f else None
        with lock:
            for known in state["rdio"]:
                if known[:2] == (system, talkgroup) and when is not None and abs(known[2] - when) <= 500:
                    return 200, "Call imported successfully."  # a duplicate, dropped silently
            state["rdio"].append((system, talkgroup, when))
        self.kept = True
        return 200, "Call imported successfully."

    def serve_openmhz(self, f):
        if self.path.strip("/").split("/")[0] != args.short_name:
            return 500, "ShortName does not exist"
        if f.get("api_key") != args.key:
            return 500, "API Keys do not match!"
        call = f.get("call")
        if not isinstance(call, tuple) or not call[0].endswith((".m4a", ".mp3")):
            return 500, "Error, invalid filename"
        json.loads(f.get("source_list", "not json"))
        if args.talkgroups and f.get("talkgroup_num") not in args.talkgroups.split(","):
            return 500, "Talkgroup does not exist, skipping."
        self.kept = True
        return 200, ""

    def serve_broadcastify(self, f):
        if f.get("apiKey") != args.key:
            return 200, "1 Invalid-API-Key"
        if f.get("systemId") != args.system_id:
            return 200, "1 INVALID-SYSTEM-ID"
        if int(f.get("callDuration", "0")) <= 0:
            return 200, "1 Invalid-Call-Duration"
        ts, length = int(f["ts"]), int(f["callDuration"])
        late = time.time() - (ts + length)
        if late > args.skew:
            return 200, "1 REJECTED-CALL-SKEW-TOO-LONG-%d" % late
        key = (f["systemId"], f["tg"], f["ts"])
        with lock:
            if key in state["broadcastify"]:
                return 200, "1 SKIPPED---ALREADY-RECEIVED-THIS-CALL"
            state["broadcastify"][key] = len(state["broadcastify"]) + 1
            n = state["broadcastify"][key]
        self.kept = True
        return 200, "0 http://127.0.0.1:%d/sound/%d" % (port, n)

    def serve_sound(self, f):
        if f["sound"][1] != "audio/mpeg":
            return 400, "wrong type"
        self.kept = True
        return 200, ""


parser = argparse.ArgumentParser()
parser.add_argument("folder")
parser.add_argument("--key", default="test-key-1234")
parser.add_argument("--system", default="11")
parser.add_argument("--short-name", default="metro")
parser.add_argument("--talkgroups", default="")
parser.add_argument("--system-id", default="77")
parser.add_argument("--skew", type=float, default=30.0)
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--tls", nargs=2, metavar=("CERTIFICATE", "KEY"))
# A certificate for 127.0.0.1 that nobody trusts, made in FOLDER.
parser.add_argument("--tls-self-signed", action="store_true")
args = parser.parse_args()
if args.tls_self_signed:
    import subprocess
    args.tls = [os.path.join(args.folder, "cert.pem"), os.path.join(args.folder, "key.pem")]
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", args.tls[1], "-out", args.tls[0]],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

ThreadingHTTPServer.allow_reuse_address = True
server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
if args.tls:
    import ssl
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*args.tls)
    server.socket = context.wrap_socket(server.socket, server_side=True)
server.daemon_threads = True
port = server.server_address[1]
print(port, flush=True)
server.serve_forever()

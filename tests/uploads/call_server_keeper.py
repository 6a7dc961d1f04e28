#!/usr/bin/env python3
"""Starts and ends the call services' stand-ins (call_servers.py) for a test
that cannot start a Linux program itself: the Windows build's, under Wine.

Usage: call_server_keeper.py COMMAND...
Listens on a loopback port, runs COMMAND with TAPERLY_CALL_SERVER_KEEPER set
to that port, and ends every stand-in it started when COMMAND ends, passing
on its exit status. A connection sends one line and gets one back:
  start [call_servers.py's options]  ->  "<port> <folder>" (a fresh folder)
  stop <port>                        ->  "stopped": nothing listens there now
  end <port>                         ->  "ended": stopped, its folder removed
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading

servers_script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "call_servers.py")
lock = threading.Lock()
# Port: (process, folder).
servers = {}


def start(options):
    folder = tempfile.mkdtemp(prefix="taperly-calls-")
    process = subprocess.Popen([sys.executable, servers_script, folder] + options,
                               stdout=subprocess.PIPE, stderr=open(os.path.join(folder, "stderr.txt"), "w"))
    port = process.stdout.readline().decode().strip()
    if not port:
        process.kill()
        return "0 " + folder
    with lock:
        servers[port] = (process, folder)
    return port + " " + folder


def stop(port, remove):
    with lock:
        process, folder = servers.get(port, (None, None))
    if process is not None and process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    if remove and folder is not None:
        with lock:
            servers.pop(port, None)
        shutil.rmtree(folder, ignore_errors=True)


def serve(connection):
    with connection, connection.makefile("rw", newline="\n") as talk:
        words = talk.readline().split()
        if not words:
            return
        if words[0] == "start":
            talk.write(start(words[1:]) + "\n")
        elif words[0] in ("stop", "end") and len(words) == 2:
            stop(words[1], words[0] == "end")
            talk.write(("stopped" if words[0] == "stop" else "ended") + "\n")
        else:
            talk.write("unknown\n")


def listen(listener):
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection,), daemon=True).start()


listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
threading.Thread(target=listen, args=(listener,), daemon=True).start()
# Ended from outside (CTest's time limit): the stand-ins end too.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
environment = dict(os.environ, TAPERLY_CALL_SERVER_KEEPER=str(listener.getsockname()[1]))
status = 1
try:
    status = subprocess.call(sys.argv[1:], env=environment)
finally:
    for port in list(servers):
        stop(port, True)
sys.exit(status)

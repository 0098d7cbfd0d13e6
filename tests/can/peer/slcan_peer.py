"""Independent SLCAN peer: python-can's slcan bus on one pseudo-terminal, bridged to a second
pseudo-terminal whose path is printed for the library under test.

stdin commands, one per line:
  recv N           print N frames python-can received ("RX kind id dlc data" or "RX none")
  send K ID D HEX  python-can sends one frame (K one of t T r R, ID hex, D the dlc, HEX data)
  raw LINE         write LINE and a carriage return through python-can's own serial port
  quit
"""
import os
import select
import sys
import threading
import tty

import can


def raw_pty():
    master, slave = os.openpty()
    tty.setraw(master)
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


def bridge(a, b, stop):
    while not stop.is_set():
        ready, _, _ = select.select([a, b], [], [], 0.05)
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                continue
            if data:
                os.write(b if fd == a else a, data)


def main():
    ours_master, ours_slave, ours_path = raw_pty()
    peer_master, peer_slave, peer_path = raw_pty()
    stop = threading.Event()
    thread = threading.Thread(target=bridge, args=(ours_master, peer_master, stop), daemon=True)
    thread.start()
    bus = can.Bus(interface="slcan", channel=peer_path, bitrate=500000, sleep_after_open=0)
    print(ours_path, flush=True)
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "quit":
            break
        if words[0] == "recv":
            for _ in range(int(words[1])):
                msg = bus.recv(timeout=2.0)
                if msg is None:
                    print("RX none", flush=True)
                    continue
                kind = ("R" if msg.is_extended_id else "r") if msg.is_remote_frame else ("T" if msg.is_extended_id else "t")
                print("RX %s %X %d %s" % (kind, msg.arbitration_id, msg.dlc, bytes(msg.data).hex().upper()), flush=True)
        elif words[0] == "send":
            kind, ident, dlc = words[1], int(words[2], 16), int(words[3])
            data = bytes.fromhex(words[4]) if len(words) > 4 else b""
            remote = kind in "rR"
            msg = can.Message(arbitration_id=ident, is_extended_id=kind in "TR", is_remote_frame=remote,
                              dlc=dlc, data=None if remote else data)
            bus.send(msg)
            print("SENT", flush=True)
        elif words[0] == "raw":
            bus.serialPortOrig.write(words[1].encode() + b"\r")
            bus.serialPortOrig.flush()
            print("SENT", flush=True)
    stop.set()
    thread.join(1)
    bus.shutdown()


if __name__ == "__main__":
    main()

"""Frames per second through python-can's slcan line handling, fed from pyserial's loop:// port."""
import sys
import time

import can

count = int(sys.argv[1])
lines = [b"t1238%016X\r" % i for i in range(64)]
bus = can.Bus(interface="slcan", channel="loop://", bitrate=500000, sleep_after_open=0)
bus.serialPortOrig.reset_input_buffer()
received = 0
start = time.perf_counter()
while received < count:
    bus.serialPortOrig.write(b"".join(lines))
    for _ in lines:
        if bus.recv(timeout=1.0) is not None:
            received += 1
elapsed = time.perf_counter() - start
print("%.0f" % (received / elapsed))
bus.shutdown()

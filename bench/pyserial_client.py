#!/usr/bin/python3
"""The dispenser exchange "3" -> "030" with pyserial, for the link benchmark.

Usage: pyserial_client.py DEVICE EXCHANGES OUTFILE
Writes the exchanges per second to OUTFILE; exit code 1 on a wrong reply.
"""
import sys
import time

import serial


def main():
    device, count, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    port = serial.Serial(device, 9600, bytesize=serial.SEVENBITS, parity=serial.PARITY_EVEN,
                         stopbits=serial.STOPBITS_ONE, timeout=5)
    command = b"333\r"

    def exchange():
        port.write(command)
        return port.read_until(b"\r") == b"030\r"

    for _ in range(100):
        if not exchange():
            return 1
    start = time.perf_counter()
    for _ in range(count):
        if not exchange():
            return 1
    seconds = time.perf_counter() - start
    port.close()
    with open(out, "w") as f:
        f.write("%f\n" % (count / seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
